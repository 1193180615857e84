# What `cmake --install` puts under the prefix, and the Debian packages
# (scripts/package.sh): component "client" is the package lumivex, component
# "sim" the stand-in cloud lumivex-sim. The programs, pictures and icons
# install from the folders that build them; the rest is here.

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(LUMIVEX_PACKAGE_MAINTAINER "Lumivex maintainers <lumivex@velmor.example>"
  CACHE STRING "Maintainer field of the Debian packages")
set(packaging ${CMAKE_SOURCE_DIR}/packaging)

install(FILES ${packaging}/${LUMIVEX_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT client)
install(FILES ${packaging}/${LUMIVEX_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT client)
install(FILES ${packaging}/${LUMIVEX_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT client)

# Man pages from the programs' own --help and --version, gzipped without a
# time stamp (-n) so that the same build gives the same bytes.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)
set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_pages_client)
set(man_pages_sim)
function(lumivex_man_page program component what)
  if(NOT TARGET ${program})
    return()
  endif()
  set(page ${man_dir}/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    # No display: --help must not need one.
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${what}
            --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${program}
    COMMENT "Writing the man page of ${program}"
    VERBATIM)
  set(man_pages_${component} ${man_pages_${component}} ${page}.gz PARENT_SCOPE)
endfunction()
lumivex_man_page(lumivex client "desktop client of the Velmor camera service")
lumivex_man_page(lumivexctl client "drive the Lumivex client core from a terminal")
lumivex_man_page(lumivex-update client "download and start an update of Lumivex")
lumivex_man_page(lumivex-sim sim "stand-in Velmor cloud for tests and demos")
add_custom_target(lumivex_man ALL DEPENDS ${man_pages_client} ${man_pages_sim})
foreach(component client sim)
  if(man_pages_${component})
    install(FILES ${man_pages_${component}} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  endif()
endforeach()

# Each package's copyright and changelog, where Debian policy wants them.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${GZIP} -9nc ${packaging}/changelog > ${changelog}
  DEPENDS ${packaging}/changelog
  VERBATIM)
add_custom_target(lumivex_changelog ALL DEPENDS ${changelog})
foreach(component client sim)
  set(package lumivex)
  if(component STREQUAL sim)
    set(package lumivex-sim)
  endif()
  install(FILES ${packaging}/copyright ${changelog}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumivex)
set(CPACK_PACKAGE_VENDOR Velmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_CONTACT ${LUMIVEX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL client sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LUMIVEX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME lumivex)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION video)
# Qt's own texts (standard buttons, the file chooser) in the interface's Chinese.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_CLIENT_DESCRIPTION
"desktop client of the Velmor IP camera service
Lumivex signs in to a Velmor cloud account and shows its cameras in groups:
up to sixteen live cameras a page, recording to MP4, snapshots, camera sound
and talk-back, pan/tilt control, playback of the camera's memory card,
camera settings, sharing and account upkeep.
.
The package holds the desktop client lumivex, lumivexctl, which drives the
same core from a terminal, and the updater lumivex-update.")
set(CPACK_DEBIAN_SIM_PACKAGE_NAME lumivex-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_SIM_DESCRIPTION
"stand-in for the Velmor camera service, for testing Lumivex
lumivex-sim plays the Velmor web service, its relay and its cameras on
loopback from a scenario file, with knobs for network and service faults.
It is meant for testing the Lumivex client, not for watching real cameras.")
include(CPack)
