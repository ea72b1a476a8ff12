# LibRaw, linked statically as libraw_static.
include(${CMAKE_CURRENT_LIST_DIR}/debian_source_cache.cmake)
set(LIBRAW_VERSION 0.20.2-2.1+deb12u1)
tess_cached_library(libraw_static NAME "LibRaw ${LIBRAW_VERSION}"
  SCRIPT tools/build-libraw.sh FOLDER libraw-${LIBRAW_VERSION}
  CACHE_VAR LIBRAW_CACHE_DIR LIBRARY lib/libraw.a)
set_target_properties(libraw_static PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS LIBRAW_NODLL
  INTERFACE_LINK_LIBRARIES ws2_32)
