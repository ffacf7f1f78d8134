# 32-bit Windows. Its programs run under the 32-bit Wine that
# `scripts/bootstrap i686` prepares (scripts/wine32-env).
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
