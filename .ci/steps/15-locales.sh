#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The short-time tests and the terminal's width handling run under Korean,
# American English and German locales; a fresh machine has none of them.
set -euo pipefail
for name in ko_KR en_US de_DE; do
  if ! locale -a 2>/dev/null | grep -qix "${name}.utf-\?8"; then
    localedef -i "${name}" -c -f UTF-8 -A /usr/share/locale/locale.alias "${name}.UTF-8"
  fi
done
locale -a
