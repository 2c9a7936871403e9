# The browser build's links: demo/, display/ and source/ as they are, over the
# platform/web backend (canvas, Web Audio, an in-page message box).
#   quelvarnossa.js/.wasm  the page's program (a factory of instances);
#                          platform/web/index.html runs it
#   qvo-framemd5.js/.wasm  the headless renderer for node, printing every
#                          frame's MD5 as qvo-render --md5 does
#   qvo-simdtests.js/.wasm the vector paths' unit tests, for node
#   bench_frame_web.js     bench_frame's frame loop, for node
#                          (scripts/bench-web.sh)
# Every program is built for WebAssembly SIMD (CMakeLists.txt).
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

# A program for node, over the demo's libraries: NAME.js + NAME.wasm in the
# build directory, run as `node NAME.js ARGS`.
function(qvo_node_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE qvo_demo)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} SUFFIX ".js")
  target_link_options(${name} PRIVATE
    -sENVIRONMENT=node
    -sWASM_ASYNC_COMPILATION=0
    -sEXIT_RUNTIME=1
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=64MB)
endfunction()

qvo_node_program(qvo-framemd5 tests/web/framemd5.cpp)
target_link_options(qvo-framemd5 PRIVATE -sNODERAWFS=1)

# bench_frame's frame loop for node: scripts/bench-web.sh sets its figures
# against the native ones.
qvo_node_program(bench_frame_web bench/web/bench_frame_web.cpp)

# The vector paths' native unit tests, built for node against GoogleTest's
# sources (Debian's libgtest-dev): the SIMD code in WebAssembly must give its
# references' bytes as it does on x86.
set(qvo_gtest_source /usr/src/googletest/googletest)
if(EXISTS ${qvo_gtest_source}/src/gtest-all.cc)
  add_library(qvo_wasm_gtest STATIC ${qvo_gtest_source}/src/gtest-all.cc ${qvo_gtest_source}/src/gtest_main.cc)
  target_include_directories(qvo_wasm_gtest SYSTEM PUBLIC ${qvo_gtest_source}/include PRIVATE ${qvo_gtest_source})
  target_compile_definitions(qvo_wasm_gtest PUBLIC GTEST_HAS_PTHREAD=0)
  qvo_node_program(qvo-simdtests tests/web/simd_test.cpp tests/display_converters_test.cpp
                   tests/effects_noise_test.cpp tests/support/framesurface.cpp)
  target_link_libraries(qvo-simdtests PRIVATE qvo_wasm_gtest)
else()
  message(WARNING "no GoogleTest sources in ${qvo_gtest_source} (libgtest-dev): qvo-simdtests left out")
endif()
