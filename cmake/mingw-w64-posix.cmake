# Cross toolchain shared by both editions: Windows, MinGW-w64 with the posix thread
# model, fully static. The edition's own file sets TESS_EDITION (32 or 64) first.
set(CMAKE_SYSTEM_NAME Windows)
if(TESS_EDITION STREQUAL "64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
  set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
  set(TOOLCHAIN_PREFIX i686-w64-mingw32)
endif()
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_AR           ${TOOLCHAIN_PREFIX}-ar)
set(CMAKE_RANLIB       ${TOOLCHAIN_PREFIX}-ranlib)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests run through Wine, in the edition's own prefix, by way of a wrapper that keeps
# their output off CTest's pipe.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-test.sh ${TESS_EDITION})
