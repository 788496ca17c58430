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
