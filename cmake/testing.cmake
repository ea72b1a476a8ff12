# GoogleTest from Debian's source, cross-built; tests run through Wine by CTest.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
enable_testing()
include(GoogleTest)

# tess_add_test(<name> SOURCES ... [LIBS ...] [GUI])
# Each test executable gets its own folder, build/tests/<name>/, so that a test can
# place companions beside it (an engine stand-in in Kestrune/, data files).
# Headless tests are discovered one CTest entry per case; GUI tests need a display
# and run as one entry per executable (every Wine GUI process start is costly).
function(tess_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
  set(dir ${CMAKE_BINARY_DIR}/tests/${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
  if(T_GUI)
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${dir})
    set_tests_properties(${name} PROPERTIES LABELS gui TIMEOUT 300)
  else()
    gtest_discover_tests(${name} WORKING_DIRECTORY ${dir}
      DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
      PROPERTIES TIMEOUT 120)
  endif()
endfunction()
