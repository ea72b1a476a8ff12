# The engine core: its units, and its contract through real processes.
set(KES_CORE_TESTS ${KES_TESTS_DIR}/core)
add_library(kestrune_test_formats STATIC ${KES_CORE_TESTS}/test_formats.cpp)
target_link_libraries(kestrune_test_formats PUBLIC kestrune_core)
target_include_directories(kestrune_test_formats PUBLIC ${KES_CORE_TESTS})

# The engine with test formats: the real core behind a table the tests control.
add_executable(kessrv_test ${KES_CORE_TESTS}/test_engine_main.cpp)
target_link_libraries(kessrv_test PRIVATE kestrune_test_formats)

add_executable(kestrune_core_tests
  ${KES_CORE_TESTS}/engine_process.cpp ${KES_CORE_TESTS}/card_image.cpp
  ${KES_CORE_TESTS}/contract_test.cpp ${KES_CORE_TESTS}/units_test.cpp
  ${KES_CORE_TESTS}/recovery_test.cpp ${KES_CORE_TESTS}/volume_layout_test.cpp)
target_link_libraries(kestrune_core_tests PRIVATE kestrune_test_formats GTest::gtest_main)
# Preloaded into the engine to make reads of a card image fail past an offset; plain C,
# without sanitizers, so that it can come before their runtime.
add_library(kes_failing_reads SHARED ${KES_CORE_TESTS}/failing_reads.c)
target_compile_options(kes_failing_reads PRIVATE -fno-sanitize=all)
target_link_options(kes_failing_reads PRIVATE -fno-sanitize=all)
target_link_libraries(kes_failing_reads PRIVATE dl)

target_compile_definitions(kestrune_core_tests PRIVATE KESSRV_TEST_EXE="$<TARGET_FILE:kessrv_test>"
  KESSRV_EXE="$<TARGET_FILE:kessrv>" KES_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/.."
  KES_FAILING_READS="$<TARGET_FILE:kes_failing_reads>")
add_dependencies(kestrune_core_tests kessrv_test kessrv kes_failing_reads)
gtest_discover_tests(kestrune_core_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
