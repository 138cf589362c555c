#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every fuzz target for a short fixed time, after its kept inputs (the seeds,
# the real captures of the VPN tool and past failures) have run once each.
set -euo pipefail
build=${LINTARA_FUZZ_BUILD:-build/fuzz}
CC=clang CXX=clang++ cmake -S . -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLINTARA_FUZZ=ON -DLINTARA_WERROR=ON -DLINTARA_BUILD_TESTS=ON >/dev/null
cmake --build "${build}" -j2 --target lintara_fuzzers
ctest --test-dir "${build}" -L fuzz --output-on-failure
fuzz/run "${build}" "${LINTARA_FUZZ_SECONDS:-10}"
