#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# lintara.exe and its tests, cross-built with mingw-w64 and run under Wine:
# the controller's unit tests and the Windows binding's own (the runner
# against the fake tool built as vpncli.exe, the registry, the clock), the
# installer, and lintara-testing.exe end to end, each of those on a private X
# server of its own.
#
# Wine keeps its prefix in the build folder (see the toolchain file). It is
# made here, once, before anything else starts Wine, so that the first test
# does not pay for it against its time limit, and so that a broken Wine fails
# here with its own message rather than as a test timeout.
set -euo pipefail
cd "$(dirname "$0")/../.."

started=$SECONDS
prefix="${PWD}/build/windows/wineprefix"
mkdir -p "${prefix}"
export WINEPREFIX="${prefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# A Wine server left from an earlier run of this prefix, if any, goes first.
"${wineserver}" -k 2>/dev/null || true
timeout 300 "${wine}" wineboot -i
"${wineserver}" -w
echo "85-windows: Wine prefix ready in $((SECONDS - started)) s"

status=0
cmake --workflow --preset windows || status=$?
# Nothing of Wine outlives the step.
"${wineserver}" -k 2>/dev/null || true

# Once the tray half of the binding is in the tree, the build must have made
# the program itself.
if [[ ${status} == 0 && -f Lintara/platform/win32/main.cpp ]] && [[ -z $(find build/windows -name lintara.exe) ]]; then
  echo "85-windows: the build made no lintara.exe" >&2
  status=1
fi
echo "85-windows: done in $((SECONDS - started)) s"
exit "${status}"
