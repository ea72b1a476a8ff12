# Libraries cross-built once per edition from Debian's source packages into a cache outside
# the build tree by tools/build-<library>.sh, then linked statically as imported targets.
include_guard(GLOBAL)

# tess_cached_library(<target> NAME <shown name> SCRIPT <tools/...sh> FOLDER <cache folder>
#                     CACHE_VAR <variable> LIBRARY <lib/....a>)
# Sets the cache variable <variable> to $XDG_CACHE_HOME (or ~/.cache)/tessaline/<MinGW
# target>/<folder> unless already set, builds into it for the edition when it is not
# complete, and defines <target>.
function(tess_cached_library target)
  cmake_parse_arguments(arg "" "NAME;SCRIPT;FOLDER;CACHE_VAR;LIBRARY" "" ${ARGN})
  if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(root "$ENV{XDG_CACHE_HOME}")
  else()
    set(root "$ENV{HOME}/.cache")
  endif()
  set(${arg_CACHE_VAR} "${root}/tessaline/${TOOLCHAIN_PREFIX}/${arg_FOLDER}"
      CACHE PATH "Folder holding the cross-built ${arg_NAME} (include/, ${arg_LIBRARY})")
  set(dir "${${arg_CACHE_VAR}}")

  if(NOT EXISTS "${dir}/.complete")
    message(STATUS "Building ${arg_NAME} into ${dir}")
    execute_process(COMMAND "${CMAKE_SOURCE_DIR}/${arg_SCRIPT}" "${dir}" ${TESS_EDITION} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${arg_NAME} could not be built (${arg_SCRIPT}: ${result})")
    endif()
  endif()

  if(NOT TARGET ${target})
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
      IMPORTED_LOCATION "${dir}/${arg_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${dir}/include")
  endif()
endfunction()
