#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installer under Wine, in a prefix of its own: a silent per-user install
# puts the program, its Start-menu entry and its uninstall entry in place and
# leaves the login entry off unless asked; a reinstall without
# /STARTATLOGIN takes an earlier login entry away; the uninstaller removes
# all of it.
set -euo pipefail
setup=$1
built=$2
wine=${LINTARA_WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all WINEPREFIX
WINEPREFIX=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "${WINEPREFIX}"' EXIT
PATH=/usr/lib/wine:${PATH}

user=$(id -un)
home="${WINEPREFIX}/drive_c/users/${user}"
dir="${home}/AppData/Local/Programs/Lintara"
link="${home}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Lintara.lnk"
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lintara'

fail() { echo "FAIL: $*" >&2; exit 1; }
has_value() { "${wine}" reg query "$1" /v "$2" >/dev/null 2>&1; }
has_key() { "${wine}" reg query "$1" >/dev/null 2>&1; }

"${wine}" "${setup}" /S
[[ -f "${dir}/lintara.exe" && -f "${dir}/uninstall.exe" && -f "${dir}/LICENSE.txt" ]] ||
  fail "program files missing after install: $(ls "${dir}" 2>&1)"
[[ -f "${link}" ]] || fail "no Start-menu entry"
has_key "${uninstall}" || fail "no uninstall entry"
! has_value "${run}" Lintara || fail "login entry made without being asked for"
cmp -s "${dir}/lintara.exe" "${built}" ||
  fail "installed lintara.exe differs from the one built"

"${wine}" "${setup}" /S /STARTATLOGIN
"${wine}" reg query "${run}" /v Lintara | tr -d '\r' | grep -qF "\\Programs\\Lintara\\lintara.exe\"" ||
  fail "login entry missing or wrong: $("${wine}" reg query "${run}" /v Lintara 2>&1)"
"${wine}" "${setup}" /S
! has_value "${run}" Lintara || fail "a reinstall without the option kept the login entry"
"${wine}" "${setup}" /S /STARTATLOGIN

# The uninstaller copies itself away and returns at once; wait for its work.
"${wine}" "${dir}/uninstall.exe" /S
for _ in $(seq 120); do
  [[ ! -e "${dir}" ]] && ! has_key "${uninstall}" && break
  sleep 0.5
done
[[ ! -e "${dir}" ]] || fail "install folder left: $(ls "${dir}")"
[[ ! -e "${link}" ]] || fail "Start-menu entry left"
! has_value "${run}" Lintara || fail "login entry left"
! has_key "${uninstall}" || fail "uninstall entry left"
echo "installer: install, login entry on and off, and uninstall all as expected"
