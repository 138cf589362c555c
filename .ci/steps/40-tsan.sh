#!/usr/bin/env bash
# The tests that use threads (label `threads`) under ThreadSanitizer: the
# process runner, the thread queues and the controller running the fake tool.
set -euo pipefail
cmake --workflow --preset tsan
