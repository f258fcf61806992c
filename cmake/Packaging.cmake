# What `cmake --install` puts on the system beyond the programs, and the two Debian packages
# CPack makes from it (scripts/package): component "app" is korvella, "pairing" korvella-pairing.
# Every install() rule names one of the two (a bash completion or a D-Bus service file of the app
# takes COMPONENT app); a rule without one would be missing from both packages.
include(GNUInstallDirs)

set(KORVELLA_APP_ID io.korvella.Korvella)
set(KORVELLA_HOMEPAGE_URL "https://korvella.io" CACHE STRING "Project home page, shown by software centres")
set(KORVELLA_SCREENSHOT_BASE_URL "${KORVELLA_HOMEPAGE_URL}/docs" CACHE STRING
    "Where docs/tray-menu.png and docs/preferences.png are published")
set(KORVELLA_PROJECT_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence expression of the project")
set(KORVELLA_PACKAGE_MAINTAINER "The Korvella developers <packages@korvella.io>" CACHE STRING
    "Maintainer field of the Debian packages")
# A source install under /usr/local stays there: systemd reads units and sysusers.d there too.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(system_lib /lib)
else()
  set(system_lib ${CMAKE_INSTALL_PREFIX}/lib)
endif()
set(KORVELLA_SYSTEMD_UNIT_DIR "${system_lib}/systemd/system" CACHE PATH "Where the pairing service's unit goes")
set(KORVELLA_SYSUSERS_DIR "${CMAKE_INSTALL_PREFIX}/lib/sysusers.d" CACHE PATH
    "Where the pairing service's user is declared")
option(KORVELLA_PACKAGING "Fail when something the packages need is missing, instead of skipping it" OFF)

set(packaging ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

# A version bump without its release notes would ship last version's notes as this one's.
function(korvella_require_release file pattern)
  file(READ ${file} text)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${file} has no entry for version ${PROJECT_VERSION}; add its release notes")
  endif()
endfunction()
string(REPLACE "." "\\." version_re "${PROJECT_VERSION}")
korvella_require_release(${packaging}/${KORVELLA_APP_ID}.metainfo.xml.in "<release version=\"${version_re}\"")
korvella_require_release(${packaging}/changelog "^korvella \\(${version_re}-")

# Man pages and the changelog go in compressed, as Debian wants; -n keeps the output reproducible.
function(korvella_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
korvella_gzip(${packaging}/korvella.1 ${generated}/korvella.1.gz)
korvella_gzip(${packaging}/korvella-pairing.8 ${generated}/korvella-pairing.8.gz)
korvella_gzip(${packaging}/changelog ${generated}/changelog.Debian.gz)
set(packaging_outputs ${generated}/korvella.1.gz ${generated}/korvella-pairing.8.gz
    ${generated}/changelog.Debian.gz)

# ---- The desktop app ----
configure_file(${packaging}/${KORVELLA_APP_ID}.metainfo.xml.in
               ${generated}/${KORVELLA_APP_ID}.metainfo.xml @ONLY)
install(TARGETS korvella RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)
install(FILES ${packaging}/${KORVELLA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT app)
install(FILES ${generated}/${KORVELLA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT app)
install(FILES ${generated}/korvella.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT app)
install(FILES ${packaging}/copyright ${generated}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvella COMPONENT app)

set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${packaging}/korvella.svg DESTINATION ${icons}/scalable/apps
        RENAME ${KORVELLA_APP_ID}.svg COMPONENT app)
# The autostart entry the preferences write names the icon "korvella".
install(CODE "file(CREATE_LINK ${KORVELLA_APP_ID}.svg
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${icons}/scalable/apps/korvella.svg\" SYMBOLIC)"
        COMPONENT app)

# Menus and panels pick a bitmap of their own size; one rendered from the SVG stays sharp.
find_program(KORVELLA_RSVG_CONVERT rsvg-convert)
if(KORVELLA_RSVG_CONVERT)
  foreach(size 16 22 24 32 48 64 128 256)
    set(dir ${generated}/icons/${size}x${size})
    add_custom_command(OUTPUT ${dir}/${KORVELLA_APP_ID}.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${KORVELLA_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/${KORVELLA_APP_ID}.png
              ${packaging}/korvella.svg
      DEPENDS ${packaging}/korvella.svg VERBATIM)
    list(APPEND packaging_outputs ${dir}/${KORVELLA_APP_ID}.png)
    install(FILES ${dir}/${KORVELLA_APP_ID}.png DESTINATION ${icons}/${size}x${size}/apps COMPONENT app)
  endforeach()
elseif(KORVELLA_PACKAGING)
  message(FATAL_ERROR "rsvg-convert (librsvg2-bin) is needed to render the icon's PNG sizes")
else()
  message(STATUS "rsvg-convert not found: only the SVG icon is installed")
endif()

# ---- The pairing service ----
if(TARGET korvella-pairing)
  # One unit to maintain: the packaged one is the hand-installed one with the package's paths
  # and a static user from sysusers.d, so the package can make the user before the first start.
  set(unit_source ${CMAKE_CURRENT_SOURCE_DIR}/pairing-service/korvella-pairing.service)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${unit_source})
  file(READ ${unit_source} unit)
  foreach(expected "ExecStart=/usr/local/bin/korvella-pairing" "DynamicUser=yes\n" "[Unit]\n")
    string(FIND "${unit}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${unit_source} no longer has '${expected}': update cmake/Packaging.cmake")
    endif()
  endforeach()
  string(REGEX REPLACE "^(#[^\n]*\n)+" "" unit "${unit}")
  string(REPLACE "/etc/korvella-pairing/" "${CMAKE_INSTALL_FULL_SYSCONFDIR}/korvella-pairing/" unit "${unit}")
  string(REPLACE "ExecStart=/usr/local/bin/korvella-pairing"
                 "ExecStart=${CMAKE_INSTALL_FULL_BINDIR}/korvella-pairing" unit "${unit}")
  string(REPLACE "DynamicUser=yes\n" "User=korvella-pairing\nGroup=korvella-pairing\n" unit "${unit}")
  string(REPLACE "[Unit]\n" "[Unit]\nDocumentation=man:korvella-pairing(8)
# Installing the package starts nothing; without a token there is nothing to run.
ConditionPathExists=${CMAKE_INSTALL_FULL_SYSCONFDIR}/korvella-pairing/bot-token\n" unit "${unit}")
  file(WRITE ${generated}/korvella-pairing.service "${unit}")

  install(FILES ${generated}/korvella-pairing.service DESTINATION ${KORVELLA_SYSTEMD_UNIT_DIR}
          COMPONENT pairing)
  install(FILES ${packaging}/pairing/korvella-pairing.sysusers DESTINATION ${KORVELLA_SYSUSERS_DIR}
          RENAME korvella-pairing.conf COMPONENT pairing)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/pairing-service/pairing.conf.example
          DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/korvella-pairing RENAME pairing.conf
          COMPONENT pairing)
  install(FILES ${generated}/korvella-pairing.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8
          COMPONENT pairing)
  install(FILES ${packaging}/copyright ${generated}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvella-pairing COMPONENT pairing)
endif()

add_custom_target(korvella_packaging_files ALL DEPENDS ${packaging_outputs})

get_cmake_property(install_components COMPONENTS)
if("Unspecified" IN_LIST install_components)
  if(KORVELLA_PACKAGING)
    message(FATAL_ERROR "An install() rule has no COMPONENT (app or pairing): the packages would lack its files")
  endif()
  message(WARNING "An install() rule has no COMPONENT (app or pairing): the packages would lack its files")
endif()

include(cmake/PackagingDebian.cmake)
