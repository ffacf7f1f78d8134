# 64-bit Windows: the build that runs and is tested under Wine here.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
