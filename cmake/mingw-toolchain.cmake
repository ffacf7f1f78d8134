# Shared part of the mingw-w64 cross toolchains (posix threads flavour);
# the including file sets MINGW_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})

set(MINGW_TRIPLE ${MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# Libraries that scripts/bootstrap cross-builds from Debian's source packages.
set(DEPS_PREFIX ${CMAKE_CURRENT_LIST_DIR}/../build/deps/${MINGW_ARCH}/prefix)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
