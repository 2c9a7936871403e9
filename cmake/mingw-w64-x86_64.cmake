# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX
# thread model, for std::thread). The picture must come out as on Linux:
# SSE2 and no fused multiply-add, which the top-level flags already ask for.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests and tools built for Windows run through Wine.
find_program(QVO_WINE wine)
if(QVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QVO_WINE})
endif()
