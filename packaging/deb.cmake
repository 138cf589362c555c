# SPDX-License-Identifier: MIT
# The Debian packages, written by `cpack -G DEB` in the build directory:
#   lintara-term_<version>_<arch>.deb  the terminal front end; needs only GLib
#                                      and ICU, so it suits servers and SSH;
#   lintara_<version>_<arch>.deb       the tray, its launcher, icons and
#                                      AppStream data; depends on lintara-term.
# A build without GTK makes lintara-term alone. Each install rule names its
# package by its component (packaging/install.cmake). Included last, once
# every install rule is known.
if(NOT TARGET lintara-term)
  message(STATUS "Lintara: no Debian package (lintara-term is not built here)")
  return()
endif()

set(LINTARA_DEB_MAINTAINER "The Lintara authors <lintara@users.noreply.github.com>" CACHE STRING
  "The Debian packages' Maintainer: the name and address of whoever builds and answers for them")

# The changelog's newest entry gives the package its version, and must be for
# the version being built: a version bump without an entry stops here.
set(_lintara_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
file(STRINGS ${_lintara_changelog} _lintara_newest LIMIT_COUNT 1)
if(NOT _lintara_newest MATCHES "^lintara \\(([^-)]+)-([^)]+)\\) ")
  message(FATAL_ERROR "Lintara: ${_lintara_changelog} does not start with an entry \"lintara (<version>-<revision>)\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "Lintara: the newest entry of ${_lintara_changelog} is for ${CMAKE_MATCH_1}, "
    "but this is ${PROJECT_VERSION}; add an entry for it")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})

set(CPACK_PACKAGE_NAME lintara)
set(CPACK_PACKAGE_VENDOR "The Lintara authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package has its own synopsis, the first line of its description; a
# shared summary would be put in front of both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LINTARA_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE lintara)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies are read off each package's own programs by dpkg-shlibdeps
# (package dpkg-dev), so each names exactly the libraries it links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)
# The launcher names the programs by their installed path, so the packages
# must install under the prefix the build was configured with.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

# Control-file descriptions: a synopsis, then paragraphs of lines under 80
# columns (an empty line separates paragraphs).
set(_lintara_about "Lintara watches a corporate VPN through the VPN client's command-line tool.
Once the VPN is connected, it counts down the number of minutes you chose,
shows the time left, and then disconnects the VPN for you.")

set(CPACK_DEBIAN_TERM_PACKAGE_NAME lintara-term)
set(CPACK_DEBIAN_TERM_DESCRIPTION "VPN disconnect timer for the terminal
${_lintara_about}

This package holds lintara-term, which runs in any terminal, over SSH too,
and needs no desktop.")
set(_lintara_components term)

if(TARGET lintara)
  set(CPACK_DEBIAN_TRAY_PACKAGE_NAME lintara)
  set(CPACK_DEBIAN_TRAY_DESCRIPTION "VPN disconnect timer for the desktop tray
${_lintara_about}

This package holds lintara, which sits in the tray of any desktop that shows
StatusNotifierItems: KDE Plasma, Xfce, MATE, Cinnamon, Budgie, or GNOME Shell
with the AppIndicator extension.")
  # Without a Hangul font every text of the tray is drawn as boxes. The
  # terminal's text is drawn by the terminal, which may be on another machine.
  set(CPACK_DEBIAN_TRAY_PACKAGE_RECOMMENDS "fonts-nanum | fonts-noto-cjk")
  # GNOME Shell shows tray items only with this extension.
  set(CPACK_DEBIAN_TRAY_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
  list(APPEND _lintara_components tray)
endif()

# What Debian asks of every package's documentation directory: the licence
# in DEP-5 form and the package's changelog; and the lintian overrides, each
# with its reason (packaging/lintian/overrides.in). Left out of a plain
# `cmake --install`, which is not a Debian package.
set(_lintara_changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
lintara_gzip(${_lintara_changelog} ${_lintara_changelog_gz})
foreach(_lintara_component IN LISTS _lintara_components)
  string(TOUPPER ${_lintara_component} _lintara_upper)
  set(LINTARA_PACKAGE ${CPACK_DEBIAN_${_lintara_upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_lintara_changelog_gz}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${LINTARA_PACKAGE}
    COMPONENT ${_lintara_component} EXCLUDE_FROM_ALL)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/lintian/overrides.in
    ${PROJECT_BINARY_DIR}/packaging/lintian/${LINTARA_PACKAGE} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/lintian/${LINTARA_PACKAGE}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    COMPONENT ${_lintara_component} EXCLUDE_FROM_ALL)
endforeach()

# The programs the packages hold, and nothing else: the test builds and the
# fake VPN tool are not shipped, so a package build need not wait for them.
get_property(_lintara_programs GLOBAL PROPERTY LINTARA_INSTALLED_PROGRAMS)
add_custom_target(lintara_packaged_programs DEPENDS ${_lintara_programs})

set(CPACK_COMPONENTS_ALL ${_lintara_components})
include(CPack)
if(TARGET lintara)
  cpack_add_component(tray DEPENDS term)
endif()
