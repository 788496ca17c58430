# The display tests read the terminal bytes back through a real terminal
# emulator, libvterm.
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
foreach(program test_display test_display_slow)
  if(TARGET ${program})
    target_link_libraries(${program} PRIVATE PkgConfig::VTERM)
  endif()
endforeach()
