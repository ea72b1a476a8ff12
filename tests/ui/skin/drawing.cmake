# Fonts and drawing helpers: pixel tests headless, the wait indicator with a window.
# The test bitmaps are written at build time by a small script.
set(DRAWING_BITMAPS_DIR ${CMAKE_CURRENT_BINARY_DIR}/drawing_bitmaps)
set(DRAWING_BITMAPS)
foreach(id 208 209 210 211 212 213 214 215 500)
  list(APPEND DRAWING_BITMAPS ${DRAWING_BITMAPS_DIR}/${id}.bmp)
endforeach()
find_program(TESS_DRAWING_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
add_custom_command(OUTPUT ${DRAWING_BITMAPS}
  COMMAND ${TESS_DRAWING_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/make_drawing_bitmaps.py ${DRAWING_BITMAPS_DIR}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_drawing_bitmaps.py
  COMMENT "Writing the drawing test bitmaps"
  VERBATIM)
add_custom_target(tess_drawing_test_bitmaps DEPENDS ${DRAWING_BITMAPS})
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/drawing_test.rc PROPERTIES
  OBJECT_DEPENDS "${DRAWING_BITMAPS}")

tess_add_test(skin_drawing_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/drawing_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/fonts_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/drawing_test.rc
  LIBS tess_skin)
target_include_directories(skin_drawing_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(skin_drawing_tests tess_drawing_test_bitmaps)

tess_add_test(skin_wait_gui_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/wait_window_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/drawing_test.rc
  LIBS tess_skin GUI)
target_include_directories(skin_wait_gui_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(skin_wait_gui_tests tess_drawing_test_bitmaps)
