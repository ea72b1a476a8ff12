# Background work of the session: thumbnails, resuming, recovering, file kinds.
set(BACKGROUND_TESTS ${CMAKE_CURRENT_SOURCE_DIR})
tess_add_test(session_background_tests
  SOURCES ${BACKGROUND_TESTS}/thumbnail_worker_test.cpp ${BACKGROUND_TESTS}/resume_test.cpp
          ${BACKGROUND_TESTS}/recover_test.cpp ${BACKGROUND_TESTS}/file_kinds_test.cpp
          ${CMAKE_SOURCE_DIR}/tests/raw/dng_writer.cpp
  LIBS tess_session)
target_include_directories(session_background_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/raw
                           ${CMAKE_SOURCE_DIR}/tests)

# A started worker runs for the life of its process, so it gets a process of its own.
tess_add_test(session_worker_start_tests
  SOURCES ${BACKGROUND_TESTS}/worker_start_test.cpp
  LIBS tess_session tess_imaging)
target_include_directories(session_worker_start_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)

# A photo made by ImageMagick beside the tests.
set(_bg_media ${CMAKE_BINARY_DIR}/tests/session_background_tests/media)
add_custom_command(OUTPUT ${_bg_media}/photo.jpg
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_bg_media}
  COMMAND /usr/bin/convert -size 320x240 gradient:yellow-navy -quality 90 ${_bg_media}/photo.jpg
  VERBATIM)
set_property(TARGET session_background_tests APPEND PROPERTY SOURCES ${_bg_media}/photo.jpg)
set(_ws_media ${CMAKE_BINARY_DIR}/tests/session_worker_start_tests/media)
add_custom_command(OUTPUT ${_ws_media}/photo.jpg ${_ws_media}/photo.png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_ws_media}
  COMMAND /usr/bin/convert -size 320x240 gradient:yellow-navy -quality 90 ${_ws_media}/photo.jpg
  COMMAND /usr/bin/convert -size 200x100 gradient:yellow-navy ${_ws_media}/photo.png
  VERBATIM)
set_property(TARGET session_worker_start_tests APPEND PROPERTY SOURCES ${_ws_media}/photo.jpg
             ${_ws_media}/photo.png)
