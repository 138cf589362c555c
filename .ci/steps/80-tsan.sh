#!/usr/bin/env bash
# The tests that run real threads (label `threads`: the process runner, the
# thread queues, the GLib main queue, and two thousand polls of the fake tool
# through the real runner) under ThreadSanitizer, with no suppressions. Only
# their executables are built, to keep the step short.
set -euo pipefail
cmake --preset tsan -DLINTARA_BENCH=ON >/dev/null
targets=()
for target in lintara_posix_tests lintara_glib_tests lintara-poll-loop; do
  if cmake --build build/tsan --target help | grep -q "^${target}:"; then
    targets+=(--target "${target}")
  fi
done
cmake --build build/tsan -j2 "${targets[@]}"
ctest --preset tsan
