#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures lintara-term at rest: CPU time and memory over a stretch of
# minutes (5 unless given), with the VPN tool polled every five seconds as
# usual. Runs the program in a private tmux server with its own HOME and XDG
# directories, so it touches nothing of yours.
#
#   tests/terminal/measure-idle.sh BUILD_DIR [SECONDS]
#
# BUILD_DIR must hold a lintara-term built against the fake tool, e.g.
#   cmake -S . -B build/measure -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
#         -DLINTARA_BUILD_TESTS=OFF -DLINTARA_VPN_PATH="$PWD/build/measure/tools/fake-vpn/fake-vpn"
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-300}
program="$build/Lintara/platform/terminal/lintara-term"
root=$(mktemp -d)
trap 'tmux -S "$root/sock" kill-server 2>/dev/null || true; rm -rf "$root"' EXIT
mkdir -m 700 "$root/home" "$root/config" "$root/runtime"

tmux -S "$root/sock" -f /dev/null new-session -d -x 100 -y 40 \
  env -i PATH=/usr/bin:/bin HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/runtime" \
  LANG=ko_KR.UTF-8 TERM=screen DBUS_SYSTEM_BUS_ADDRESS="unix:path=$root/no-bus" "$program"

# Wait for the lock file to name the process, for up to 30 s.
for _ in $(seq 300); do
  pid=$(cat "$root/runtime/lintara.lock" 2>/dev/null || true)
  [[ -n "$pid" ]] && break
  sleep 0.1
done
[[ -n "${pid:-}" ]] || { echo "lintara-term did not start" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
# Fields 14-17 of /proc/PID/stat: utime, stime, cutime, cstime (in ticks).
cpu() { awk '{ print $14 + $15, $16 + $17 }' "/proc/$pid/stat"; }
sleep 5 # let start-up settle before measuring rest
read -r own0 children0 < <(cpu)
start=$(date +%s.%N)
sleep "$seconds"
read -r own1 children1 < <(cpu)
end=$(date +%s.%N)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
threads=$(awk '/^Threads/ { print $2 }' "/proc/$pid/status")
awk -v own=$((own1 - own0)) -v children=$((children1 - children0)) -v hz="$ticks" -v t0="$start" -v t1="$end" \
  -v rss="$rss" -v peak="$peak" -v threads="$threads" 'BEGIN {
    wall = t1 - t0
    printf "over %.0f s: lintara-term %.2f s CPU (%.3f%%), its VPN tool runs %.2f s CPU (%.3f%%)\n",
      wall, own / hz, 100 * own / hz / wall, children / hz, 100 * children / hz / wall
    printf "memory: RSS %d KiB now, %d KiB at most; %d threads\n", rss, peak, threads
  }'
