// SPDX-License-Identifier: MIT
#include "Scenario.hpp"

#include <cstdio>
#include <cstdlib>

namespace lintara::bench {

std::string stateOutput(bool connected)
{
    const char* state = connected ? "  >> state: Connected\n" : "  >> state: Disconnected\n";
    std::string text = "Cisco AnyConnect Secure Mobility Client (version 4.10.04071) .\n\n"
                       "Copyright (c) 2004 - 2021 Cisco Systems, Inc.  All Rights Reserved.\n\n\n";
    for (int i = 0; i < 3; ++i) {
        text += state;
    }
    text += "  >> registered with local VPN subsystem.\nVPN>\n";
    return text;
}

std::string mebibyteOfOutput()
{
    std::string text = stateOutput(false);
    const std::string notice = "  >> notice: Connection statistics follow, please wait...\n";
    const std::string last = "  >> state: Connected\nVPN>\n";
    while (text.size() + notice.size() + last.size() <= (std::size_t { 1 } << 20)) {
        text += notice;
    }
    text.append((std::size_t { 1 } << 20) - text.size() - last.size(), ' ');
    return text + last;
}

Scenario::Scenario(Countdown countdown)
    : platform(stateOutput(countdown == Countdown::running))
{
    platform.setInteger(7 * 24 * 60, "durationMinutes");
    platform.setBool(true, "automatic");
    controller = std::make_unique<AppDelegate>(platform.platform());
    controller->applicationDidFinishLaunching();
    platform.drainMain();
    const AppDelegate::Snapshot fields = controller->snapshot();
    if (fields.deadline.has_value() != (countdown == Countdown::running) || fields.polling) {
        std::fputs("lintara bench: the controller did not settle as expected\n", stderr);
        std::abort();
    }
}

} // namespace lintara::bench
