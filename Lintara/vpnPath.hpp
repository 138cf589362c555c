// SPDX-License-Identifier: MIT
// The path of the VPN tool, fixed when the executable is linked (see
// vpnPath.cpp). There is deliberately no way to change it at run time: a
// run-time override of what gets executed would be a way in.
#pragma once

namespace lintara {

extern const char* const configuredVpnPath;

} // namespace lintara
