#!/usr/bin/env bash
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cmake --workflow --preset asan
