#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tree must already be formatted: format it, then fail on any change.
set -euo pipefail
git ls-files -z '*.cpp' '*.hpp' '*.h' '*.mm' | xargs -0 --no-run-if-empty clang-format -i
git diff --exit-code
