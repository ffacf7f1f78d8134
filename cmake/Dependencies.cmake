# Imported targets for the libraries: zlib from Debian's mingw package, the
# rest cross-built by scripts/bootstrap into build/deps/<arch>/prefix
# (the toolchain file names the folder as DEPS_PREFIX).
if(NOT EXISTS "${DEPS_PREFIX}/include/httplib.h")
  message(FATAL_ERROR "Libraries missing in ${DEPS_PREFIX}: run scripts/bootstrap first")
endif()

function(add_imported_library name file)
  find_library(${name}_LIBRARY NAMES ${file} PATHS "${DEPS_PREFIX}/lib" REQUIRED)
  add_library(deps::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(deps::${name} PROPERTIES
    IMPORTED_LOCATION "${${name}_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${DEPS_PREFIX}/include")
endfunction()

add_imported_library(zlib libz.a)
add_imported_library(png libpng16.a)
add_imported_library(mbedcrypto libmbedcrypto.a)
add_imported_library(zip libzip.a)
target_link_libraries(deps::png INTERFACE deps::zlib)
target_link_libraries(deps::zip INTERFACE deps::mbedcrypto deps::zlib advapi32 bcrypt)

add_library(deps::json INTERFACE IMPORTED GLOBAL)
set_target_properties(deps::json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${DEPS_PREFIX}/include")

# cpp-httplib is header-only and slow to compile: include it in one .cpp.
# Under Wine every socket read costs about 300 us whatever its size, so a
# large buffer matters: a 256 MiB loopback download took 1030 reads and 0.5 s
# with 256 KiB, 330 reads and 0.25 s with 1 MiB; 1 GiB from a native server,
# five downloads each in turns, 2.0 s (median) with 1 MiB and 1.24 s with
# 4 MiB, against 1.55 s for curl. Our patch to the header keeps that buffer
# on the heap.
add_library(deps::httplib INTERFACE IMPORTED GLOBAL)
set_target_properties(deps::httplib PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${DEPS_PREFIX}/include"
  INTERFACE_COMPILE_DEFINITIONS "CPPHTTPLIB_RECV_BUFSIZ=size_t(4194304u)"
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32")
