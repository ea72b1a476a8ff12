# The thumbnail benchmark program: built with everything, never run as a test
# (bench/thumbnails.sh runs it). Included by tests/imaging/CMakeLists.txt.
add_executable(thumbnail_bench ${CMAKE_SOURCE_DIR}/bench/thumbnail_bench.cpp
                               ${CMAKE_SOURCE_DIR}/tests/raw/dng_writer.cpp
                               ${CMAKE_SOURCE_DIR}/tests/raw/dng_preview.cpp)
target_include_directories(thumbnail_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/raw)
target_link_libraries(thumbnail_bench PRIVATE tess_session libheif_static psapi)
set_target_properties(thumbnail_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
