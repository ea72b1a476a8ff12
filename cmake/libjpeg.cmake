# libjpeg-turbo, linked statically as libjpeg_static. It decodes JPEG thumbnails at a
# reduced scale; GDI+ stays the decoder of everything else.
include(${CMAKE_CURRENT_LIST_DIR}/debian_source_cache.cmake)
set(LIBJPEG_VERSION 2.1.5-2)
tess_cached_library(libjpeg_static NAME "libjpeg-turbo ${LIBJPEG_VERSION}"
  SCRIPT tools/build-libjpeg.sh FOLDER libjpeg-turbo-${LIBJPEG_VERSION}
  CACHE_VAR LIBJPEG_CACHE_DIR LIBRARY lib/libjpeg.a)
