#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every fuzz target for a short fixed time, after its kept inputs (the seeds,
# the real captures of the VPN tool and past failures) have run once each.
#
# Each fuzzer is one process on one core, so two run at a time, one per core
# of the CI machine; each still gets its full time. Each lane's report goes to
# a file and is printed whole once both have ended.
set -euo pipefail
build=${LINTARA_FUZZ_BUILD:-build/fuzz}
seconds=${LINTARA_FUZZ_SECONDS:-10}
CC=clang CXX=clang++ cmake -S . -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLINTARA_FUZZ=ON -DLINTARA_WERROR=ON -DLINTARA_BUILD_TESTS=ON >/dev/null
cmake --build "${build}" -j2 --target lintara_fuzzers
ctest --test-dir "${build}" -L fuzz --output-on-failure

# Every target with kept inputs, as fuzz/run finds them, dealt to two lanes.
lanes=("" "")
i=0
for corpus in fuzz/corpus/*/; do
  lanes[i % 2]+=" $(basename "${corpus}")"
  i=$((i + 1))
done
reports=$(mktemp -d)
trap 'rm -rf "${reports}"' EXIT
pids=()
for lane in 0 1; do
  # fuzz/run given no target runs them all, so an empty lane runs nothing.
  if [[ -z ${lanes[lane]} ]]; then
    (exit 0) &
    pids+=($!)
    continue
  fi
  # shellcheck disable=SC2086 # the lane is a list of target names
  fuzz/run "${build}" "${seconds}" ${lanes[lane]} >"${reports}/${lane}.log" 2>&1 &
  pids+=($!)
done
failed=0
for lane in 0 1; do
  status=0
  wait "${pids[lane]}" || status=$?
  echo "::: fuzz/run${lanes[lane]}: exit status ${status}"
  cat "${reports}/${lane}.log"
  ((status == 0)) || failed=1
done
exit "${failed}"
