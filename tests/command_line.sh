#!/bin/sh
# SPDX-License-Identifier: MIT
# The command line of a Lintara program, run with no terminal, no display and
# no session bus: --help, --version, a mistake, and --check against the fake
# VPN tool reading connected, then unreadable.
#     command_line.sh PROGRAM NAME VERSION VPN_PATH
set -u
program=$1 name=$2 version=$3 vpn_path=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 passes=0

# run ARGS...: the program with nothing around it; sets $status, and leaves
# its output in $work/out and $work/err.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    LINTARA_FAKE_VPN_STATE_FILE="$work/state" LINTARA_FAKE_VPN_LOG="$work/log" \
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" \
    "$program" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}

# expect CASE STATUS STREAM TEXT...: the last run exited with STATUS and its
# STREAM (out or err) holds each TEXT.
expect() {
  what=$1 wanted=$2 stream=$3
  shift 3
  ok=1
  [ "$status" -eq "$wanted" ] || { echo "FAIL $what: exit status $status, not $wanted"; ok=0; }
  for text in "$@"; do
    grep -qF -- "$text" "$work/$stream" || { echo "FAIL $what: no '$text' in standard $stream"; ok=0; }
  done
  if [ $ok -eq 1 ]; then passes=$((passes + 1)); else
    failures=$((failures + 1))
    sed 's/^/  out: /' "$work/out"
    sed 's/^/  err: /' "$work/err"
  fi
}

run --help
expect "--help" 0 out "Usage:" "$name [OPTION" "--version" "--check"
run --version
expect "--version" 0 out "$name $version" "VPN tool: $vpn_path"
run --no-such-option
expect "an unknown option" 2 err "--no-such-option" "Usage:" "--check"
[ -s "$work/out" ] && { echo "FAIL an unknown option: it wrote to standard output"; failures=$((failures + 1)); }
run stray-argument
expect "an argument" 2 err "stray-argument" "Usage:"

printf 'Connected\n' >"$work/state"
run --check
expect "--check, connected" 0 out "VPN tool: $vpn_path" "exit status: 0" "state: connected" ">> state: Connected"
LINTARA_FAKE_VPN_FAULTS="no-state,exit=3"
export LINTARA_FAKE_VPN_FAULTS
run --check
expect "--check, unreadable" 1 out "exit status: 3" "state: unreadable"
# Two MiB after the state line: the state is read from all of it, the lines
# shown from the end that is kept.
LINTARA_FAKE_VPN_FAULTS="flood=2"
run --check
expect "--check, a flood" 0 out "state: connected" "(last 20 lines of " "Connection statistics follow"
unset LINTARA_FAKE_VPN_FAULTS
count=$(grep -c '^state' "$work/log" 2>/dev/null)
[ "${count:-0}" -eq 3 ] || { echo "FAIL --check: not one run of the tool per check"; failures=$((failures + 1)); }

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
