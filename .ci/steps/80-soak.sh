#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One minute of each front end against the fake VPN tool as it cycles through
# connected, disconnected, unreadable, hanging and flooding, with real
# disconnects. Only bounds that cannot be flaky are checked: no descriptor
# growth, no lasting zombie, no child left after quitting, a clean exit, and
# memory grown within generous bounds (see bench/soak). Then a minute of each
# at rest, where the polls alone must not keep starting threads. Uses the
# test build made by 20-test.sh.
set -euo pipefail
build=${LINTARA_SOAK_BUILD:-build/dev}
cmake --build "${build}" -j2 --target lintara-term-testing lintara-testing fake-vpn
/usr/bin/python3 bench/soak --build "${build}" --minutes 1 --front-end all --check
/usr/bin/python3 bench/soak --build "${build}" --minutes 1 --front-end all --check --idle
