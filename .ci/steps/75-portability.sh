#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Lintara.app links the controller, the POSIX runner and the AppKit binding's
# plain C++ parts; a GNU-only call in them would break the build on a Mac. No
# Mac is at hand, so they are compiled here in a profile without GNU
# extensions: clang with libc++ instead of libstdc++, _GNU_SOURCE undefined
# (g++ and clang++ define it for C++ on glibc), only what _XOPEN_SOURCE=700
# declares, and __linux__ undefined so that the branches written for other
# systems are the ones compiled. The few names glibc hides in this profile
# although macOS has them come from .ci/portability/.
#
# This catches GNU-only functions, GNU result types (strerror_r) and Linux-only
# flags outside their Linux branches. It cannot catch what Apple's SDK lacks
# beyond that, nor its availability annotations; those need a Mac. A probe
# with two GNU-only calls must fail, which proves the profile still bites.
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT

check() {
  clang++ -std=c++20 -stdlib=libc++ -fsyntax-only \
    -U_GNU_SOURCE -D_XOPEN_SOURCE=700 -U__linux__ -U__linux -Ulinux -U__gnu_linux__ \
    -include .ci/portability/PortabilityShim.h \
    -I . -DLINTARA_VPN_PATH='"/opt/cisco/secureclient/bin/vpn"' \
    -Wall -Wextra -Wpedantic -Werror "$@"
}

started=$(date +%s%N)
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- \
  ':(glob)Lintara/*.cpp' ':(glob)Lintara/platform/posix/*.cpp' ':(glob)Lintara/platform/appkit/*.cpp')
if [[ ${#sources[@]} == 0 ]]; then
  echo "No shared C++ files found to check." >&2
  exit 1
fi
failed=0
for source in "${sources[@]}"; do
  echo "checking ${source}"
  check "${source}" || failed=1
done
if [[ ${failed} != 0 ]]; then
  echo "Shared code uses something macOS lacks; keep it in an #if defined(__linux__) branch." >&2
  exit 1
fi

cat >"${work}/probe.cpp" <<'PROBE'
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
int probePipe(int* ends) { return ::pipe2(ends, O_CLOEXEC); }
const char* probeError(int error, char* buffer) { return ::strerror_r(error, buffer, 64); }
PROBE
if check "${work}/probe.cpp" 2>"${work}/probe.log"; then
  echo "The check accepted pipe2 and the GNU strerror_r; it has lost its teeth." >&2
  exit 1
fi
if ! grep -q "'pipe2'" "${work}/probe.log" || ! grep -q 'probe.cpp:5:.*error' "${work}/probe.log"; then
  echo "The probe failed, but not on both of its GNU-only calls:" >&2
  cat "${work}/probe.log" >&2
  exit 1
fi

elapsed_ms=$((($(date +%s%N) - started) / 1000000))
echo "Portability check: ${#sources[@]} shared file(s) compiled without GNU extensions in ${elapsed_ms} ms"
