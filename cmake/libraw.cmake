# LibRaw, cross-built once from Debian's source package into a cache outside the build
# tree (tools/build-libraw.sh), then linked statically as the imported target libraw_static.
set(LIBRAW_VERSION 0.20.2-2.1+deb12u1)
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_libraw_cache_root "$ENV{XDG_CACHE_HOME}")
else()
  set(_libraw_cache_root "$ENV{HOME}/.cache")
endif()
set(LIBRAW_CACHE_DIR "${_libraw_cache_root}/tessaline/libraw-${LIBRAW_VERSION}"
    CACHE PATH "Folder holding the cross-built LibRaw (include/, lib/libraw.a)")

if(NOT EXISTS "${LIBRAW_CACHE_DIR}/.complete")
  message(STATUS "Building LibRaw ${LIBRAW_VERSION} into ${LIBRAW_CACHE_DIR}")
  execute_process(COMMAND "${CMAKE_SOURCE_DIR}/tools/build-libraw.sh" "${LIBRAW_CACHE_DIR}"
                  RESULT_VARIABLE _libraw_result)
  if(NOT _libraw_result EQUAL 0)
    message(FATAL_ERROR "LibRaw could not be built (tools/build-libraw.sh: ${_libraw_result})")
  endif()
endif()

if(NOT TARGET libraw_static)
  add_library(libraw_static STATIC IMPORTED GLOBAL)
  set_target_properties(libraw_static PROPERTIES
    IMPORTED_LOCATION "${LIBRAW_CACHE_DIR}/lib/libraw.a"
    INTERFACE_INCLUDE_DIRECTORIES "${LIBRAW_CACHE_DIR}/include"
    INTERFACE_COMPILE_DEFINITIONS LIBRAW_NODLL
    INTERFACE_LINK_LIBRARIES ws2_32)
endif()
