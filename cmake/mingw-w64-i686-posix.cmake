# The 32-bit edition: i686, for 32-bit Windows.
set(TESS_EDITION 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
