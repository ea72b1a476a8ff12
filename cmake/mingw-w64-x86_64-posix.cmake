# The 64-bit edition: x86_64, for 64-bit Windows and for machines that run no 32-bit code.
set(TESS_EDITION 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
