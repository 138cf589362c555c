#!/usr/bin/env bash
# The tests that run real threads (label `threads`: the process runner, the
# thread queues, the GLib main queue) under ThreadSanitizer, with no
# suppressions. Only their executables are built, to keep the step short.
set -euo pipefail
cmake --preset tsan >/dev/null
targets=()
for target in lintara_posix_tests lintara_glib_tests; do
  if cmake --build build/tsan --target help | grep -q "^${target}:"; then
    targets+=(--target "${target}")
  fi
done
cmake --build build/tsan -j2 "${targets[@]}"
ctest --preset tsan
