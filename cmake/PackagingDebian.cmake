# CPack settings of the two Debian packages; scripts/package runs `cpack -G DEB`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvella)
set(CPACK_PACKAGE_VENDOR "The Korvella developers")
set(CPACK_PACKAGE_CONTACT "${KORVELLA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/deb)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL app)
if(TARGET korvella-pairing)
  list(APPEND CPACK_COMPONENTS_ALL pairing)
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVELLA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE korvella)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KORVELLA_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack indents the long description itself and turns its empty lines into " .".

set(CPACK_DEBIAN_APP_PACKAGE_NAME korvella)
set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
# Qt loads its Wayland platform plugin at run time, so the binary does not name it.
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "qt6-wayland, fonts-noto-cjk")
set(CPACK_DEBIAN_APP_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
set(CPACK_COMPONENT_APP_DESCRIPTION "keep the computer awake from the system tray
Korvella keeps the computer from sleeping for as long as you ask, from a
small capsule in the system tray: 30 minutes, 1, 2 or 4 hours or without
limit, with a countdown in the menu and the tooltip. A lid-closed mode keeps
the machine running with the lid shut on mains power, and Korvella can report
its state to your phone through Telegram.

GNOME needs the AppIndicator extension to show a tray.")

set(CPACK_DEBIAN_PAIRING_PACKAGE_NAME korvella-pairing)
set(CPACK_DEBIAN_PAIRING_PACKAGE_SECTION net)
# The database drivers are Qt plugins, loaded by name from the configuration.
set(CPACK_DEBIAN_PAIRING_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-psql, systemd | systemd-standalone-sysusers")
set(CPACK_DEBIAN_PAIRING_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/pairing/conffiles
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/pairing/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/pairing/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/pairing/postrm)
set(CPACK_COMPONENT_PAIRING_DESCRIPTION "pairing service and official Telegram bot for Korvella
korvella-pairing hands out the pairing codes that Korvella's official-bot
connection asks for, and answers the official bot's messages that redeem
them. It speaks plain HTTP behind a TLS reverse proxy and keeps its codes in
SQLite or PostgreSQL.

The systemd unit runs it as its own system user; installing the package does
not start it until a bot token is configured.")

include(CPack)
