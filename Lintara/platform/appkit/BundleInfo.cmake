# SPDX-License-Identifier: MIT
# What Lintara.app says about itself in its Info.plist. Shared by the build and
# by the CI check that renders the template, so the two cannot drift apart.
# The caller sets LINTARA_BUNDLE_VERSION.
#
# The identifier is also the name of the user-defaults domain the two
# preferences are kept in (~/Library/Preferences/<identifier>.plist).
set(LINTARA_BUNDLE_IDENTIFIER "com.lintara.Lintara")
set(LINTARA_BUNDLE_NAME "Lintara")
set(LINTARA_BUNDLE_EXECUTABLE "Lintara")
set(LINTARA_BUNDLE_ICON "Lintara")
# macOS 11 is the oldest system whose SDK declares every call the binding makes
# (the status item's button, NSControlStateValueOn, the QoS classes) and that
# runs on both Intel and Apple silicon. The top-level CMakeLists.txt builds for
# it too (CMAKE_OSX_DEPLOYMENT_TARGET).
set(LINTARA_BUNDLE_MINIMUM_SYSTEM "11.0")
