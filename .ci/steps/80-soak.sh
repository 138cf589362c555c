#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One minute of each front end against the fake VPN tool as it cycles through
# connected, disconnected, unreadable, hanging and flooding, with real
# disconnects. Only bounds that cannot be flaky are checked: no descriptor
# growth, no lasting zombie, no child left after quitting, a clean exit, and
# memory grown within generous bounds (see bench/soak). Then a minute of each
# at rest, where the polls alone must not keep starting threads. Uses the
# test build made by 20-test.sh.
#
# The four runs mostly wait on their worlds' clocks, and each world is private
# (home, XDG folders, the tool's files, X server and buses), so they run side
# by side: the step takes about one run's time instead of four. None of the
# bounds depends on the processor being idle. Each run's report goes to a file
# of its own and is printed whole, in a fixed order, once all have ended.
set -euo pipefail
build=${LINTARA_SOAK_BUILD:-build/dev}
cmake --build "${build}" -j2 --target lintara-term-testing lintara-testing fake-vpn

reports=$(mktemp -d)
trap 'rm -rf "${reports}"' EXIT
runs=()
pids=()
for front_end in term tray; do
  for mode in faults idle; do
    name=${front_end}-${mode}
    extra=()
    if [[ ${mode} == idle ]]; then
      extra=(--idle)
    fi
    /usr/bin/python3 bench/soak --build "${build}" --minutes 1 --front-end "${front_end}" --check "${extra[@]}" \
      >"${reports}/${name}.log" 2>&1 &
    runs+=("${name}")
    pids+=($!)
  done
done

failed=()
for i in "${!runs[@]}"; do
  status=0
  wait "${pids[i]}" || status=$?
  echo "::: bench/soak ${runs[i]}: exit status ${status}"
  cat "${reports}/${runs[i]}.log"
  ((status == 0)) || failed+=("${runs[i]}")
done
if [[ ${#failed[@]} != 0 ]]; then
  echo "80-soak: failed: ${failed[*]}" >&2
  exit 1
fi
