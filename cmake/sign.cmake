# Signs one PE file in place with osslsigncode (run by cmake/release.cmake after the link):
#   cmake -DOSSLSIGNCODE=... -DCERT=... [-DKEY=...] [-DPASS_FILE=...] [-DTIMESTAMP_URL=...]
#         [-DDESCRIPTION=...] -DFILE=... -P sign.cmake
# The signature is made into a new file, which then replaces FILE: a failed signing never
# leaves a half-written program behind.
cmake_minimum_required(VERSION 3.25)

foreach(_required OSSLSIGNCODE CERT FILE)
  if(NOT ${_required})
    message(FATAL_ERROR "sign.cmake: ${_required} is not set")
  endif()
endforeach()
foreach(_input CERT KEY PASS_FILE)
  if(${_input} AND NOT EXISTS "${${_input}}")
    message(FATAL_ERROR "sign.cmake: ${_input} ${${_input}} does not exist")
  endif()
endforeach()

if(CERT MATCHES "\\.(pfx|p12)$")
  set(_credentials -pkcs12 "${CERT}")
elseif(KEY)
  set(_credentials -certs "${CERT}" -key "${KEY}")
else()
  message(FATAL_ERROR "sign.cmake: the certificate ${CERT} needs a private key (ORVANE_SIGN_KEY)")
endif()

set(_options -h sha256)
if(DESCRIPTION)
  list(APPEND _options -n "${DESCRIPTION}")
endif()
if(PASS_FILE)
  list(APPEND _options -readpass "${PASS_FILE}")
endif()
if(TIMESTAMP_URL)
  list(APPEND _options -ts "${TIMESTAMP_URL}")
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  list(APPEND _options -time "$ENV{SOURCE_DATE_EPOCH}")
endif()

set(_signed "${FILE}.signed")
file(REMOVE "${_signed}")
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign ${_credentials} ${_options} -in "${FILE}" -out "${_signed}"
  RESULT_VARIABLE _status OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
if(NOT _status EQUAL 0)
  file(REMOVE "${_signed}")
  message(FATAL_ERROR "sign.cmake: osslsigncode failed (${_status}):\n${_output}")
endif()
file(RENAME "${_signed}" "${FILE}")
