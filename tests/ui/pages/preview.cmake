# The preview grid hosted in plain windows over a generated found-file list.
tess_add_test(preview_gui_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/preview_gui_test.cpp
  LIBS tess_pages tess_session tess_resources GUI)
target_include_directories(preview_gui_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)

# The grid benchmark program lives beside the test of what it measures.
include(${CMAKE_SOURCE_DIR}/bench/grid.cmake)
