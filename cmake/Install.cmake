# Installs both programs into one folder (each finds the other beside itself),
# commands on the PATH that lead there, the icon, menu entries for both
# programs, and an autostart entry that starts the checker with the session.
include(GNUInstallDirs)

set(QUORLIN_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/quorlin)
set(QUORLIN_LAUNCH_DIR ${CMAKE_INSTALL_FULL_BINDIR})

install(TARGETS Quorlin config RUNTIME DESTINATION ${QUORLIN_PROGRAM_DIR})

# Symbolic links keep applicationDirPath() at the program folder, since it is
# read from /proc/self/exe, which names the link's target.
file(RELATIVE_PATH QUORLIN_BIN_TO_PROGRAMS
     ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${QUORLIN_PROGRAM_DIR})
install(CODE "
    set(bin \"\$ENV{DESTDIR}${CMAKE_INSTALL_FULL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK \"${QUORLIN_BIN_TO_PROGRAMS}/Quorlin\" \"\${bin}/quorlin\" SYMBOLIC)
    file(CREATE_LINK \"${QUORLIN_BIN_TO_PROGRAMS}/config\" \"\${bin}/quorlin-config\" SYMBOLIC)
    message(STATUS \"Installing: \${bin}/quorlin, \${bin}/quorlin-config\")
")

install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME quorlin.svg)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME quorlin.png)

foreach(entry quorlin quorlin-config quorlin-autostart)
    configure_file(${PROJECT_SOURCE_DIR}/resources/${entry}.desktop.in
                   ${CMAKE_BINARY_DIR}/desktop/${entry}.desktop @ONLY)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/desktop/quorlin.desktop
              ${CMAKE_BINARY_DIR}/desktop/quorlin-config.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/desktop/quorlin-autostart.desktop
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart RENAME quorlin.desktop)

# A Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME quorlin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorlin developers <dev@quorlin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watches web pages for changes from the notification area")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates, fonts-liberation2")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
