# Installs both programs into one folder (each finds the other beside itself),
# commands on the PATH that lead there, the icon, menu entries for both
# programs, and an autostart entry that starts the checker with the session.
#
# Every path that ends up inside a file or a link is worked out when the
# install runs (cmake/InstallEntries.cmake), from the prefix in force then, so
# that `cmake --install <build> --prefix <dir>` gives entries that name <dir>.
include(GNUInstallDirs)

set(QUORLIN_PROGRAM_DIR lib/quorlin)
set(QUORLIN_AUTOSTART_DIR "" CACHE PATH
    "Folder of the autostart entry (empty: /etc/xdg/autostart for the prefixes /usr and /usr/local, which sessions read, else <prefix>/etc/xdg/autostart)")
include(${CMAKE_CURRENT_LIST_DIR}/AutostartDir.cmake)

install(TARGETS Quorlin config RUNTIME DESTINATION ${QUORLIN_PROGRAM_DIR})

install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME quorlin.svg)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME quorlin.png)

# The manual pages of the two commands, compressed as Debian keeps them; made
# anew whenever a page changes.
foreach(page quorlin quorlin-config)
    set(source ${PROJECT_SOURCE_DIR}/resources/${page}.1)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
    file(ARCHIVE_CREATE OUTPUT ${compressed} PATHS ${source} FORMAT raw COMPRESSION GZip)
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The commands on the PATH, the menu entries and the autostart entry.
install(CODE "
    set(QUORLIN_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(QUORLIN_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
    set(QUORLIN_PROGRAM_DIR \"${QUORLIN_PROGRAM_DIR}\")
    set(QUORLIN_AUTOSTART_DIR \"${QUORLIN_AUTOSTART_DIR}\")
    set(QUORLIN_ENTRIES \"${PROJECT_SOURCE_DIR}/resources\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallEntries.cmake)

# A Debian package: configure with -DCMAKE_INSTALL_PREFIX=/usr, build, then
# cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME quorlin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorlin developers <dev@quorlin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watches web pages for changes from the notification area")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Quorlin downloads the pages of your list every hour, keeps their text and"
    "looks for each page's check string; when the string is gone, it offers to"
    "open the page in your browser. The checker sits in the notification area"
    "and starts with your session; Quorlin Config edits the list and the options.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not say: the platform plugins that put windows on an
# X screen and natively on a Wayland session, the libcurl that knows the
# protocol limits the page download sets (an older one ignores them), the
# certificates HTTPS pages are verified against, and the fonts the windows are
# laid out for. xdg-utils opens pages in the browser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-wayland, libcurl4 (>= 7.85.0), ca-certificates, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
# The autostart entry under /etc is a configuration file: an administrator's
# change to it (Hidden=true turns autostart off) survives upgrades, and purge
# removes it. Left behind by a plain remove, its TryExec keeps it from acting.
quorlin_autostart_dir("${CMAKE_INSTALL_PREFIX}" "${QUORLIN_AUTOSTART_DIR}" QUORLIN_PACKAGE_AUTOSTART)
if(QUORLIN_PACKAGE_AUTOSTART MATCHES "^/etc/")
    file(WRITE ${CMAKE_BINARY_DIR}/package/conffiles "${QUORLIN_PACKAGE_AUTOSTART}/quorlin.desktop\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package/conffiles)
endif()
include(CPack)
