# Hostile pictures through the thumbnail worker: a bounded run in the suite, a long one
# on demand (bench/thumbnail_fuzz.sh). The seed pictures are made by ImageMagick.
tess_add_test(thumbnail_fuzz_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/thumbnail_fuzz_test.cpp
          ${CMAKE_SOURCE_DIR}/tests/raw/dng_writer.cpp ${CMAKE_SOURCE_DIR}/tests/raw/dng_preview.cpp
  LIBS tess_session tess_imaging)
target_include_directories(thumbnail_fuzz_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/raw ${CMAKE_SOURCE_DIR}/tests)
set(_fuzz_media ${CMAKE_BINARY_DIR}/tests/thumbnail_fuzz_tests/media)
set(_fuzz_seeds
  "seed.jpg|-seed 3 -size 160x120 plasma:fractal -quality 85"
  "progressive.jpg|-size 120x90 gradient:red-blue -interlace Plane -quality 80"
  "seed.png|-seed 4 -size 96x64 plasma:fractal"
  "interlaced.png|-size 80x60 gradient:yellow-navy -interlace PNG"
  "animated.gif|-delay 10 -size 64x48 xc:red xc:blue xc:green"
  "palette.bmp|-seed 5 -size 60x40 plasma:fractal -colors 16 -type Palette BMP3:"
  "seed.bmp|-size 60x40 gradient:red-blue -type TrueColor BMP3:"
  "lzw.tiff|-seed 6 -size 64x48 plasma:fractal -depth 8 -compress LZW")
set(_fuzz_outputs)
foreach(entry ${_fuzz_seeds})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 args)
  separate_arguments(args UNIX_COMMAND "${args}")
  # A format prefix ("BMP3:") goes in front of the output name.
  set(prefix "")
  list(GET args -1 last)
  if(last MATCHES ":$")
    set(prefix ${last})
    list(REMOVE_AT args -1)
  endif()
  add_custom_command(OUTPUT ${_fuzz_media}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_fuzz_media}
    COMMAND /usr/bin/convert ${args} ${prefix}${_fuzz_media}/${name}
    VERBATIM)
  list(APPEND _fuzz_outputs ${_fuzz_media}/${name})
endforeach()
set_property(TARGET thumbnail_fuzz_tests APPEND PROPERTY SOURCES ${_fuzz_outputs})
