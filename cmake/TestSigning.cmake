# Authenticode signatures for the programs that the tests and the demo start
# as downloaded installers, with a code-signing certificate made for this
# build folder only. Wine checks such a signature's digest but not its chain,
# so under Wine they pass the installer's signature check; on Windows they
# do not, as the certificate leads to no trusted root.
find_program(OPENSSL_PROGRAM openssl REQUIRED)
find_program(OSSLSIGNCODE_PROGRAM osslsigncode REQUIRED)

set(TEST_SIGNING_DIR "${CMAKE_BINARY_DIR}/test-signing")
set(TEST_SIGNING_CERT "${TEST_SIGNING_DIR}/cert.pem")
set(TEST_SIGNING_KEY "${TEST_SIGNING_DIR}/key.pem")
add_custom_command(
  OUTPUT "${TEST_SIGNING_CERT}" "${TEST_SIGNING_KEY}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TEST_SIGNING_DIR}"
  COMMAND "${OPENSSL_PROGRAM}" req -x509 -newkey rsa:2048 -nodes -days 3650 -keyout "${TEST_SIGNING_KEY}"
          -out "${TEST_SIGNING_CERT}" -subj "/CN=Installer test code signing (this build only)"
          -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning"
  COMMENT "Making a test code-signing certificate"
  VERBATIM)
add_custom_target(test_signing_certificate DEPENDS "${TEST_SIGNING_CERT}" "${TEST_SIGNING_KEY}")

# Writes OUTPUT, the program INPUT signed with the test certificate.
# PAD_TO: the program is first padded with zero bytes to this size.
function(add_test_signed_program output input)
  cmake_parse_arguments(ARG "" "PAD_TO" "DEPENDS" ${ARGN})
  get_filename_component(dir "${output}" DIRECTORY)
  set(unsigned "${output}.unsigned")
  set(pad "")
  if(ARG_PAD_TO)
    set(pad COMMAND truncate -s "${ARG_PAD_TO}" "${unsigned}")
  endif()
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
    COMMAND ${CMAKE_COMMAND} -E copy "${input}" "${unsigned}"
    ${pad}
    # osslsigncode writes no file that exists.
    COMMAND ${CMAKE_COMMAND} -E rm -f "${output}"
    COMMAND "${OSSLSIGNCODE_PROGRAM}" sign -certs "${TEST_SIGNING_CERT}" -key "${TEST_SIGNING_KEY}"
            -in "${unsigned}" -out "${output}"
    COMMAND ${CMAKE_COMMAND} -E rm -f "${unsigned}"
    DEPENDS "${input}" "${TEST_SIGNING_CERT}" "${TEST_SIGNING_KEY}" ${ARG_DEPENDS}
    COMMENT "Signing ${output} with the test certificate"
    VERBATIM)
endfunction()
