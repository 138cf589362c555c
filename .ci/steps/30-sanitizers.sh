#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer:
# `cmake --workflow --preset asan`, with the tests split as in 20-test.sh.
set -euo pipefail
cmake --preset asan
cmake --build --preset asan
.ci/ctest-beside asan
