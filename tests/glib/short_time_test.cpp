// SPDX-License-Identifier: MIT
#include "Lintara/platform/glib/IcuClock.hpp"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <unistd.h>

using namespace lintara;
using lintara::glib::IcuClock;
using lintara::glib::timeLocaleName;
using lintara::glib::unixTimeOfReferenceDate;

namespace {
// 2026-03-05 06:04:30 UTC, which is 15:04 in Seoul and 07:04 in Berlin.
constexpr double unixTime = 1772690670.0;
const Date instant { unixTime - unixTimeOfReferenceDate };

std::string shortTime(const char* zone, const char* locale)
{
    setenv("TZ", zone, 1);
    IcuClock clock(locale);
    return clock.shortTimeString(instant);
}
} // namespace

TEST(ShortTime, FollowsTheLocaleAndTheTimeZone)
{
    EXPECT_EQ(shortTime("Asia/Seoul", "ko_KR"), "오후 3:04");
    // ICU 72 puts a narrow no-break space (U+202F) before the day period.
    EXPECT_EQ(shortTime("Asia/Seoul", "en_US"), "3:04\u202FPM");
    EXPECT_EQ(shortTime("Asia/Seoul", "de_DE"), "15:04");
    EXPECT_EQ(shortTime("Europe/Berlin", "de_DE"), "07:04");
    EXPECT_EQ(shortTime("Europe/Berlin", "ko_KR"), "오전 7:04");
    EXPECT_EQ(shortTime("UTC", "en_US_POSIX"), "6:04\u202FAM");
    // Seconds never show: 06:04:30 is still 6:04, not rounded up.
    EXPECT_EQ(shortTime("UTC", "de_DE"), "06:04");
    unsetenv("TZ");
}

TEST(ShortTime, NowIsTheWallClockFromTheReferenceDate)
{
    IcuClock clock("en_US");
    const double expected = static_cast<double>(g_get_real_time()) / 1e6 - unixTimeOfReferenceDate;
    EXPECT_NEAR(clock.now().timeIntervalSinceReferenceDate, expected, 5.0);
}

TEST(ShortTime, LocaleComesFromLcAllThenLcTimeThenLang)
{
    const auto from = [](std::map<std::string, std::string> environment) {
        return timeLocaleName([&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        });
    };
    EXPECT_EQ(from({ { "LANG", "ko_KR.UTF-8" } }), "ko_KR");
    EXPECT_EQ(from({ { "LANG", "ko_KR.UTF-8" }, { "LC_TIME", "de_DE.utf8" } }), "de_DE");
    EXPECT_EQ(from({ { "LANG", "ko_KR.UTF-8" }, { "LC_TIME", "de_DE.utf8" }, { "LC_ALL", "en_US.UTF-8" } }), "en_US");
    // An empty variable counts as unset, as in the C library.
    EXPECT_EQ(from({ { "LANG", "ko_KR.UTF-8" }, { "LC_ALL", "" } }), "ko_KR");
    EXPECT_EQ(from({ { "LANG", "de_DE.UTF-8@euro" } }), "de_DE");
    EXPECT_EQ(from({ { "LANG", "C.UTF-8" } }), "en_US_POSIX");
    EXPECT_EQ(from({ { "LC_ALL", "POSIX" } }), "en_US_POSIX");
    EXPECT_EQ(from({}), "en_US_POSIX");
}

TEST(ShortTime, ABogusLocaleNameFallsBackToTheRootLocale)
{
    // Names ICU cannot make a locale of, as they come from the environment.
    // The root locale's short time is a 24-hour "HH:mm".
    setenv("TZ", "UTC", 1);
    for (const auto& [variable, value] : std::map<std::string, std::string> {
             { "LANG", "aaaaaaaaaaaa" }, { "LC_TIME", "toolonglanguage.UTF-8" }, { "LC_ALL", "123456789012" } }) {
        const std::string name
            = timeLocaleName([&](const char* asked) { return asked == variable ? value.c_str() : nullptr; });
        EXPECT_EQ(IcuClock(name).shortTimeString(instant), "06:04") << variable << "=" << value;
    }
    unsetenv("TZ");
}

TEST(ShortTime, FollowsATimeZoneChangeAtTheNextCall)
{
    gchar* made = g_dir_make_tmp("lintara-zone-XXXXXX", nullptr);
    const std::string directory = made;
    g_free(made);
    const std::string localtime = directory + "/localtime";
    // As timedatectl does it: a new link renamed over the old one. The
    // targets need not exist; the zone is named by the link.
    const auto link = [&](const char* zone) {
        const std::string next = localtime + ".new";
        ASSERT_EQ(symlink((std::string("../usr/share/zoneinfo/") + zone).c_str(), next.c_str()), 0);
        ASSERT_EQ(std::rename(next.c_str(), localtime.c_str()), 0);
    };

    setenv("TZ", "Asia/Seoul", 1);
    IcuClock clock("de_DE", localtime);
    EXPECT_EQ(clock.shortTimeString(instant), "15:04");
    setenv("TZ", "Europe/Berlin", 1);
    EXPECT_EQ(clock.shortTimeString(instant), "07:04");

    // Without TZ, the host's zone.
    link("Asia/Seoul");
    unsetenv("TZ");
    EXPECT_EQ(clock.shortTimeString(instant), "15:04");
    link("Europe/Berlin");
    EXPECT_EQ(clock.shortTimeString(instant), "07:04");
    link("Asia/Seoul");
    EXPECT_EQ(clock.shortTimeString(instant), "15:04");

    std::remove(localtime.c_str());
    g_rmdir(directory.c_str());
}
