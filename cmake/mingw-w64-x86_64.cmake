# Cross-building the converter for 64-bit Windows with Debian's mingw-w64, the
# posix-threads flavour (std::thread needs it):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DVP_BUILD_GUI=OFF -DVP_BUILD_BENCH=OFF -DVP_WITH_TIFF=OFF -DVP_WITH_PNG=OFF -DVP_WITH_JPEG=OFF -DVP_WITH_PDF=OFF
# scripts/windows-test.sh does this and runs the result under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the test programs (and discovers their tests) under Debian's 64-bit wine loader.
find_program(VP_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VP_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VP_WINE64})
endif()
