# The scan spine: records, the found-file list, the cache header, the worker
# thread, and whole scans against an engine stand-in placed beside the tests.
set(SCAN_TESTS ${CMAKE_CURRENT_SOURCE_DIR})
tess_add_test(session_scan_tests
  SOURCES ${SCAN_TESTS}/scan_records_test.cpp ${SCAN_TESTS}/worker_thread_test.cpp
          ${SCAN_TESTS}/scan_folders_test.cpp ${SCAN_TESTS}/engine_scan_test.cpp
  LIBS tess_session)

# The stand-in engine: Kestrune/kessrv.exe beside the test executable, scripted
# by the test through its environment.
add_executable(session_engine_standin ${SCAN_TESTS}/engine_standin.cpp)
target_include_directories(session_engine_standin PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/engine/contract)
set_target_properties(session_engine_standin PROPERTIES OUTPUT_NAME kessrv
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/session_scan_tests/Kestrune)
add_dependencies(session_scan_tests session_engine_standin)

# A program folder without an engine.
tess_add_test(session_no_engine_tests SOURCES ${SCAN_TESTS}/no_engine_test.cpp LIBS tess_session)
target_include_directories(session_scan_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_include_directories(session_no_engine_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
