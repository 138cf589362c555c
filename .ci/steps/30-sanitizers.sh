#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cmake --workflow --preset asan
