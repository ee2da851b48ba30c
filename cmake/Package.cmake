# The Debian package: install rules for what the programs need beside them on a
# desktop (man pages, icon, menu entry, AppStream metadata, changelog and
# copyright) and CPack's settings. `cpack -G DEB` in the build folder makes
# package/portwarden_VERSION_ARCH.deb.
set(PW_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(PW_PACKAGE_OUT ${CMAKE_BINARY_DIR}/packaging)
set(PW_APP_ID org.portwarden.Portwarden)
set(PW_MAINTAINER "Portwarden developers <portwarden@example.org>")

# The changelog's latest entry is the release: its version must be the
# project's, and its date dates the AppStream release.
file(STRINGS ${PW_PACKAGING_DIR}/changelog PW_CHANGELOG_TOP LIMIT_COUNT 1)
string(REGEX MATCH "^portwarden \\(([^)]+)\\)" _ "${PW_CHANGELOG_TOP}")
set(PW_RELEASE_VERSION ${CMAKE_MATCH_1})
if(NOT PW_RELEASE_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's latest entry is version '${PW_RELEASE_VERSION}', the project's "
                      "version is ${PROJECT_VERSION}: add an entry for the new version")
endif()
file(STRINGS ${PW_PACKAGING_DIR}/changelog PW_CHANGELOG_SIGNATURES REGEX "^ -- ")
list(GET PW_CHANGELOG_SIGNATURES 0 PW_CHANGELOG_SIGNATURE)
string(REGEX MATCH ">  [A-Za-z]+, ([0-9]+) ([A-Za-z]+) ([0-9]+) " _ "${PW_CHANGELOG_SIGNATURE}")
set(PW_MONTHS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND PW_MONTHS "${CMAKE_MATCH_2}" PW_MONTH)
math(EXPR PW_MONTH "${PW_MONTH} + 1")
string(LENGTH "${CMAKE_MATCH_1}" PW_DAY_DIGITS)
set(PW_DAY ${CMAKE_MATCH_1})
if(PW_DAY_DIGITS EQUAL 1)
  set(PW_DAY 0${PW_DAY})
endif()
if(PW_MONTH LESS 10)
  set(PW_MONTH 0${PW_MONTH})
endif()
set(PW_RELEASE_DATE ${CMAKE_MATCH_3}-${PW_MONTH}-${PW_DAY})
configure_file(${PW_PACKAGING_DIR}/${PW_APP_ID}.metainfo.xml.in ${PW_PACKAGE_OUT}/${PW_APP_ID}.metainfo.xml @ONLY)

# Files made from others at build time: the man pages from each program's
# --help (help2man), the icon's bitmaps from its drawing (rsvg-convert), the
# compressed changelog. Without the tools the build goes on; the package test
# fails on what is then missing.
find_program(PW_HELP2MAN help2man)
find_program(PW_RSVG_CONVERT rsvg-convert)
find_program(PW_GZIP gzip REQUIRED)
set(PW_PACKAGE_FILES ${PW_PACKAGE_OUT}/changelog.gz)
add_custom_command(OUTPUT ${PW_PACKAGE_OUT}/changelog.gz
  COMMAND ${PW_GZIP} -9n -c ${PW_PACKAGING_DIR}/changelog > ${PW_PACKAGE_OUT}/changelog.gz
  DEPENDS ${PW_PACKAGING_DIR}/changelog)
# portwarden-cli's page comes from its table of verbs, the window program's from
# its --help with the sections help has no room for (packaging/portwarden.h2m).
add_custom_command(OUTPUT ${PW_PACKAGE_OUT}/portwarden-cli.1 ${PW_PACKAGE_OUT}/portwarden-cli.1.gz
  COMMAND portwarden-cli-manpage ${PROJECT_VERSION} ${PW_RELEASE_DATE} ${PW_PACKAGE_OUT}/portwarden-cli.1
  COMMAND ${PW_GZIP} -9nkf ${PW_PACKAGE_OUT}/portwarden-cli.1
  DEPENDS portwarden-cli-manpage
  VERBATIM)
list(APPEND PW_PACKAGE_FILES ${PW_PACKAGE_OUT}/portwarden-cli.1.gz)
install(FILES ${PW_PACKAGE_OUT}/portwarden-cli.1.gz DESTINATION share/man/man1)
if(PW_HELP2MAN)
  add_custom_command(OUTPUT ${PW_PACKAGE_OUT}/portwarden.1 ${PW_PACKAGE_OUT}/portwarden.1.gz
    COMMAND ${PW_HELP2MAN} --no-info --section=1 "--name=window for the Internet zone's script policy and site listings"
            --include=${PW_PACKAGING_DIR}/portwarden.h2m --output=${PW_PACKAGE_OUT}/portwarden.1 $<TARGET_FILE:portwarden>
    COMMAND ${PW_GZIP} -9nkf ${PW_PACKAGE_OUT}/portwarden.1
    DEPENDS portwarden ${PW_PACKAGING_DIR}/portwarden.h2m
    VERBATIM)
  list(APPEND PW_PACKAGE_FILES ${PW_PACKAGE_OUT}/portwarden.1.gz)
  install(FILES ${PW_PACKAGE_OUT}/portwarden.1.gz DESTINATION share/man/man1)
endif()
# Bash completion, where bash-completion looks for it by the command's name.
install(FILES ${PW_PACKAGING_DIR}/portwarden-cli.bash-completion DESTINATION share/bash-completion/completions
        RENAME portwarden-cli)
set(PW_ICON_SIZES 16 24 32 48 64 128 256)
if(PW_RSVG_CONVERT)
  foreach(size ${PW_ICON_SIZES})
    set(png ${PW_PACKAGE_OUT}/icons/${size}x${size}/portwarden.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PW_PACKAGE_OUT}/icons/${size}x${size}
      COMMAND ${PW_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${PW_PACKAGING_DIR}/portwarden.svg
      DEPENDS ${PW_PACKAGING_DIR}/portwarden.svg)
    list(APPEND PW_PACKAGE_FILES ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()
add_custom_target(portwarden_package_files ALL DEPENDS ${PW_PACKAGE_FILES})

install(FILES ${PW_PACKAGING_DIR}/portwarden.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PW_PACKAGING_DIR}/${PW_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${PW_PACKAGE_OUT}/${PW_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${PW_PACKAGE_OUT}/changelog.gz ${PW_PACKAGING_DIR}/copyright DESTINATION share/doc/portwarden)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME portwarden)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Portwarden developers")
set(CPACK_PACKAGE_CONTACT "${PW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "security manager for the script permissions of web sites")
# Debian shows the description as it stands: lines of at most 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Portwarden manages the script and plug-in permissions that the Windows\n"
    "Internet settings grant to web sites. It switches the Internet zone between\n"
    "a locked-down, a prompting and a default profile and shows whether the zone\n"
    "is secured; it keeps the per-site zone map (Trusted, Restricted or merely\n"
    "listed, for all protocols or per protocol); it adds a site from a checked\n"
    "address and prints a privilege report.\n"
    "\n"
    "On Linux its state is a store of its own; registry files and Group Policy\n"
    "files carry the settings to and from Windows machines.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PW_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, not linked: the platform plugins that reach a display.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Opens the help pages in the desktop's browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package-work)
include(CPack)

# What the package must hold, for its test: both programs with their man pages,
# the help pages the window program lists, the menu entry, the icon in every
# size, the AppStream metadata, the changelog and the copyright.
get_directory_property(PW_INSTALLED_HELP DIRECTORY ${PROJECT_SOURCE_DIR}/app/gui DEFINITION PW_HELP_PAGES)
set(PW_EXPECTED_FILES
  usr/bin/portwarden usr/bin/portwarden-cli
  usr/share/man/man1/portwarden.1.gz usr/share/man/man1/portwarden-cli.1.gz
  usr/share/bash-completion/completions/portwarden-cli
  usr/share/applications/${PW_APP_ID}.desktop usr/share/metainfo/${PW_APP_ID}.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/portwarden.svg
  usr/share/doc/portwarden/changelog.gz usr/share/doc/portwarden/copyright)
foreach(page ${PW_INSTALLED_HELP})
  list(APPEND PW_EXPECTED_FILES usr/share/portwarden/${page})
endforeach()
foreach(size ${PW_ICON_SIZES})
  list(APPEND PW_EXPECTED_FILES usr/share/icons/hicolor/${size}x${size}/apps/portwarden.png)
endforeach()
list(JOIN PW_EXPECTED_FILES "\n" PW_EXPECTED_TEXT)
file(WRITE ${PW_PACKAGE_OUT}/expected-files.txt "${PW_EXPECTED_TEXT}\n")
