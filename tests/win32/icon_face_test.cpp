// SPDX-License-Identifier: MIT
// The notify icon's face must never disagree with the tooltip: it is read
// from the very title the controller sets.
#include "Lintara/platform/win32/IconFace.hpp"
#include "Lintara/text.hpp"

#include <gtest/gtest.h>

namespace lintara::win32 {

TEST(IconFace, ShowsWholeHoursFromAnHourOnAndMinutesBelow)
{
    EXPECT_EQ(iconFace(countdownTitle(7200)), (IconFace { IconKind::countdown, "2h" }));
    EXPECT_EQ(iconFace(countdownTitle(3600)), (IconFace { IconKind::countdown, "1h" }));
    EXPECT_EQ(iconFace(countdownTitle(3599)), (IconFace { IconKind::countdown, "59" }));
    EXPECT_EQ(iconFace(countdownTitle(600)), (IconFace { IconKind::countdown, "10" }));
    EXPECT_EQ(iconFace(countdownTitle(540)), (IconFace { IconKind::countdown, "9" }));
    EXPECT_EQ(iconFace(countdownTitle(59)), (IconFace { IconKind::countdown, "0" }));
    // A week, the longest countdown.
    EXPECT_EQ(iconFace(countdownTitle(604800)), (IconFace { IconKind::countdown, "168h" }));
}

TEST(IconFace, TellsTheIdleAndBusyTitlesApartAndTrustsNothingElse)
{
    EXPECT_EQ(iconFace(idleTitle).kind, IconKind::idle);
    EXPECT_EQ(iconFace(busyTitle).kind, IconKind::busy);
    for (const char* odd : { "", "VPN", "VPN :00:00", "VPN 1:0:00", "VPN 1:00:0x", "VPN 1:00:00 ", "VPN -1:00:00" }) {
        EXPECT_EQ(iconFace(odd), (IconFace { IconKind::idle, "" })) << odd;
    }
}

} // namespace lintara::win32
