# Format parsers: byte-exact carving of generated samples placed inside noise.
find_package(JPEG)
set(KES_MEDIA_DIR ${CMAKE_BINARY_DIR}/format_media)
set(kes_maker_arg "")
set(kes_maker_dep "")
if(JPEG_FOUND)
  add_executable(kes_jpeg_maker ${KES_TESTS_DIR}/formats/jpeg_maker.cpp)
  target_link_libraries(kes_jpeg_maker PRIVATE JPEG::JPEG)
  set(kes_maker_arg $<TARGET_FILE:kes_jpeg_maker>)
  set(kes_maker_dep kes_jpeg_maker)
endif()
add_custom_command(OUTPUT ${KES_MEDIA_DIR}/.stamp
  COMMAND bash ${KES_TESTS_DIR}/formats/make_media.sh ${KES_MEDIA_DIR} ${kes_maker_arg}
  COMMAND ${CMAKE_COMMAND} -E touch ${KES_MEDIA_DIR}/.stamp
  DEPENDS ${KES_TESTS_DIR}/formats/make_media.sh ${KES_TESTS_DIR}/formats/make_music.py
          ${KES_TESTS_DIR}/formats/camera_jpegs.sh ${KES_TESTS_DIR}/formats/big_movie.py
          ${CMAKE_CURRENT_SOURCE_DIR}/../tools/make-cr3.py ${kes_maker_dep}
  COMMENT "Generating picture samples for the format tests")
add_custom_target(kes_format_media DEPENDS ${KES_MEDIA_DIR}/.stamp)

file(GLOB KES_FORMAT_TEST_SOURCES CONFIGURE_DEPENDS ${KES_TESTS_DIR}/formats/*.cpp)
list(REMOVE_ITEM KES_FORMAT_TEST_SOURCES ${KES_TESTS_DIR}/formats/jpeg_maker.cpp)
add_executable(formats_test ${KES_FORMAT_TEST_SOURCES})
target_include_directories(formats_test PRIVATE ${KES_TESTS_DIR})
find_package(ZLIB REQUIRED)  # the deflate decoder's test compares with zlib's streams
target_link_libraries(formats_test PRIVATE kestrune_formats GTest::gtest_main ZLIB::ZLIB)
target_compile_definitions(formats_test PRIVATE KES_MEDIA_DIR="${KES_MEDIA_DIR}")
if(JPEG_FOUND)
  target_compile_definitions(formats_test PRIVATE KES_HAVE_JPEG_MAKER=1)
endif()
add_dependencies(formats_test kes_format_media)
gtest_discover_tests(formats_test DISCOVERY_MODE PRE_TEST)

# Every format through the real engine executable, when the core provides it.
if(TARGET kessrv AND EXISTS ${KES_TESTS_DIR}/core/engine_process.cpp)
  add_executable(formats_engine_test ${KES_TESTS_DIR}/formats/e2e/media_card_test.cpp
    ${KES_TESTS_DIR}/formats/e2e/fragment_card_test.cpp ${KES_TESTS_DIR}/formats/e2e/placement_test.cpp
    ${KES_TESTS_DIR}/formats/samples.cpp ${KES_TESTS_DIR}/formats/synthetic.cpp
    ${KES_TESTS_DIR}/formats/container_maker.cpp ${KES_TESTS_DIR}/formats/stream_synthetic.cpp
    ${KES_TESTS_DIR}/core/engine_process.cpp)
  target_include_directories(formats_engine_test PRIVATE ${KES_TESTS_DIR} ${KES_TESTS_DIR}/core)
  target_link_libraries(formats_engine_test PRIVATE kestrune_core GTest::gtest_main)
  target_compile_definitions(formats_engine_test PRIVATE KES_MEDIA_DIR="${KES_MEDIA_DIR}"
    KESSRV_EXE="$<TARGET_FILE:kessrv>" KES_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/..")
  add_dependencies(formats_engine_test kessrv kes_format_media)
  gtest_discover_tests(formats_engine_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
endif()

# Throughput figures of the measures over the samples (not a test).
add_executable(kes_format_bench ${KES_TESTS_DIR}/formats/bench/format_bench.cpp)
target_link_libraries(kes_format_bench PRIVATE kestrune_formats)
target_compile_definitions(kes_format_bench PRIVATE KES_MEDIA_DIR="${KES_MEDIA_DIR}")
add_dependencies(kes_format_bench kes_format_media)

# The scan validator again, with the 32-bit bit buffer that the Windows engine uses.
file(GLOB KES_JPEG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/formats/jpeg*.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/formats/tiff_*.cpp)
add_executable(jpeg_narrow_test ${KES_TESTS_DIR}/formats/jpeg_scan_test.cpp ${KES_JPEG_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/src/formats/cursor.cpp)
target_include_directories(jpeg_narrow_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(jpeg_narrow_test PRIVATE GTest::gtest_main)
target_compile_definitions(jpeg_narrow_test PRIVATE KES_JPEG_NARROW_BITS KES_MEDIA_DIR="${KES_MEDIA_DIR}")
add_dependencies(jpeg_narrow_test kes_format_media)
gtest_discover_tests(jpeg_narrow_test DISCOVERY_MODE PRE_TEST TEST_PREFIX narrow.)
