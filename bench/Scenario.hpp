// SPDX-License-Identifier: MIT
// The two situations the tick is measured in, set up the same way by the
// benchmarks, the heap check and the instruction count.
#pragma once

#include "LeanPlatform.hpp"
#include "Lintara/Lintara.hpp"

#include <memory>
#include <string>

namespace lintara::bench {

enum class Countdown { none, running };

// What the VPN tool prints for "state", in the shape of its real output.
std::string stateOutput(bool connected);

// A 1 MiB answer: the banner, a flood of notices, and the state at the end.
std::string mebibyteOfOutput();

// A controller on the lean platform, launched and settled: with a countdown a
// week long running, or with the VPN down and none. Ticks move the clock by
// a quarter of a second, so a million of them stay within the week.
struct Scenario {
    explicit Scenario(Countdown countdown);

    // One tick, and whatever it posted to the main queue.
    void tick()
    {
        platform.advance(0.25);
        controller->tick();
        platform.drainMain();
    }

    LeanPlatform platform;
    std::unique_ptr<AppDelegate> controller;
};

} // namespace lintara::bench
