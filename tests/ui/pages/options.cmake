# The options page: its folder rules, and the real page driven in a test window.
tess_add_test(option_rules_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/folder_rules_test.cpp
  LIBS tess_pages tess_resources)

tess_add_test(option_window_gui_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/option_window_gui_test.cpp
  LIBS tess_session tess_pages tess_resources GUI)
tess_language_file_beside(option_window_gui_test)
target_include_directories(option_window_gui_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
