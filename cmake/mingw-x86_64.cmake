# Cross-compiles the 64-bit twin of the installer with Debian's MinGW-w64: the same sources and
# resources, for test machines that cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAZEL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
