# What makes the setup program a release: its embedded resources (application manifest and
# version information) and, when a certificate is given, its Authenticode signature.

enable_language(RC)

# mingw toolchains that ship default-manifest.o link it into every program; its manifest would
# then sit beside ours as a second RT_MANIFEST resource 1.
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=default-manifest.o
                OUTPUT_VARIABLE _default_manifest OUTPUT_STRIP_TRAILING_WHITESPACE)
if(IS_ABSOLUTE "${_default_manifest}" AND EXISTS "${_default_manifest}")
  message(FATAL_ERROR "This mingw toolchain links ${_default_manifest} into every program, which "
          "clashes with the setup program's own manifest; use a toolchain without it.")
endif()

set(_resources "${CMAKE_SOURCE_DIR}/src/entry/win32_resources.rc")
target_sources(orvane-worker-setup PRIVATE "${_resources}")
# windres reports no dependencies of its own: name what the script reads.
set_source_files_properties("${_resources}" PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/entry/win32_setup.manifest;${CMAKE_SOURCE_DIR}/src/product/product_constants.h")

# Signing after the link, in place, with osslsigncode. Off unless ORVANE_SIGN_CERT is set; each
# variable defaults to the environment variable of the same name when the cache is first made.
#   ORVANE_SIGN_CERT           certificate chain (PEM or DER), or a PKCS#12 file (.pfx, .p12)
#   ORVANE_SIGN_KEY            private key (PEM or DER); not used with PKCS#12
#   ORVANE_SIGN_PASS_FILE      optional file holding the key's or the PKCS#12 file's password
#   ORVANE_SIGN_TIMESTAMP_URL  optional RFC 3161 time-stamping service (needs the network)
# With SOURCE_DATE_EPOCH set in the build's environment the signing time is taken from it, so
# that signing the same program twice gives the same bytes (without a time stamp).
foreach(_var CERT KEY PASS_FILE)
  set(ORVANE_SIGN_${_var} "$ENV{ORVANE_SIGN_${_var}}" CACHE FILEPATH "See cmake/release.cmake")
endforeach()
set(ORVANE_SIGN_TIMESTAMP_URL "$ENV{ORVANE_SIGN_TIMESTAMP_URL}" CACHE STRING "See cmake/release.cmake")

# A string constant of src/product/product_constants.h, as the C preprocessor reads it.
function(orvane_product_constant name out)
  set(_probe "${CMAKE_BINARY_DIR}/CMakeFiles/product_constant_${name}.c")
  file(WRITE "${_probe}" "#include \"product/product_constants.h\"\n${name}\n")
  execute_process(COMMAND "${CMAKE_C_COMPILER}" -E -P -I "${CMAKE_SOURCE_DIR}/src" "${_probe}"
                  OUTPUT_VARIABLE _expanded COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "\"[^\"]*\"" _pieces "${_expanded}")
  string(REPLACE "\"" "" _pieces "${_pieces}")
  list(JOIN _pieces "" _text)
  set(${out} "${_text}" PARENT_SCOPE)
endfunction()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/product/product_constants.h")

if(ORVANE_SIGN_CERT)
  find_program(ORVANE_OSSLSIGNCODE osslsigncode REQUIRED)
  orvane_product_constant(ORVANE_SETUP_CAPTION _sign_description)
  add_custom_command(TARGET orvane-worker-setup POST_BUILD
    COMMAND "${CMAKE_COMMAND}"
      "-DOSSLSIGNCODE=${ORVANE_OSSLSIGNCODE}"
      "-DCERT=${ORVANE_SIGN_CERT}" "-DKEY=${ORVANE_SIGN_KEY}" "-DPASS_FILE=${ORVANE_SIGN_PASS_FILE}"
      "-DTIMESTAMP_URL=${ORVANE_SIGN_TIMESTAMP_URL}"
      "-DDESCRIPTION=${_sign_description}"
      "-DFILE=$<TARGET_FILE:orvane-worker-setup>"
      -P "${CMAKE_SOURCE_DIR}/cmake/sign.cmake"
    VERBATIM)
endif()
