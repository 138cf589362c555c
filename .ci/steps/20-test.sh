#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's test command: build everything and run every test.
set -euo pipefail
cmake --workflow --preset test
