# Authenticode signatures of the shipped installers with the vendor's
# code-signing certificate. Without one, nothing is signed and the programs
# are what the linker wrote. The certificate and its key stay outside the
# repository; their password comes from the environment at build time, so
# that it is kept neither in the cache nor in the build files.
set(INSTALLER_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the vendor's code-signing certificate and key (password: environment INSTALLER_SIGN_PASSWORD)")
set(INSTALLER_SIGN_CERT "" CACHE FILEPATH
    "The vendor's code-signing certificate (PEM or DER, with its chain), used with INSTALLER_SIGN_KEY")
set(INSTALLER_SIGN_KEY "" CACHE FILEPATH
    "The private key of INSTALLER_SIGN_CERT (if encrypted, password: environment INSTALLER_SIGN_PASSWORD)")
set(INSTALLER_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping server that countersigns each signature (optional)")
set(INSTALLER_SIGN_CAFILE "" CACHE FILEPATH
    "Root certificates the check after signing trusts (default: osslsigncode's, the system's bundle)")
set(INSTALLER_SIGN_DESCRIPTION "" CACHE STRING
    "Program name carried by the signature, shown by UAC instead of the file name (optional)")

if(INSTALLER_SIGN_PKCS12 AND (INSTALLER_SIGN_CERT OR INSTALLER_SIGN_KEY))
  message(FATAL_ERROR "Give either INSTALLER_SIGN_PKCS12 or INSTALLER_SIGN_CERT with INSTALLER_SIGN_KEY, not both")
endif()
if(NOT INSTALLER_SIGN_CERT STREQUAL "" AND INSTALLER_SIGN_KEY STREQUAL ""
   OR INSTALLER_SIGN_CERT STREQUAL "" AND NOT INSTALLER_SIGN_KEY STREQUAL "")
  message(FATAL_ERROR "INSTALLER_SIGN_CERT and INSTALLER_SIGN_KEY go together")
endif()
foreach(file IN ITEMS INSTALLER_SIGN_PKCS12 INSTALLER_SIGN_CERT INSTALLER_SIGN_KEY INSTALLER_SIGN_CAFILE)
  if(${file} AND NOT EXISTS "${${file}}")
    message(FATAL_ERROR "${file}: ${${file}} does not exist")
  endif()
endforeach()

set(SIGN_PROGRAM_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/SignProgram.cmake")

# The command that signs PROGRAM in place (cmake/SignProgram.cmake), for
# add_custom_command. Arguments: PKCS12, or CERT and KEY; TIMESTAMP_URL,
# CAFILE, DESCRIPTION.
function(sign_program_command out program)
  cmake_parse_arguments(ARG "" "PKCS12;CERT;KEY;TIMESTAMP_URL;CAFILE;DESCRIPTION" "" ${ARGN})
  set(command ${CMAKE_COMMAND} "-DPROGRAM=${program}" "-DOSSLSIGNCODE=${OSSLSIGNCODE_PROGRAM}")
  foreach(name IN ITEMS PKCS12 CERT KEY TIMESTAMP_URL CAFILE DESCRIPTION)
    if(ARG_${name})
      list(APPEND command "-D${name}=${ARG_${name}}")
    endif()
  endforeach()
  list(APPEND command -P "${SIGN_PROGRAM_SCRIPT}")
  set(${out} ${command} PARENT_SCOPE)
endfunction()

# Signs TARGET's program with the vendor's certificate as the last step of
# its link, once its resources are in; nothing when no certificate is set.
function(sign_with_vendor_certificate target)
  if(NOT INSTALLER_SIGN_PKCS12 AND NOT INSTALLER_SIGN_CERT)
    return()
  endif()
  sign_program_command(command "$<TARGET_FILE:${target}>"
    PKCS12 "${INSTALLER_SIGN_PKCS12}" CERT "${INSTALLER_SIGN_CERT}" KEY "${INSTALLER_SIGN_KEY}"
    TIMESTAMP_URL "${INSTALLER_SIGN_TIMESTAMP_URL}" CAFILE "${INSTALLER_SIGN_CAFILE}"
    DESCRIPTION "${INSTALLER_SIGN_DESCRIPTION}")
  add_custom_command(TARGET ${target} POST_BUILD COMMAND ${command}
    COMMENT "Signing $<TARGET_FILE_NAME:${target}> with the vendor's certificate" VERBATIM)
endfunction()
