// SPDX-License-Identifier: MIT
// A fixed number of ticks inside one function that callgrind can count on its
// own (bench/callgrind-tick runs it): instruction counts repeat exactly, where
// timings on a shared machine do not.
//
//   lintara-one-tick none|running [ticks, default 5]
#include "Scenario.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Not inlined, and with C linkage so that its name does not depend on the
// compiler's mangling: callgrind collects from it alone.
extern "C" __attribute__((noinline)) void lintaraMeasuredTicks(lintara::bench::Scenario* scenario, int ticks)
{
    for (int i = 0; i < ticks; ++i) {
        scenario->tick();
    }
}

int main(int argc, char** argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "none") != 0 && std::strcmp(argv[1], "running") != 0)) {
        std::fputs("usage: lintara-one-tick none|running [ticks]\n", stderr);
        return 2;
    }
    const auto countdown
        = std::strcmp(argv[1], "running") == 0 ? lintara::bench::Countdown::running : lintara::bench::Countdown::none;
    const int ticks = argc > 2 ? std::atoi(argv[2]) : 5;
    lintara::bench::Scenario scenario(countdown);
    // Outside the count: the first ticks size every buffer.
    for (int i = 0; i < 100; ++i) {
        scenario.tick();
    }
    lintaraMeasuredTicks(&scenario, ticks);
    std::printf("%d ticks, title \"%s\"\n", ticks, scenario.platform.title().c_str());
    return 0;
}
