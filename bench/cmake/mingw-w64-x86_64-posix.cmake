# The project's mingw toolchain with the posix thread model instead of win32, so the benchmark can
# measure what the thread model costs in bytes.
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/mingw-w64-x86_64.cmake")
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_ASM_COMPILER x86_64-w64-mingw32-gcc-posix)
