#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's test command, `cmake --workflow --preset test`, in its three
# parts: configure, build everything, and run every test. The tests that wait
# out a countdown run beside the rest instead of holding two of its places for
# a minute each (.ci/ctest-beside checks that the two halves are the suite).
set -euo pipefail
cmake --preset dev
cmake --build --preset dev
.ci/ctest-beside dev
