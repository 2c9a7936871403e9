# The browser build's links: demo/, display/ and source/ as they are, over the
# platform/web backend (canvas, Web Audio, an in-page message box).
#   quelvarnossa.js/.wasm  the page's program (a factory of instances);
#                          platform/web/index.html runs it
#   qvo-framemd5.js/.wasm  the headless renderer for node, printing every
#                          frame's MD5 as qvo-render --md5 does
# The frame loop blocks as on the desktop; Asyncify lets the platform layer
# hand the browser its turn (each Flip waits for the next animation frame).

set_target_properties(quelvarnossa PROPERTIES SUFFIX ".js")
# The page's questions about the pack before the click (not globbed into the
# platform library: only the page's program has a page to answer).
target_sources(quelvarnossa PRIVATE platform/web/page/packcheck.cpp)
# A factory, not a global instance: each run is a fresh instance over the one
# compiled module, so "watch again" needs no reload (and no second click).
target_link_options(quelvarnossa PRIVATE
  -sENVIRONMENT=web
  -sMODULARIZE=1
  -sEXPORT_NAME=createQuelVarnOssa
  -sASYNCIFY
  "SHELL:-sASYNCIFY_IMPORTS=['qvo_wait_frame','qvo_message_box','qvo_audio_decode']"
  -sASYNCIFY_STACK_SIZE=65536
  -sINVOKE_RUN=0
  -sEXIT_RUNTIME=1
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=64MB
  "SHELL:-sEXPORTED_RUNTIME_METHODS=['callMain','FS','allocateUTF8']"
  "SHELL:-sEXPORTED_FUNCTIONS=['_main','_malloc','_free']")

add_executable(qvo-framemd5 tests/web/framemd5.cpp)
target_link_libraries(qvo-framemd5 PRIVATE qvo_demo)
set_target_properties(qvo-framemd5 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} SUFFIX ".js")
target_link_options(qvo-framemd5 PRIVATE
  -sENVIRONMENT=node
  -sNODERAWFS=1
  -sWASM_ASYNC_COMPILATION=0
  -sEXIT_RUNTIME=1
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=64MB)

# bench_frame's frame loop for node: scripts/bench-web.sh sets its figures
# against the native ones.
add_executable(bench_frame_web bench/web/bench_frame_web.cpp)
target_link_libraries(bench_frame_web PRIVATE qvo_demo)
set_target_properties(bench_frame_web PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} SUFFIX ".js")
target_link_options(bench_frame_web PRIVATE
  -sENVIRONMENT=node
  -sWASM_ASYNC_COMPILATION=0
  -sEXIT_RUNTIME=1
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=64MB)
