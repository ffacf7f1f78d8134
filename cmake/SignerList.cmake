# Run as a script: writes OUTPUT, an allow list of framework installer
# signers holding the SHA-256 of the DER certificate CERTIFICATE.
file(SHA256 "${CERTIFICATE}" digest)
file(WRITE "${OUTPUT}" "# The test code-signing certificate of this build folder\n${digest}\n")
