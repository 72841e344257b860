# The Windows side: the stand-in payload, the Win32 platform and the setup program itself.

add_subdirectory(payload)
if(NOT ORVANE_PAYLOAD)
  add_dependencies(orvane_carried orvane-worker-stand-in)
endif()

file(GLOB ORVANE_WIN32_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/platform/win32_*.cpp")
list(FILTER ORVANE_WIN32_SOURCES EXCLUDE REGEX "win32_entry\\.cpp$")
add_library(orvane_win32 STATIC ${ORVANE_WIN32_SOURCES})
target_link_libraries(orvane_win32 PUBLIC orvane_logic)
target_compile_definitions(orvane_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

add_executable(orvane-worker-setup WIN32 src/platform/win32_entry.cpp)
target_link_libraries(orvane-worker-setup PRIVATE orvane_win32 orvane_carried)
target_link_options(orvane-worker-setup PRIVATE -municode -mwindows)
set_target_properties(orvane-worker-setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
