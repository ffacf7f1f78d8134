# 32-bit Windows: builds, but cannot run under Wine on machines without
# 32-bit Linux program support (run `scripts/bootstrap i686` first).
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
