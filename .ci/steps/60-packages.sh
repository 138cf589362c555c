#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian packages as a user gets them. Builds lintara-term and lintara
# with Debian's hardening flags, checks them with lintian (no error and no
# warning; each override is in packaging/lintian with its reason), validates
# the launcher and the AppStream data, installs both with the dependencies
# they declare, starts each once, and removes them. A second build, with GTK
# hidden from pkg-config, proves that a machine without GTK still builds and
# packages lintara-term. Neither build makes or ships test code (checked
# with nm). The end-to-end tests of the build itself run with the rest of the
# suite in 20-test.sh.
set -euo pipefail

fail() {
  echo "60-packages: $*" >&2
  exit 1
}

# package <build directory>: configure, build what the packages hold, and run
# cpack. Runs under whatever environment the caller gives it.
package() {
  local build=$1
  cmake -S . -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DLINTARA_BUILD_TESTS=OFF -DLINTARA_WERROR=ON -DLINTARA_DPKG_BUILDFLAGS=ON
  cmake --build "${build}" --target lintara_packaged_programs -j2
  (cd "${build}" && rm -f ./*.deb && cpack -G DEB)
}

# lint <package>...: lintian's errors and warnings fail the step. So do the
# informational tags that say a binary lacks Debian's hardening or keeps the
# compiler's .comment, which the packages are built to avoid.
lint() {
  local report status=0
  report=$(lintian --display-info --show-overrides "$@" 2>&1) || status=$?
  printf '%s\n' "${report}" | grep -v '^running with root privileges' || true
  if ((status != 0)) || grep -E '^[EW]: |hardening-|binary-has-unneeded-section' <<<"${report}" >/dev/null; then
    fail "lintian is not clean (exit status ${status})"
  fi
}

# no_test_code <build>: a shipped program holds no test code. The test hooks
# live in namespaces named testing, in sources that only the test builds link
# (Lintara/platform/glib/ProgramHooks.hpp), and a build without tests defines
# no test build at all.
testing_symbols='lintara::[A-Za-z_:]*[Tt]esting'
no_test_code() {
  local build=$1 program found
  for program in "${build}"/Lintara/platform/terminal/lintara-term "${build}"/Lintara/platform/gtk/lintara; do
    [[ -e ${program} ]] || continue
    found=$(nm -C --defined-only "${program}" | grep -E "${testing_symbols}" || true)
    if [[ -n ${found} ]]; then
      printf '%s\n' "${found}" | head -20
      fail "${program} holds test code"
    fi
  done
  if cmake --build "${build}" --target help | grep -E -- '-testing\b'; then
    fail "a build without tests defines a test build"
  fi
}
# The pattern must find the hooks in a test build, or it proves nothing. The
# suite's build (20-test.sh) is there in CI.
for program in build/dev/Lintara/platform/terminal/lintara-term-testing build/dev/Lintara/platform/gtk/lintara-testing; do
  # Not grep -q: stopping at the first match would fail nm, and so the pipe.
  if [[ -e ${program} ]] && ! nm -C --defined-only "${program}" | grep -E "${testing_symbols}" >/dev/null; then
    fail "no symbol of ${program} matches ${testing_symbols}; the check of the release programs has lost its teeth"
  fi
done

build=build/deb
package "${build}"
no_test_code "${build}"
term_deb=$(ls "${build}"/lintara-term_*.deb)
tray_deb=$(ls "${build}"/lintara_*.deb)
for deb in "${term_deb}" "${tray_deb}"; do
  echo "::: ${deb}"
  dpkg-deb --field "${deb}"
  dpkg-deb --contents "${deb}" | awk '{print $1, $3, $6}'
done

# lintara-term must install on a machine without a desktop.
if dpkg-deb --field "${term_deb}" Depends | grep -iE 'gtk|ayatana|appindicator'; then
  fail "lintara-term depends on the desktop's libraries"
fi
dpkg-deb --field "${tray_deb}" Depends | grep -q "lintara-term (= $(dpkg-deb --field "${term_deb}" Version))" ||
  fail "lintara does not depend on its own version of lintara-term"

lint "${term_deb}" "${tray_deb}"

unpacked=${build}/unpacked
rm -rf "${unpacked}"
dpkg-deb --extract "${tray_deb}" "${unpacked}"
desktop-file-validate "${unpacked}/usr/share/applications/io.lintara.Lintara.desktop"
appstreamcli validate --no-net "${unpacked}/usr/share/metainfo/io.lintara.Lintara.metainfo.xml"

# Without GTK: hide its pkg-config file (and so the indicator's, which needs
# it) behind a directory that holds every other one.
no_gtk=build/deb-no-gtk
pc_dir=$(mktemp -d)
IFS=: read -ra pc_path <<<"$(pkg-config --variable pc_path pkg-config)"
for dir in "${pc_path[@]}"; do
  for pc in "${dir}"/*.pc; do
    name=${pc##*/}
    if [[ -e ${pc} && ${name} != gtk+-3.0.pc && ! -e ${pc_dir}/${name} ]]; then
      ln -s "${pc}" "${pc_dir}/${name}"
    fi
  done
done
rm -rf "${no_gtk}"
PKG_CONFIG_LIBDIR=${pc_dir} package "${no_gtk}"
no_test_code "${no_gtk}"
rm -rf "${pc_dir}"
[[ ! -e ${no_gtk}/Lintara/platform/gtk/lintara ]] || fail "the build without GTK still built the tray"
ls "${no_gtk}"/lintara-term_*.deb
if ls "${no_gtk}"/lintara_*.deb 2>/dev/null; then
  fail "the build without GTK still packaged the tray"
fi
lint "${no_gtk}"/lintara-term_*.deb

apt-get install -y --no-install-recommends "./${term_deb}" "./${tray_deb}"

/usr/bin/python3 tests/gtk/test_tray.py installed_smoke --binary /usr/bin/lintara --artefacts "${build}/artefacts"
/usr/bin/python3 tests/gtk/test_tray.py no_display --binary /usr/bin/lintara --artefacts "${build}/artefacts"

# lintara-term in tmux, in a private home: wait for its title and menu,
# quit with q, and read its exit status.
root=$(mktemp -d)
mkdir -m 700 "${root}/home" "${root}/config" "${root}/runtime"
term=(env -i PATH=/usr/bin:/bin HOME="${root}/home" XDG_CONFIG_HOME="${root}/config"
  XDG_RUNTIME_DIR="${root}/runtime" LANG=C.UTF-8 TERM=screen
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=${root}/no-bus"
  tmux -S "${root}/tmux.sock" -f /dev/null)
"${term[@]}" new-session -d -x 80 -y 24 'lintara-term; echo "EXIT=$?"; exec sleep 600'
wait_for_screen() {
  local pattern=$1 screen=""
  for _ in $(seq 300); do
    screen=$("${term[@]}" capture-pane -p)
    if grep -qE "${pattern}" <<<"${screen}"; then
      return 0
    fi
    sleep 0.1
  done
  printf '%s\n' "${screen}"
  "${term[@]}" kill-server
  fail "lintara-term never showed ${pattern}"
}
wait_for_screen '^VPN '
wait_for_screen '종료'
"${term[@]}" capture-pane -p
"${term[@]}" send-keys q
wait_for_screen '^EXIT=0$'
"${term[@]}" kill-server
rm -rf "${root}"

apt-get purge -y lintara lintara-term
[[ ! -e /usr/bin/lintara && ! -e /usr/bin/lintara-term ]] || fail "removing the packages left their programs"
