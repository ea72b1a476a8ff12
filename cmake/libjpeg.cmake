# libjpeg-turbo, cross-built once from Debian's source package into a cache outside the
# build tree (tools/build-libjpeg.sh), linked statically as the imported target libjpeg_static.
# It decodes JPEG thumbnails at a reduced scale; GDI+ stays the decoder of everything else.
set(LIBJPEG_VERSION 2.1.5-2)
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_libjpeg_cache_root "$ENV{XDG_CACHE_HOME}")
else()
  set(_libjpeg_cache_root "$ENV{HOME}/.cache")
endif()
set(LIBJPEG_CACHE_DIR "${_libjpeg_cache_root}/tessaline/libjpeg-turbo-${LIBJPEG_VERSION}"
    CACHE PATH "Folder holding the cross-built libjpeg-turbo (include/, lib/libjpeg.a)")

if(NOT EXISTS "${LIBJPEG_CACHE_DIR}/.complete")
  message(STATUS "Building libjpeg-turbo ${LIBJPEG_VERSION} into ${LIBJPEG_CACHE_DIR}")
  execute_process(COMMAND "${CMAKE_SOURCE_DIR}/tools/build-libjpeg.sh" "${LIBJPEG_CACHE_DIR}"
                  RESULT_VARIABLE _libjpeg_result)
  if(NOT _libjpeg_result EQUAL 0)
    message(FATAL_ERROR "libjpeg-turbo could not be built (tools/build-libjpeg.sh: ${_libjpeg_result})")
  endif()
endif()

if(NOT TARGET libjpeg_static)
  add_library(libjpeg_static STATIC IMPORTED GLOBAL)
  set_target_properties(libjpeg_static PROPERTIES
    IMPORTED_LOCATION "${LIBJPEG_CACHE_DIR}/lib/libjpeg.a"
    INTERFACE_INCLUDE_DIRECTORIES "${LIBJPEG_CACHE_DIR}/include")
endif()
