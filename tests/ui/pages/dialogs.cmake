# The message, folder and about dialogs: their rules, and the real dialogs driven by a
# second process (dialog_driver, beside the GUI test).
tess_add_test(dialogs_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp
  LIBS tess_pages tess_resources)

tess_add_test(dialogs_gui_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs_gui_test.cpp
  LIBS tess_session tess_pages tess_resources GUI)
tess_language_file_beside(dialogs_gui_test)
target_include_directories(dialogs_gui_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_executable(dialog_driver ${CMAKE_CURRENT_LIST_DIR}/dialog_driver.cpp)
target_link_options(dialog_driver PRIVATE -municode)
target_link_libraries(dialog_driver PRIVATE user32 gdi32)
set_target_properties(dialog_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/dialogs_gui_test)
add_dependencies(dialogs_gui_test dialog_driver)

# The gallery of dialog pictures (tools/gallery.sh), built beside the tests.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/gallery ${CMAKE_BINARY_DIR}/gallery-build)
