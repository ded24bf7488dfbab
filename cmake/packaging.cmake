# Installing Tarvel Lite as a desktop program (cmake --install, GNU layout)
# and the Debian package made from that (cpack -G DEB).
#
#   bin/tarvlit                               the program
#   share/applications/tarvlit.desktop        the menu entry
#   share/icons/hicolor/*/apps/tarvlit.*      its icon in the usual sizes
#   share/metainfo/cz.tarvel.tarvlit.metainfo.xml   what software centres show
#   share/man/man1/tarvlit.1.gz               the manual of the command line
#   share/bash-completion/completions/tarvlit commands, options, projects
#   share/tarvlit/conf/                       templates and sample post of a new project
#
# The installed program finds share/tarvlit through a path relative to its bin
# folder (TL_DATA_FROM_BIN, src/CMakeLists.txt), so the prefix the tree was
# configured with is the one the package uses.

set(_res ${CMAKE_SOURCE_DIR}/resources)

install(TARGETS tarvlit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_res}/tarvlit.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The sizes below 64 pixels and the 128-pixel one are tarvlit-256.png scaled
# down (Qt's smooth scaling).
foreach(_size 16 22 24 32 48 64 128 256)
  install(FILES ${_res}/icons/tarvlit-${_size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
          RENAME tarvlit.png)
endforeach()
install(FILES ${_res}/icons/tarvlit.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_res}/tarvlit.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME cz.tarvel.tarvlit.metainfo.xml)
install(FILES ${_res}/tarvlit.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarvlit)
# The starter files, with the Czech ones in their own child folder (conf/cs/).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/conf/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvlit/conf)

# The manual page, with the version and the data folder filled in, compressed
# as Debian wants it (-n: no name or time stamp, so the bytes repeat).
set(TL_INSTALL_DATADIR ${CMAKE_INSTALL_FULL_DATADIR})
configure_file(${_res}/tarvlit.1.in ${CMAKE_BINARY_DIR}/man/tarvlit.1 @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/tarvlit.1.gz
                   COMMAND gzip -9 -n -k -f tarvlit.1
                   WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man
                   DEPENDS ${CMAKE_BINARY_DIR}/man/tarvlit.1
                   COMMENT "Compressing the manual page")
add_custom_target(manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/man/tarvlit.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/man/tarvlit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- the Debian package
set(TL_PACKAGE_MAINTAINER "The Tarvel Lite team <tarvlit@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvlit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarvel Lite team")
set(CPACK_PACKAGE_CONTACT ${TL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "weblog editor that generates and publishes a static site")
# The summary above is the first line of the package's description; this is
# the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarvel Lite keeps one or more weblogs as plain files: posts are written in
an HTML editor, and the program generates a static site (main page, monthly
archives, long-post pages, RSS and a text page) from the writer's own
templates and publishes it over FTP, FTPS or SFTP, sending only what the
server lacks. Passwords can be kept in the system keyring; a command line
generates and publishes from scripts and scheduled jobs.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links come from dpkg-shlibdeps. What it cannot
# see is named here: Qt's platform plugins (loaded at start) and libsecret,
# which QtKeychain loads when it first talks to the keyring.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libsecret-1-0")
# A keyring to keep passwords in; OpenSSH's ssh runs a ProxyJump or
# ProxyCommand of ~/.ssh/config.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | keepassxc | kwalletmanager, openssh-client")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
