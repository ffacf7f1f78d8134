# Authenticode signatures for the programs that the tests and the demo start
# as downloaded installers, with a code-signing certificate made for this
# build folder only. Wine checks such a signature's digest but not its chain,
# so under Wine they pass the installer's signature check when the product
# pins this certificate (the demo does); on Windows they do not, as the
# certificate leads to no trusted root. A second certificate of this build
# signs the stand-in that no product pins.
find_program(OPENSSL_PROGRAM openssl REQUIRED)
find_program(OSSLSIGNCODE_PROGRAM osslsigncode REQUIRED)

set(TEST_SIGNING_DIR "${CMAKE_BINARY_DIR}/test-signing")
set(TEST_SIGNING_CERT "${TEST_SIGNING_DIR}/cert.pem")
set(TEST_SIGNING_KEY "${TEST_SIGNING_DIR}/key.pem")
set(TEST_SIGNING_OTHER_CERT "${TEST_SIGNING_DIR}/other-cert.pem")
set(TEST_SIGNING_OTHER_KEY "${TEST_SIGNING_DIR}/other-key.pem")
# The allow list of framework installer signers that pins the first certificate.
set(TEST_SIGNING_SIGNERS "${TEST_SIGNING_DIR}/framework-signers.txt")
add_custom_command(
  OUTPUT "${TEST_SIGNING_CERT}" "${TEST_SIGNING_KEY}" "${TEST_SIGNING_OTHER_CERT}" "${TEST_SIGNING_OTHER_KEY}"
         "${TEST_SIGNING_SIGNERS}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${TEST_SIGNING_DIR}"
  COMMAND "${OPENSSL_PROGRAM}" req -x509 -newkey rsa:2048 -nodes -days 3650 -keyout "${TEST_SIGNING_KEY}"
          -out "${TEST_SIGNING_CERT}" -subj "/CN=Installer test code signing (this build only)"
          -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning"
  COMMAND "${OPENSSL_PROGRAM}" req -x509 -newkey rsa:2048 -nodes -days 3650 -keyout "${TEST_SIGNING_OTHER_KEY}"
          -out "${TEST_SIGNING_OTHER_CERT}" -subj "/CN=Installer test code signing, not pinned (this build only)"
          -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning"
  COMMAND "${OPENSSL_PROGRAM}" x509 -in "${TEST_SIGNING_CERT}" -outform DER -out "${TEST_SIGNING_DIR}/cert.der"
  COMMAND ${CMAKE_COMMAND} -DCERTIFICATE=${TEST_SIGNING_DIR}/cert.der -DOUTPUT=${TEST_SIGNING_SIGNERS}
          -P "${CMAKE_CURRENT_LIST_DIR}/SignerList.cmake"
  COMMENT "Making two test code-signing certificates"
  VERBATIM)
add_custom_target(test_signing_certificate DEPENDS "${TEST_SIGNING_CERT}" "${TEST_SIGNING_SIGNERS}")

# Writes OUTPUT, the program INPUT signed with the test certificate.
# PAD_TO: the program is first padded with zero bytes to this size.
# OTHER_SIGNER: signed with the second certificate, the one not pinned.
function(add_test_signed_program output input)
  cmake_parse_arguments(ARG "OTHER_SIGNER" "PAD_TO" "DEPENDS" ${ARGN})
  set(cert "${TEST_SIGNING_CERT}")
  set(key "${TEST_SIGNING_KEY}")
  if(ARG_OTHER_SIGNER)
    set(cert "${TEST_SIGNING_OTHER_CERT}")
    set(key "${TEST_SIGNING_OTHER_KEY}")
  endif()
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
    COMMAND "${OSSLSIGNCODE_PROGRAM}" sign -certs "${cert}" -key "${key}" -in "${unsigned}" -out "${output}"
    COMMAND ${CMAKE_COMMAND} -E rm -f "${unsigned}"
    DEPENDS "${input}" "${cert}" "${key}" ${ARG_DEPENDS}
    COMMENT "Signing ${output} with the test certificate"
    VERBATIM)
endfunction()
