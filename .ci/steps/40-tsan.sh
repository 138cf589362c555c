#!/usr/bin/env bash
# The POSIX runner, the thread queues and the controller running the fake tool
# (ctest label `threads`) under ThreadSanitizer. Only their test executable and
# the fake tool are built, so the step stays short; 80-tsan.sh adds the other
# bindings' threaded tests.
set -euo pipefail
cmake --preset tsan >/dev/null
cmake --build build/tsan -j2 --target lintara_posix_tests --target fake-vpn
ctest --preset tsan -R '^(Runner|Dispatch|Controller)'
