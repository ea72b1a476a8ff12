# Bounded libFuzzer runs over every format parser (clang only): a seed corpus from the
# generated samples, a fixed number of runs and a time guard per target.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  return()
endif()

set(KES_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_library(kes_formats_fuzz STATIC ${KES_FORMAT_SOURCES})
target_include_directories(kes_formats_fuzz PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(kes_formats_fuzz PUBLIC kestrune_codecs)
target_compile_options(kes_formats_fuzz PRIVATE ${KES_FUZZ_FLAGS})

add_executable(kes_fuzz_seeds ${KES_TESTS_DIR}/fuzz/seed_writer.cpp ${KES_TESTS_DIR}/formats/synthetic.cpp
                              ${KES_TESTS_DIR}/formats/samples.cpp ${KES_TESTS_DIR}/formats/container_maker.cpp
                              ${KES_TESTS_DIR}/formats/stream_synthetic.cpp)
target_include_directories(kes_fuzz_seeds PRIVATE ${KES_TESTS_DIR})
target_link_libraries(kes_fuzz_seeds PRIVATE kestrune_formats GTest::gtest)
target_compile_definitions(kes_fuzz_seeds PRIVATE KES_MEDIA_DIR="${KES_MEDIA_DIR}")
add_dependencies(kes_fuzz_seeds kes_format_media)
set(KES_SEED_DIR ${CMAKE_BINARY_DIR}/fuzz_seeds)
add_custom_command(OUTPUT ${KES_SEED_DIR}/.stamp
  COMMAND kes_fuzz_seeds ${KES_SEED_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${KES_SEED_DIR}/.stamp
  DEPENDS kes_fuzz_seeds ${KES_MEDIA_DIR}/.stamp
  COMMENT "Writing fuzz seed corpora")
add_custom_target(kes_fuzz_seed_corpus ALL DEPENDS ${KES_SEED_DIR}/.stamp)

set(KES_FUZZ_RUNS 20000 CACHE STRING "Runs per fuzz target in the test suite")
foreach(fmt tif dsc raf x3f orf rw2 crw mrw png gif bmp jpg ico psd heif riff mov mkv asf flv rm ra wtv max fcp dpx
            mpg m2ts TiVo dv ifo mp3 ogg flac wv ape swf aif au caf mid mus flp ses it xm als gp5 ds2 dss sib rns)
  add_executable(fuzz_${fmt} ${KES_TESTS_DIR}/fuzz/fuzz_format.cpp)
  target_compile_definitions(fuzz_${fmt} PRIVATE KES_FUZZ_FORMAT="${fmt}")
  target_compile_options(fuzz_${fmt} PRIVATE ${KES_FUZZ_FLAGS})
  target_link_libraries(fuzz_${fmt} PRIVATE kes_formats_fuzz)
  target_link_options(fuzz_${fmt} PRIVATE -fsanitize=fuzzer,address,undefined)
  add_dependencies(fuzz_${fmt} kes_fuzz_seed_corpus)
  set(work ${CMAKE_BINARY_DIR}/fuzz_work/${fmt})
  file(MAKE_DIRECTORY ${work} ${KES_SEED_DIR}/${fmt})
  # New inputs go to the scratch folder; the seeds stay as generated. Inputs that once
  # crashed a parser (found by bench/fuzz.sh) are run every time.
  set(regressions)
  if(IS_DIRECTORY ${KES_TESTS_DIR}/fuzz/regressions/${fmt})
    set(regressions ${KES_TESTS_DIR}/fuzz/regressions/${fmt})
  endif()
  add_test(NAME fuzz.${fmt}
    COMMAND fuzz_${fmt} -runs=${KES_FUZZ_RUNS} -max_total_time=12 -max_len=16384 -timeout=10 -rss_limit_mb=2048
            -print_final_stats=1 ${work} ${KES_SEED_DIR}/${fmt} ${regressions})
  set_tests_properties(fuzz.${fmt} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
