# Signs a Windows program in place with Authenticode (SHA-256), run as
#   cmake -DPROGRAM=... -DOSSLSIGNCODE=... (-DPKCS12=... | -DCERT=... -DKEY=...)
#         [-DTIMESTAMP_URL=...] [-DCAFILE=...] [-DDESCRIPTION=...] -P SignProgram.cmake
# The signed copy is written beside the program and checked with
# "osslsigncode verify" before it replaces the program, so that a failed
# signing never leaves a half-written file under the program's name. On
# failure the program itself is deleted too: an unsigned installer must not
# pass for the build's result. The password of the PKCS#12 file or the key
# comes from the environment variable INSTALLER_SIGN_PASSWORD.
cmake_minimum_required(VERSION 3.25)

foreach(required IN ITEMS PROGRAM OSSLSIGNCODE)
  if(NOT ${required})
    message(FATAL_ERROR "SignProgram.cmake: ${required} is not set")
  endif()
endforeach()

set(signed "${PROGRAM}.signing")
set(password_file "${PROGRAM}.signing-password")

function(fail text)
  file(REMOVE "${signed}" "${password_file}" "${PROGRAM}")
  message(FATAL_ERROR "${text}\n${PROGRAM} was not signed and is deleted.")
endfunction()

if(PKCS12)
  set(credentials -pkcs12 "${PKCS12}")
elseif(CERT AND KEY)
  set(credentials -certs "${CERT}" -key "${KEY}")
else()
  fail("Neither PKCS12 nor CERT and KEY are set")
endif()

# The password goes to osslsigncode through a file that only this user can
# read (never on a command line, which every user of the machine can see):
# it is made empty, closed to others, then filled, and removed after use.
if(DEFINED ENV{INSTALLER_SIGN_PASSWORD})
  file(WRITE "${password_file}" "")
  file(CHMOD "${password_file}" PERMISSIONS OWNER_READ OWNER_WRITE)
  file(APPEND "${password_file}" "$ENV{INSTALLER_SIGN_PASSWORD}")
  list(APPEND credentials -readpass "${password_file}")
endif()

set(options -h sha256)
if(TIMESTAMP_URL)
  list(APPEND options -ts "${TIMESTAMP_URL}")
endif()
if(DESCRIPTION)
  list(APPEND options -n "${DESCRIPTION}")
endif()

# osslsigncode writes no file that exists.
file(REMOVE "${signed}")
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign ${credentials} ${options} -in "${PROGRAM}" -out "${signed}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE "${password_file}")
if(NOT result EQUAL 0)
  fail("osslsigncode could not sign ${PROGRAM}:\n${output}")
endif()

set(trusted_roots "")
if(CAFILE)
  set(trusted_roots -CAfile "${CAFILE}")
endif()
execute_process(
  COMMAND "${OSSLSIGNCODE}" verify ${trusted_roots} -in "${signed}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "Signature verification: ok")
  fail("The signature of ${signed} does not verify:\n${output}")
endif()

file(RENAME "${signed}" "${PROGRAM}")
string(REGEX MATCH "Subject: [^\n]*" signer "${output}")
message(STATUS "Signed ${PROGRAM} (${signer})")
