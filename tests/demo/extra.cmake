# The terminal tests run the real demo in a pseudo-terminal they open
# themselves and read its output back through libvterm.
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
foreach(program test_demo test_demo_slow)
  if(TARGET ${program})
    target_link_libraries(${program} PRIVATE PkgConfig::VTERM)
    target_compile_definitions(${program} PRIVATE HAZELGLOW_DATA_INSTALL_DIR="${HAZELGLOW_DATA_INSTALL_DIR}")
    add_dependencies(${program} hazelglow)
  endif()
endforeach()
