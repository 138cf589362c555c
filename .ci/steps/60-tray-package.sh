#!/usr/bin/env bash
# The tray front end as a user gets it: build the .deb, install it with the
# dependencies it declares, and check that the installed lintara starts, shows
# its item and quits. The end-to-end tests of the build itself run with the
# rest of the suite in 20-test.sh.
set -euo pipefail
build=build/deb
cmake -S . -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DLINTARA_BUILD_TESTS=OFF -DLINTARA_WERROR=ON
cmake --build "${build}" -j2
(cd "${build}" && rm -f lintara_*.deb && cpack -G DEB)
deb=$(ls "${build}"/lintara_*.deb)
dpkg-deb --field "${deb}" Package Version Depends Recommends
dpkg-deb --contents "${deb}" | awk '{print $6}'

apt-get install -y --no-install-recommends "./${deb}"
test -x /usr/bin/lintara
test -x /usr/bin/lintara-term
desktop-file-validate /usr/share/applications/io.lintara.Lintara.desktop
test -f /usr/share/icons/hicolor/scalable/apps/io.lintara.Lintara.svg
test -f /usr/share/icons/hicolor/symbolic/apps/io.lintara.Lintara-symbolic.svg

/usr/bin/python3 tests/gtk/test_tray.py installed_smoke --binary /usr/bin/lintara --artefacts "${build}/artefacts"
/usr/bin/python3 tests/gtk/test_tray.py no_display --binary /usr/bin/lintara --artefacts "${build}/artefacts"
apt-get remove -y lintara
