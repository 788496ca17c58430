# A cross build cannot run the data generator, which runs at build time; it
# takes the data files a native build generated instead and puts them beside
# its programs, where the demo and the tests look for them.
set(HAZELGLOW_HOST_DATA_DIR "${PROJECT_SOURCE_DIR}/build/release/bin" CACHE PATH
  "Bin directory of a native build whose generated data files the cross build uses")
set(HAZELGLOW_DATA_NAMES hazelglow.ogg texts.png wipe.png)
set(HAZELGLOW_HOST_DATA_FILES "")
set(HAZELGLOW_DATA_FILES "")
foreach(name ${HAZELGLOW_DATA_NAMES})
  if(EXISTS ${HAZELGLOW_HOST_DATA_DIR}/${name})
    list(APPEND HAZELGLOW_HOST_DATA_FILES ${HAZELGLOW_HOST_DATA_DIR}/${name})
    list(APPEND HAZELGLOW_DATA_FILES ${HAZELGLOW_BUILD_DATA_DIR}/${name})
  else()
    message(WARNING "${name} is not in ${HAZELGLOW_HOST_DATA_DIR}: build the native data first "
      "(cmake --preset release && cmake --build --preset release --target hazelglow-data) "
      "or point HAZELGLOW_HOST_DATA_DIR at a native build's bin directory")
  endif()
endforeach()
if(HAZELGLOW_DATA_FILES)
  add_custom_command(
    OUTPUT ${HAZELGLOW_DATA_FILES}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${HAZELGLOW_HOST_DATA_FILES} ${HAZELGLOW_BUILD_DATA_DIR}
    DEPENDS ${HAZELGLOW_HOST_DATA_FILES}
    COMMENT "Copying the data files of the native build"
    VERBATIM)
endif()
add_custom_target(hazelglow-data ALL DEPENDS ${HAZELGLOW_DATA_FILES})
install(FILES ${HAZELGLOW_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/hazelglow)
