#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The AppKit binding cannot be built here, but its Objective-C++ can be parsed
# and type-checked, under ARC, against GNUstep's AppKit and Foundation. That
# catches misspelt selectors, wrong argument types, C++ errors and ARC
# violations. It cannot catch availability or deprecation, nullability,
# linking, the bundle, or anything at run time; those need a Mac.
#
# Besides the binding's files, the Info.plist template is rendered and
# checked, and a probe with a broken selector must fail, which proves that
# the check still has teeth.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
shim=$root/.ci/gnustep

started=$(date +%s%N)

# gnustep-config prints nothing, and still exits 0, when make is missing.
objc_flags=$(gnustep-config --objc-flags)
if [[ -z "${objc_flags}" ]]; then
  echo "gnustep-config --objc-flags printed nothing; is make installed?" >&2
  exit 1
fi

# GNUstep's include folders become system folders, so that only our own code
# is held to -Werror; dependency output (-MMD -MP) and the relative -I. go.
flags=()
for flag in ${objc_flags}; do
  case ${flag} in
    -MMD | -MP | -I.) ;;
    -I*) flags+=(-isystem "${flag#-I}") ;;
    *) flags+=("${flag}") ;;
  esac
done

gcc_include=$(gcc -print-file-name=include)
work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT

# GCC's objc/runtime.h reads an object's class through a plain dereference of
# an id, which ARC forbids. A patched copy, put first on the path, makes the
# cast explicit. If GCC's header changes, the patch must be redone by hand.
# The whole folder is copied, since runtime.h includes its siblings by
# relative name.
mkdir -p "${work}/patched"
cp -r "${gcc_include}/objc" "${work}/patched/objc"
original_line='    return object->class_pointer;'
patched_line='    return ((struct objc_object *)(__bridge void *)object)->class_pointer;'
if [[ $(grep -cxF -- "${original_line}" "${gcc_include}/objc/runtime.h") != 1 ]]; then
  echo "The ARC patch of ${gcc_include}/objc/runtime.h no longer applies:" >&2
  echo "expected exactly one line '${original_line}'." >&2
  exit 1
fi
awk -v from="${original_line}" -v to="${patched_line}" '$0 == from { print to; next } { print }' \
  "${gcc_include}/objc/runtime.h" >"${work}/patched/objc/runtime.h.new"
mv "${work}/patched/objc/runtime.h.new" "${work}/patched/objc/runtime.h"

# The warnings are those of the real build (lintara_warnings) plus the one
# that turns a misspelt selector into an error.
check() {
  clang++ -std=c++20 -x objective-c++ -fsyntax-only -fblocks -fobjc-runtime=gnustep-2.0 -fobjc-arc \
    "${flags[@]}" \
    -isystem "${work}/patched" -isystem "${shim}/include" \
    -idirafter "${gcc_include}" \
    -I "${root}" -include "${shim}/GNUstepShim.h" \
    -Wall -Wextra -Wpedantic -Werror -Wundeclared-selector \
    "$@"
}

mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.mm')
if [[ ${#sources[@]} == 0 ]]; then
  echo "No Objective-C++ files found to check." >&2
  exit 1
fi
for source in "${sources[@]}"; do
  echo "checking ${source}"
  check "${source}"
done

# A selector that nothing declares must fail the check: without -Werror it
# would only warn, and a misspelt action would pass unnoticed.
cat >"${work}/probe.mm" <<'EOF'
#import <Foundation/Foundation.h>
SEL probe() { return @selector(lintaraNoSuchSelector); }
EOF
if check "${work}/probe.mm" 2>"${work}/probe.log"; then
  echo "The check accepted an undeclared selector; it has lost its teeth." >&2
  exit 1
fi
if ! grep -q 'undeclared selector' "${work}/probe.log"; then
  echo "The probe failed, but not on its undeclared selector:" >&2
  cat "${work}/probe.log" >&2
  exit 1
fi

# The bundle's Info.plist, rendered as the build renders it, must be
# well-formed and carry the keys that make Lintara a menu-bar-only app with
# its own defaults domain and icon.
version=$(sed -n 's/^project(Lintara VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake -D "template=${root}/Lintara/platform/appkit/Info.plist.in" -D "output=${work}/Info.plist" \
  -D "version=${version}" -P "${root}/Lintara/platform/appkit/RenderInfoPlist.cmake"
xmllint --noout "${work}/Info.plist"
# Prints "<element>:<text>" for the value that follows a key: "true:" for
# <true/>, "string:Lintara" for <string>Lintara</string>.
plist_value() {
  local value="/plist/dict/key[.='$1']/following-sibling::*[1]"
  printf '%s:%s\n' "$(xmllint --xpath "name(${value})" "${work}/Info.plist")" \
    "$(xmllint --xpath "string(${value})" "${work}/Info.plist")"
}
expect() {
  local actual
  actual=$(plist_value "$1")
  if [[ ${actual} != "$2" ]]; then
    echo "Info.plist: $1 is '${actual}', expected '$2'" >&2
    exit 1
  fi
}
expect LSUIElement 'true:'
expect NSHighResolutionCapable 'true:'
expect CFBundleIdentifier 'string:com.lintara.Lintara'
expect CFBundleExecutable 'string:Lintara'
expect CFBundleIconFile 'string:Lintara'
expect CFBundlePackageType 'string:APPL'
# The URL scheme for scripts: lintara://start?minutes=N, lintara://cancel.
schemes="/plist/dict/key[.='CFBundleURLTypes']/following-sibling::array[1]/dict/key[.='CFBundleURLSchemes']"
if [[ $(xmllint --xpath "string(${schemes}/following-sibling::array[1]/string)" "${work}/Info.plist") != lintara ]]; then
  echo "Info.plist: CFBundleURLTypes does not register the scheme lintara" >&2
  exit 1
fi
if ! plist_value CFBundleShortVersionString | grep -Eq '^string:[0-9]+\.[0-9]+\.[0-9]+$'; then
  echo "Info.plist: CFBundleShortVersionString is not a version" >&2
  exit 1
fi

elapsed_ms=$((($(date +%s%N) - started) / 1000000))
echo "AppKit syntax check: ${#sources[@]} file(s) and the Info.plist passed in ${elapsed_ms} ms"
