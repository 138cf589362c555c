// SPDX-License-Identifier: MIT
// Compiled into each executable on its own, so that a test build can point the
// same controller at a fake tool without a second build of everything else.
#include "vpnPath.hpp"

#ifndef LINTARA_VPN_PATH
#error "LINTARA_VPN_PATH must name the VPN tool"
#endif

namespace lintara {
const char* const configuredVpnPath = LINTARA_VPN_PATH;
} // namespace lintara
