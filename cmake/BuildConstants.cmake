# Hosts the program talks to, fixed per build (host or host:port, plain HTTP).
# The defaults are the demo's reference vendor service on loopback.
set(INSTALLER_API_HOST "127.0.0.1:8765" CACHE STRING "Vendor API server (host[:port])")
set(INSTALLER_WEB_HOST "127.0.0.1:8765" CACHE STRING "Vendor web site (host[:port])")
set(INSTALLER_DOCS_HOST "127.0.0.1:8765" CACHE STRING "Documentation site (host[:port])")

configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildConstants.h.in"
               "${CMAKE_BINARY_DIR}/generated/BuildConstants.h" @ONLY)
add_library(installer_constants INTERFACE)
target_include_directories(installer_constants INTERFACE "${CMAKE_BINARY_DIR}/generated")
