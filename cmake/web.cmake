# The browser build: demo/, display/ and source/ as they are, over the
# platform/web backend (canvas, Web Audio, an in-page message box).
#   quelvarnossa.js/.wasm  the page's program; platform/web/index.html runs it
#   qvo-framemd5.js/.wasm  the headless renderer for node, printing every
#                          frame's MD5 as qvo-render --md5 does
# The frame loop blocks as on the desktop; Asyncify lets the platform layer
# hand the browser its turn (each Flip waits for the next animation frame).

# C++ exceptions carry the demo's failures to its one catch-all.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)

qvo_library(qvo_platform platform platform/web)
target_link_options(qvo_platform INTERFACE
  "SHELL:--js-library ${CMAKE_SOURCE_DIR}/platform/web/library_web.js")
set_property(TARGET qvo_platform APPEND PROPERTY INTERFACE_LINK_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/web/library_web.js)

qvo_library(qvo_engine source)
target_link_libraries(qvo_engine PUBLIC qvo_platform)
qvo_library(qvo_display display)
target_link_libraries(qvo_display PUBLIC qvo_engine qvo_platform)
qvo_library(qvo_demo demo demo/effects)
target_link_libraries(qvo_demo PUBLIC qvo_display qvo_engine qvo_platform)

add_executable(quelvarnossa demo/main.cpp)
target_link_libraries(quelvarnossa PRIVATE qvo_demo)
set_target_properties(quelvarnossa PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} SUFFIX ".js")
target_link_options(quelvarnossa PRIVATE
  -sENVIRONMENT=web
  -sASYNCIFY
  "SHELL:-sASYNCIFY_IMPORTS=['qvo_wait_frame','qvo_message_box','qvo_audio_decode']"
  -sASYNCIFY_STACK_SIZE=65536
  -sINVOKE_RUN=0
  -sEXIT_RUNTIME=1
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=64MB
  "SHELL:-sEXPORTED_RUNTIME_METHODS=['callMain','FS']"
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
