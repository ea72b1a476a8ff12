# The recovery page in a window of its own, scanning with the engine stand-in, which is
# copied beside the test as Kestrune/kessrv.exe.
if(NOT TARGET session_engine_standin)
  return()
endif()
tess_add_test(recovery_gui_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/recovery_gui_test.cpp
  LIBS tess_pages tess_session tess_resources GUI)
target_include_directories(recovery_gui_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
tess_language_file_beside(recovery_gui_test)
# Copied again whenever the stand-in changes, not only when the test is linked.
set(_standin_copy ${CMAKE_BINARY_DIR}/tests/recovery_gui_test/Kestrune/kessrv.exe)
add_custom_command(OUTPUT ${_standin_copy}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:session_engine_standin> ${_standin_copy}
  DEPENDS session_engine_standin)
add_custom_target(recovery_gui_standin DEPENDS ${_standin_copy})
add_dependencies(recovery_gui_test recovery_gui_standin)
