# libheif, linked statically as libheif_static, with the two decoders built into it:
# libde265 (HEVC: HEIC thumbnails) and dav1d (AV1: AVIF thumbnails). Decoding only.
include(${CMAKE_CURRENT_LIST_DIR}/debian_source_cache.cmake)
set(LIBHEIF_VERSION 1.15.1-1+deb12u1)
tess_cached_library(libheif_static NAME "libheif ${LIBHEIF_VERSION}"
  SCRIPT tools/build-libheif.sh FOLDER libheif-${LIBHEIF_VERSION}
  CACHE_VAR LIBHEIF_CACHE_DIR LIBRARY lib/libheif.a)
set_target_properties(libheif_static PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS LIBHEIF_STATIC_BUILD
  INTERFACE_LINK_LIBRARIES "${LIBHEIF_CACHE_DIR}/lib/libde265.a;${LIBHEIF_CACHE_DIR}/lib/libdav1d.a")
