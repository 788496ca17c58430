# The whole-timeline golden test runs hazelglow-render on the generated data
# files, so building the test builds both.
add_dependencies(test_effects_slow hazelglow-render hazelglow-data)
# It also checks that the font the text pictures are drawn from is the one
# the golden frames were made with.
target_compile_definitions(test_effects_slow PRIVATE HAZELGLOW_TEXT_FONT="${HAZELGLOW_TEXT_FONT}")
if(TARGET test_effects_slow)
  add_dependencies(test_effects_slow hazelglow-render hazelglow-data)
endif()

# The image-strip loader's fuzzer, built only with clang (-fsanitize=fuzzer)
# when HAZELGLOW_FUZZ is on; scripts/ci-audio.sh runs it beside the audio one.
if(HAZELGLOW_FUZZ)
  add_executable(fuzz_strip_loader ${CMAKE_CURRENT_LIST_DIR}/fuzz/strip_fuzz.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/fuzz/stb_image_instrumented.c)
  target_link_libraries(fuzz_strip_loader PRIVATE hg_effects)
  target_compile_options(fuzz_strip_loader PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_strip_loader PRIVATE -fsanitize=fuzzer)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/fuzz/stb_image_instrumented.c PROPERTIES COMPILE_OPTIONS -w)
  target_compile_options(hg_effects PRIVATE -fsanitize=fuzzer-no-link)
  hazelglow_warnings(fuzz_strip_loader)

  add_executable(strip_fuzz_seeds ${CMAKE_CURRENT_LIST_DIR}/fuzz/make_strip_seeds.cpp)
  target_link_libraries(strip_fuzz_seeds PRIVATE PkgConfig::STB)
  hazelglow_warnings(strip_fuzz_seeds)
endif()
