# The MinGW-w64 cross toolchain for the prefix the arch-specific toolchain file has set.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model's runtime would import libwinpthread; the win32 one links nothing extra.
find_program(TAZEL_MINGW_CXX NAMES ${TAZEL_MINGW_PREFIX}-g++-win32 ${TAZEL_MINGW_PREFIX}-g++ REQUIRED)
find_program(TAZEL_MINGW_CC NAMES ${TAZEL_MINGW_PREFIX}-gcc-win32 ${TAZEL_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${TAZEL_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TAZEL_MINGW_CXX})
set(CMAKE_RC_COMPILER ${TAZEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAZEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
