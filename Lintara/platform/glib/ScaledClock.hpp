// SPDX-License-Identifier: MIT
// A clock that runs faster than the wall clock, for the test builds of the
// Linux front ends: an end-to-end test then sees minutes of a countdown pass
// in seconds. The rate comes from LINTARA_TESTING_CLOCK_SCALE; the programs
// people run have no such knob.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstdlib>
#include <string>

namespace lintara::glib {

class ScaledClock final : public Clock {
public:
    ScaledClock(Clock& clock, double scale)
        : clock_(clock)
        , scale_(scale)
        , start_(clock.now())
    {
    }
    Date now() override
    {
        const double elapsed = clock_.now().timeIntervalSince(start_);
        return start_.addingTimeInterval(elapsed * scale_);
    }
    std::string shortTimeString(Date date) override { return clock_.shortTimeString(date); }

private:
    Clock& clock_;
    double scale_;
    Date start_;
};

inline double testingClockScale()
{
    const char* text = std::getenv("LINTARA_TESTING_CLOCK_SCALE");
    const double scale = text != nullptr ? std::strtod(text, nullptr) : 1.0;
    return scale > 0 ? scale : 1.0;
}

} // namespace lintara::glib
