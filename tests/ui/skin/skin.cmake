# Skin resources, frame, buttons and tree view.
tess_add_test(skin_resources_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp
  LIBS tess_resources gdi32 user32)
tess_add_test(skin_frame_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_test.cpp
  LIBS tess_skin tess_resources)
tess_add_test(skin_gui_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_gui_test.cpp
  LIBS tess_skin tess_resources GUI)
