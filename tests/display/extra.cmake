# The display tests read the terminal bytes back through a real terminal
# emulator, libvterm.
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
foreach(program test_display test_display_slow)
  if(TARGET ${program})
    target_link_libraries(${program} PRIVATE PkgConfig::VTERM)
  endif()
endforeach()
# The fitted-terminal test reads back what hazelglow-render writes.
if(TARGET test_display AND TARGET hazelglow-render)
  add_dependencies(test_display hazelglow-render)
endif()
