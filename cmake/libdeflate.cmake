# libdeflate, linked statically as libdeflate_static: the engine's CRC-32 and Adler-32.
include(${CMAKE_CURRENT_LIST_DIR}/debian_source_cache.cmake)
set(LIBDEFLATE_VERSION 1.14-1)
tess_cached_library(libdeflate_static NAME "libdeflate ${LIBDEFLATE_VERSION}"
  SCRIPT tools/build-libdeflate.sh FOLDER libdeflate-${LIBDEFLATE_VERSION}
  CACHE_VAR LIBDEFLATE_CACHE_DIR LIBRARY lib/libdeflate.a)
