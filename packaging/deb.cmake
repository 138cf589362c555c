# A Debian package of everything `cmake --install` puts in place: lintara,
# lintara-term, the launcher and the icons. `cpack -G DEB` in the build
# directory writes lintara_<version>_<arch>.deb.
#
# The dependencies are read off the installed programs by dpkg-shlibdeps
# (package dpkg-dev), so they name exactly the libraries the build linked.
set(CPACK_PACKAGE_NAME lintara)
set(CPACK_PACKAGE_VENDOR "Lintara")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Disconnects the VPN after a chosen time")
set(CPACK_PACKAGE_DESCRIPTION
  "Lintara sits in the tray (lintara) or in a terminal (lintara-term) and watches whether the VPN is up. \
Once it is, it counts down the minutes you chose and then disconnects it with the VPN client's \
command-line tool.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lintara developers <lintara@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without a Hangul font every text Lintara shows is drawn as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum | fonts-noto-cjk")
# GNOME Shell shows tray items only with this extension.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
# The launcher names the programs by their installed path, so the package
# must install under the prefix the build was configured with.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
include(CPack)
