# The test programs read the generated data files: build them first.
foreach(program test_tools test_tools_slow test_effects test_effects_slow test_demo test_demo_slow
                test_audio test_audio_slow test_display test_display_slow)
  if(TARGET ${program})
    add_dependencies(${program} hazelglow-data)
  endif()
endforeach()

# The generator tests pass it the font the build uses.
foreach(program test_tools test_tools_slow)
  if(TARGET ${program})
    target_compile_definitions(${program} PRIVATE HAZELGLOW_TEXT_FONT="${HAZELGLOW_TEXT_FONT}")
  endif()
endforeach()

# The video check runs the render tool and decodes what it wrote with
# FFmpeg's libraries (it skips itself where they are not installed).
pkg_check_modules(FFMPEG_DECODE IMPORTED_TARGET libavformat libavcodec libavutil libswscale libswresample)
if(TARGET test_tools_slow)
  add_dependencies(test_tools_slow hazelglow-render)
  if(FFMPEG_DECODE_FOUND)
    target_link_libraries(test_tools_slow PRIVATE PkgConfig::FFMPEG_DECODE)
  endif()
endif()
