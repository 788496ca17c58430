# test_audio makes its own Ogg files with libvorbisenc and talks to ALSA
# directly for the file-plugin check. The fuzzer for the loaders is built
# only with clang (-fsanitize=fuzzer): scripts/ci-audio.sh runs it.
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
foreach(program test_audio test_audio_slow)
  if(TARGET ${program})
    target_link_libraries(${program} PRIVATE PkgConfig::VORBISENC)
  endif()
endforeach()
# The end-to-end check reads the generated soundtrack.
foreach(program test_audio test_audio_slow)
  if(TARGET ${program} AND TARGET hazelglow-data)
    add_dependencies(${program} hazelglow-data)
  endif()
endforeach()

option(HAZELGLOW_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(HAZELGLOW_FUZZ)
  add_executable(fuzz_audio_loader ${CMAKE_CURRENT_LIST_DIR}/fuzz/loader_fuzz.cpp)
  target_link_libraries(fuzz_audio_loader PRIVATE hg_audio)
  target_compile_options(fuzz_audio_loader PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_audio_loader PRIVATE -fsanitize=fuzzer)
  hazelglow_warnings(fuzz_audio_loader)
endif()
