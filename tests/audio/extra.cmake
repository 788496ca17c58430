# test_audio makes its own Ogg files with libvorbisenc and talks to ALSA
# directly for the file-plugin check. The fuzzer for the loaders is built
# only with clang (-fsanitize=fuzzer): scripts/ci-audio.sh runs it.
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
foreach(program test_audio test_audio_slow)
  if(TARGET ${program})
    target_link_libraries(${program} PRIVATE PkgConfig::VORBISENC)
  endif()
endforeach()
# The --wav check runs the render tool.
add_dependencies(test_audio hazelglow-render)
# The end-to-end check reads the generated soundtrack.
foreach(program test_audio test_audio_slow)
  if(TARGET ${program})
    add_dependencies(${program} hazelglow-data)
  endif()
endforeach()

option(HAZELGLOW_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(HAZELGLOW_FUZZ)
  # The engine is instrumented for coverage too, so the fuzzer can steer into it.
  target_compile_options(hg_audio PRIVATE -fsanitize=fuzzer-no-link)
  add_executable(fuzz_audio_loader ${CMAKE_CURRENT_LIST_DIR}/fuzz/loader_fuzz.cpp)
  target_link_libraries(fuzz_audio_loader PRIVATE hg_audio)
  target_compile_options(fuzz_audio_loader PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_audio_loader PRIVATE -fsanitize=fuzzer)
  hazelglow_warnings(fuzz_audio_loader)

  add_executable(audio_fuzz_seeds ${CMAKE_CURRENT_LIST_DIR}/fuzz/make_seeds.cpp ${CMAKE_CURRENT_LIST_DIR}/audio_support.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/ogg_support.cpp)
  target_include_directories(audio_fuzz_seeds PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(audio_fuzz_seeds PRIVATE hg_audio PkgConfig::VORBISENC)
  hazelglow_warnings(audio_fuzz_seeds)
endif()
