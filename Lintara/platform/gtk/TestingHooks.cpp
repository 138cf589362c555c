// SPDX-License-Identifier: MIT
// What lintara-testing, the test build of lintara, changes in the program
// (see glib/ProgramHooks.hpp); linked into it alone:
//  - its clock may run faster than the wall clock, so that an end-to-end test
//    can see a countdown of minutes end within seconds. The rate comes from
//    LINTARA_TESTING_CLOCK_SCALE; the real lintara has no such knob;
//  - it says on standard error when it listens for wake from login1: tests
//    wait for that line before they announce a wake.
#include "Lintara/platform/glib/ProgramHooks.hpp"
#include "Lintara/platform/glib/ScaledClock.hpp"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace lintara::gtk::testing {

namespace {

    class Hooks final : public glib::ProgramHooks {
    public:
        Clock& clock(Clock& wallClock) override
        {
            scaled_.emplace(wallClock, glib::testingClockScale());
            return *scaled_;
        }
        NotificationCenter& wake(glib::Login1Wake& wake) override
        {
            wake.setOnReady([](const std::string& owner) {
                std::fprintf(stderr, "lintara: listening for wake from %s\n", owner.empty() ? "nobody" : owner.c_str());
            });
            return wake;
        }

    private:
        std::optional<glib::ScaledClock> scaled_;
    };

} // namespace

} // namespace lintara::gtk::testing

lintara::glib::ProgramHooks& lintara::glib::testingHooks()
{
    static gtk::testing::Hooks hooks;
    return hooks;
}
