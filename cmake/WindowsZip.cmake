# The Windows zip (target hazelglow-zip): both programs, the three data files
# and a short text on how to start it, in one folder, since the programs
# look for their data beside themselves.
set(HAZELGLOW_ZIP_NAME hazelglow-${PROJECT_VERSION}-windows-x86_64)
set(HAZELGLOW_ZIP_STAGE ${CMAKE_BINARY_DIR}/packages/${HAZELGLOW_ZIP_NAME})
set(HAZELGLOW_ZIP ${CMAKE_BINARY_DIR}/packages/${HAZELGLOW_ZIP_NAME}.zip)
set(HAZELGLOW_ZIP_DATA "")
foreach(name hazelglow.ogg wipe.png texts.png)
  list(APPEND HAZELGLOW_ZIP_DATA ${HAZELGLOW_BUILD_DATA_DIR}/${name})
endforeach()
add_custom_command(
  OUTPUT ${HAZELGLOW_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HAZELGLOW_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${HAZELGLOW_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:hazelglow> $<TARGET_FILE:hazelglow-render>
          ${HAZELGLOW_ZIP_DATA} ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt ${HAZELGLOW_ZIP_STAGE}
  COMMAND ${CMAKE_STRIP} ${HAZELGLOW_ZIP_STAGE}/hazelglow.exe ${HAZELGLOW_ZIP_STAGE}/hazelglow-render.exe
  COMMAND ${CMAKE_COMMAND} -E tar cf ${HAZELGLOW_ZIP} --format=zip ${HAZELGLOW_ZIP_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/packages
  DEPENDS hazelglow hazelglow-render hazelglow-data
          ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
  COMMENT "Packing ${HAZELGLOW_ZIP_NAME}.zip"
  VERBATIM)
add_custom_target(hazelglow-zip DEPENDS ${HAZELGLOW_ZIP})
