# The Debian package (cpack -G DEB): both programs, the data files, a man
# page for each, the README and the copyright file. Configure with
# CMAKE_INSTALL_PREFIX=/usr (the `package` preset) so the installed demo
# looks for its data in /usr/share/hazelglow.
set(HAZELGLOW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/hazelglow)

# Man pages and the changelog go in gzipped, without a time stamp, as Debian
# wants them.
find_program(HAZELGLOW_GZIP gzip)
set(HAZELGLOW_PACKAGING_OUTPUTS "")
function(hazelglow_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${HAZELGLOW_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
  set(HAZELGLOW_PACKAGING_OUTPUTS ${HAZELGLOW_PACKAGING_OUTPUTS} ${output} PARENT_SCOPE)
endfunction()
set(HAZELGLOW_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${HAZELGLOW_PACKAGING_DIR})
hazelglow_gzip(${PROJECT_SOURCE_DIR}/man/hazelglow.6 ${HAZELGLOW_PACKAGING_DIR}/hazelglow.6.gz)
hazelglow_gzip(${PROJECT_SOURCE_DIR}/man/hazelglow-render.1 ${HAZELGLOW_PACKAGING_DIR}/hazelglow-render.1.gz)
hazelglow_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian ${HAZELGLOW_PACKAGING_DIR}/changelog.Debian.gz)
add_custom_target(hazelglow-packaging-files ALL DEPENDS ${HAZELGLOW_PACKAGING_OUTPUTS})

install(FILES ${HAZELGLOW_PACKAGING_DIR}/hazelglow.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${HAZELGLOW_PACKAGING_DIR}/hazelglow-render.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${HAZELGLOW_PACKAGING_DIR}/changelog.Debian.gz
        DESTINATION ${HAZELGLOW_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hazelglow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Hazel Glow developers <hazelglow@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time text-mode audiovisual demo")
set(CPACK_PACKAGE_DESCRIPTION
  "Hazel Glow draws animated effects into a true-colour picture every 40 ms,
turns it into 80x50 character cells and shows them in the terminal, while it
plays its own Ogg Vorbis soundtrack: eleven 16-second scenes, 178 seconds in
all. hazelglow-render renders the same frames headless: hashes, screenshots,
the soundtrack's mix or a video file.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Section misc: Debian keeps the games section for programs in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
