#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tests that run real threads (label `threads`: the process runner, the
# thread queues, the GLib main queue, two thousand polls of the fake tool
# through the real runner, and lintara-term end to end) under
# ThreadSanitizer. Only the end-to-end run has suppressions, for the
# uninstrumented GLib libraries; tests/tsan.supp says why. Only the
# executables these tests need are built, to keep the step short, and the
# tests that wait out a countdown run beside the others (.ci/ctest-beside).
set -euo pipefail
cmake --preset tsan -DLINTARA_BENCH=ON >/dev/null
targets=()
for target in lintara_posix_tests lintara_glib_tests lintara-poll-loop lintara-term-testing lintara-ctl fake-vpn; do
  if cmake --build build/tsan --target help | grep -q "^${target}:"; then
    targets+=(--target "${target}")
  fi
done
cmake --build build/tsan -j2 "${targets[@]}"
.ci/ctest-beside tsan
