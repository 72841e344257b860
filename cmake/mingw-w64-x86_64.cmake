# Cross-build for 64-bit Windows with Debian's mingw-w64. The win32 thread model keeps the
# runtime small (the program has one thread); the posix one is the fallback where it is missing.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
find_program(_mingw_cxx NAMES ${_triple}-g++-win32 ${_triple}-g++-posix ${_triple}-g++ REQUIRED)
string(REGEX REPLACE "g\\+\\+((-win32|-posix)?)$" "gcc\\1" _mingw_cc "${_mingw_cxx}")
set(CMAKE_C_COMPILER "${_mingw_cc}")
set(CMAKE_CXX_COMPILER "${_mingw_cxx}")
set(CMAKE_ASM_COMPILER "${_mingw_cc}")
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Fully static: the setup program must run on a machine that has nothing but Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Lets CTest (and gtest_discover_tests) run the cross-built test programs.
find_program(_wine64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(_wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${_wine64}")
endif()
