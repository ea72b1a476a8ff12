# The preview grid benchmark program: built with everything, never run as a test
# (bench/grid.sh runs it). Included by tests/ui/pages/preview.cmake.
add_executable(grid_bench ${CMAKE_SOURCE_DIR}/bench/grid_bench.cpp)
target_link_libraries(grid_bench PRIVATE tess_pages tess_session tess_resources psapi)
set_target_properties(grid_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
