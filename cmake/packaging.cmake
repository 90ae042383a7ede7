# SPDX-License-Identifier: MIT
# Installation and packages: a .deb on Linux (binary, manual page, licence,
# changelogs and the JSON fields, as Debian lays them out), a .zip on
# Windows (the program, the README, the JSON fields, the licence and the
# changelog). A plain build installs with CMake alone; the Debian package's
# own files (compressed manual page and changelogs, copyright file) are made
# only when TESSARLUMEN_PACKAGING is on, as the deb preset sets it.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME tessarlumen)
set(CPACK_PACKAGE_VENDOR "The Tessarlumen authors")
set(CPACK_PACKAGE_CONTACT "Tessarlumen developers <developers@tessarlumen.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows the identity of Wii title files (WAD, ticket, TMD)")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  install(TARGETS Tessarlumen RUNTIME DESTINATION .)
  install(FILES README.md LICENSE CHANGELOG.md docs/json.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  include(CPack)
  return()
endif()

option(TESSARLUMEN_PACKAGING "Make the Debian package's files (needs gzip and dpkg-shlibdeps)" OFF)
set(generated ${PROJECT_BINARY_DIR}/package)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/tessarlumen)
file(MAKE_DIRECTORY ${generated})

# One primary name per system. Linux and the BSDs distinguish case, so the
# program is Tessarlumen, as its help and messages call it, and a lowercase
# tessarlumen link follows the custom of command names there. Where the
# file system ignores case (macOS by default) the two names are one file:
# the link would replace the program with a link to itself, so it is made
# only where the lowercase name is still free.
install(TARGETS Tessarlumen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
function(install_lowercase_link dir target link)
  install(CODE "
    set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}\")
    if(NOT EXISTS \"\${dir}/${link}\" AND NOT IS_SYMLINK \"\${dir}/${link}\")
      file(CREATE_LINK ${target} \"\${dir}/${link}\" SYMBOLIC)
    endif()")
endfunction()
install_lowercase_link(${CMAKE_INSTALL_BINDIR} Tessarlumen tessarlumen)

# The manual page names the build's version.
configure_file(docs/tessarlumen.1.in ${generated}/tessarlumen.1 @ONLY)
install(FILES docs/json.md DESTINATION ${docdir})
if(NOT TESSARLUMEN_PACKAGING)
  install(FILES ${generated}/tessarlumen.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install_lowercase_link(${CMAKE_INSTALL_MANDIR}/man1 tessarlumen.1 Tessarlumen.1)
  include(CPack)
  return()
endif()

find_program(GZIP gzip)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT GZIP OR NOT DPKG_SHLIBDEPS)
  message(FATAL_ERROR "The Debian package needs gzip and dpkg-shlibdeps (Debian's dpkg-dev), "
                      "which computes its dependencies: apt-get install dpkg-dev")
endif()
file(STRINGS CHANGELOG.md newest REGEX "^## " LIMIT_COUNT 1)
if(NOT newest MATCHES "^## ${PROJECT_VERSION} ")
  message(FATAL_ERROR "CHANGELOG.md has no section for ${PROJECT_VERSION} at its top")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/debian_changelog.cmake)

# Compressed without a time stamp, so the package is the same on every build.
function(gzip_into in out)
  execute_process(COMMAND ${GZIP} -9nc ${in} OUTPUT_FILE ${out} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
gzip_into(${generated}/tessarlumen.1 ${generated}/tessarlumen.1.gz)
install(FILES ${generated}/tessarlumen.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install_lowercase_link(${CMAKE_INSTALL_MANDIR}/man1 tessarlumen.1.gz Tessarlumen.1.gz)

# Licence and changelogs where Debian looks for them: a machine-readable
# copyright file made from LICENSE, whose years are those the changelog
# spans, the upstream changelog, and the package's own changelog made from it.
file(READ LICENSE licence)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
changelog_years(${PROJECT_SOURCE_DIR}/CHANGELOG.md years)
file(WRITE ${generated}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Tessarlumen
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: ${years} The Tessarlumen authors
License: Expat
 ${licence}
")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${generated}/changelog.Debian
                 tessarlumen "-${CPACK_DEBIAN_PACKAGE_RELEASE}" "${CPACK_PACKAGE_CONTACT}")
gzip_into(${generated}/changelog.Debian ${generated}/changelog.Debian.gz)
gzip_into(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${generated}/changelog.gz)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${generated}/copyright ${generated}/changelog.Debian.gz ${generated}/changelog.gz
        DESTINATION ${docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcrypto is loaded only when /v verifies, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 | libssl3t64")
# The summary above is the first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessarlumen reports the identifying information held in Wii title files:
WAD packages, tickets and TMDs (title metadata). For each file named it
decides from the length and fixed signatures what the file is, and prints
the title ID, the kind of title, its code or system name, its version, its
maker code, IOS and region, its contents and its installed size, as a
fixed-format text report, one line a file, or JSON Lines. With /v it
verifies each title too: the signatures along their certificate chain,
the ticket's title and every content's hash, with a verdict of genuine,
failed or unproven. It walks folders of titles, and reads title folders.
It reads only and never changes a file.")
# The packaging step strips the program, as dh_strip would, unless
# DEB_BUILD_OPTIONS holds nostrip when the package is made (read then, by
# cpack, from the file below); TESSARLUMEN_DEBUG_PACKAGE makes a -dbgsym
# package of the symbols instead.
option(TESSARLUMEN_DEBUG_PACKAGE "Put the program's debug symbols in a -dbgsym package" OFF)
if(TESSARLUMEN_DEBUG_PACKAGE)
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
else()
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_options.cmake)
endif()
include(CPack)
