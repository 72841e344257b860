# The Windows side: the stand-in payload, the Win32 platform and the setup program itself.

# Lean and reproducible: unused functions and data are dropped at link time, symbols are
# stripped, the PE header carries no link time and no build path reaches the output.
set(ORVANE_LEAN_COMPILE_OPTIONS -ffunction-sections -fdata-sections
    "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.")
set(ORVANE_LEAN_LINK_OPTIONS -Wl,--gc-sections -s -Wl,--no-insert-timestamp)
function(orvane_make_lean target)
  target_compile_options(${target} PRIVATE ${ORVANE_LEAN_COMPILE_OPTIONS})
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE ${ORVANE_LEAN_LINK_OPTIONS})
  endif()
endfunction()

add_subdirectory(payload)
orvane_make_lean(orvane-worker-stand-in)
if(NOT ORVANE_PAYLOAD)
  add_dependencies(orvane_carried orvane-worker-stand-in)
endif()

file(GLOB ORVANE_WIN32_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/win32/win32_*.cpp")
# The entry and the load configuration belong to the program itself, not to the library (a
# library member that nothing calls would never be linked).
list(FILTER ORVANE_WIN32_SOURCES EXCLUDE REGEX "win32_(entry|load_config)\\.cpp$")
add_library(orvane_win32 STATIC ${ORVANE_WIN32_SOURCES})
target_link_libraries(orvane_win32 PUBLIC orvane_logic ntdll)
target_compile_definitions(orvane_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

add_executable(orvane-worker-setup WIN32 src/win32/win32_entry.cpp src/win32/win32_load_config.cpp)
target_link_libraries(orvane-worker-setup PRIVATE orvane_win32 orvane_carried)
# The process starts in orvane_process_start (win32_entry.cpp), which limits the DLL search
# before the runtime's own start-up runs. The load configuration is referenced by nothing but
# the PE header, so it is named here to survive --gc-sections. Terminal Server aware, as
# Windows' own linker marks GUI programs; ASLR (high entropy), DEP and relocations stay as the
# linker sets them.
target_link_options(orvane-worker-setup PRIVATE -municode -mwindows
  -Wl,--entry=orvane_process_start -Wl,--undefined=_load_config_used -Wl,--tsaware
  "-Wl,-Map=${CMAKE_BINARY_DIR}/orvane-worker-setup.map")
# This linker (binutils 2.40) does not name _load_config_used in the PE header's load
# configuration directory; the map says where it is, and the header is completed after the link.
find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
add_custom_command(TARGET orvane-worker-setup POST_BUILD
  COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/cmake/set_load_config.py"
          "$<TARGET_FILE:orvane-worker-setup>" "${CMAKE_BINARY_DIR}/orvane-worker-setup.map"
  VERBATIM)
set_target_properties(orvane-worker-setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
foreach(_target orvane_logic orvane_carried orvane_win32 orvane-worker-setup)
  orvane_make_lean(${_target})
endforeach()
# The program catches nothing and runs one thread: no exception tables, no guarded statics, the
# whole program optimised at link time, and the short runtime error paths of lean_runtime.cpp.
# ORVANE_LEAN_RUNTIME=OFF builds it without these choices, as it was before them: the size ladder
# (bench/size_ladder.py) starts there.
option(ORVANE_LEAN_RUNTIME "Windows program: lean_runtime.cpp, no exception tables, no guarded statics, link-time optimisation" ON)
if(ORVANE_LEAN_RUNTIME)
  target_sources(orvane-worker-setup PRIVATE src/win32/lean_runtime.cpp)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT ORVANE_IPO LANGUAGES CXX)
  foreach(_target orvane_logic orvane_carried orvane_win32 orvane-worker-setup)
    target_compile_options(${_target} PRIVATE -fno-exceptions -fno-asynchronous-unwind-tables
                           -fno-threadsafe-statics)
    set_target_properties(${_target} PROPERTIES INTERPROCEDURAL_OPTIMIZATION ${ORVANE_IPO})
  endforeach()
endif()

# Embedded manifest and version information; signing when a certificate is configured.
include(cmake/release.cmake)
