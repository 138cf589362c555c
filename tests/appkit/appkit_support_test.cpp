// SPDX-License-Identifier: MIT
// The AppKit binding's plain C++ parts: the spoken title, dispatch delays, the
// deferral that holds main-queue work while an alert or the menu is open, the
// message alert's bounds, and the controller's life to the very end.
#include "Lintara/platform/appkit/AppKitSupport.hpp"
#include "Lintara/text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace lintara::appkit {
namespace {

    // ------------------------------------------------------ spoken title

    TEST(AccessibleTitle, ReadsACountdownAsWordsLeavingOutZeroParts)
    {
        EXPECT_EQ(accessibleTitle("VPN 0:59:59"), "VPN 해제까지 59분 59초 남음");
        EXPECT_EQ(accessibleTitle("VPN 1:00:00"), "VPN 해제까지 1시간 남음");
        EXPECT_EQ(accessibleTitle("VPN 2:03:00"), "VPN 해제까지 2시간 3분 남음");
        EXPECT_EQ(accessibleTitle("VPN 168:00:05"), "VPN 해제까지 168시간 5초 남음");
        EXPECT_EQ(accessibleTitle("VPN 0:00:01"), "VPN 해제까지 1초 남음");
        // The very end still says how much is left rather than nothing.
        EXPECT_EQ(accessibleTitle("VPN 0:00:00"), "VPN 해제까지 0초 남음");
    }

    TEST(AccessibleTitle, UnderstandsEveryTitleTheControllerDraws)
    {
        // Whatever the controller puts on the button must come out as words:
        // a countdown read digit by digit is what this exists to prevent.
        const double samples[] = { -5, 0, 0.2, 1, 59, 60, 61, 3599, 3600, 3601, 86399.5, 604800, 604800 * 52.0,
            std::numeric_limits<double>::max() };
        for (const double seconds : samples) {
            const std::string title = countdownTitle(seconds);
            const std::string spoken = accessibleTitle(title);
            EXPECT_TRUE(spoken.starts_with("VPN 해제까지 ")) << title << " -> " << spoken;
            EXPECT_TRUE(spoken.ends_with(" 남음")) << title << " -> " << spoken;
            EXPECT_EQ(spoken.find(':'), std::string::npos) << title << " -> " << spoken;
        }
    }

    TEST(AccessibleTitle, GivesTheIdleMarkItsMeaningAndLeavesOtherTitlesAlone)
    {
        EXPECT_EQ(accessibleTitle("VPN ◷"), "VPN 예약 없음");
        EXPECT_EQ(accessibleTitle("VPN 해제 중…"), "VPN 해제 중…");
        EXPECT_EQ(accessibleTitle(""), "");
    }

    TEST(AccessibleTitle, LeavesAnythingThatIsNotExactlyAClockAsItIs)
    {
        const char* const notClocks[] = {
            "VPN 1:60:00", // minutes out of range
            "VPN 1:00:60", // seconds out of range
            "VPN 1:5:00", // one-digit minutes
            "VPN 1:05:000", // three-digit seconds
            "VPN :05:00", // no hours
            "VPN -1:05:00", // negative hours
            "VPN +1:05:00",
            "VPN 1:05", // two fields
            "VPN 1:05:00:00", // four fields
            "VPN 1:05:00 ", // trailing space
            "VPN  1:05:00", // doubled space
            "vpn 1:05:00", // other prefix
            "1:05:00", "VPN 1:0x:00",
            "VPN 99999999999999999999:00:00", // hours beyond 64 bits
        };
        for (const char* title : notClocks) {
            EXPECT_EQ(accessibleTitle(title), title);
        }
    }

    // ------------------------------------------------------------ delays

    TEST(DelayInNanoseconds, ConvertsWithoutEverFiringEarly)
    {
        EXPECT_EQ(delayInNanoseconds(8.0), 8'000'000'000);
        EXPECT_EQ(delayInNanoseconds(60.0), 60'000'000'000);
        EXPECT_EQ(delayInNanoseconds(0.25), 250'000'000);
        // A fraction of a nanosecond rounds up, never down to "now".
        EXPECT_EQ(delayInNanoseconds(1e-12), 1);
    }

    TEST(DelayInNanoseconds, TurnsNonsenseIntoNowOrTheLongestDelay)
    {
        EXPECT_EQ(delayInNanoseconds(0), 0);
        EXPECT_EQ(delayInNanoseconds(-3), 0);
        EXPECT_EQ(delayInNanoseconds(std::nan("")), 0);
        EXPECT_EQ(delayInNanoseconds(-std::numeric_limits<double>::infinity()), 0);
        constexpr std::int64_t longest = std::numeric_limits<std::int64_t>::max();
        EXPECT_EQ(delayInNanoseconds(std::numeric_limits<double>::infinity()), longest);
        EXPECT_EQ(delayInNanoseconds(1e10), longest); // 1e19 ns does not fit
        EXPECT_LT(delayInNanoseconds(9e9), longest); // 9e18 ns still does
    }

    // ------------------------------------------------------- modal deferral

    // A deferral whose scheduled drains the test runs by hand, the way the main
    // queue would run them on a later turn.
    class ModalDeferralTest : public ::testing::Test {
    protected:
        int drainsScheduled = 0;
        ModalDeferral deferral { [this] { ++drainsScheduled; } };
        std::vector<std::string> ran;

        std::function<void()> record(std::string name)
        {
            return [this, name] { ran.push_back(name); };
        }
    };

    TEST_F(ModalDeferralTest, RunsWorkAtOnceAndInOrderWhileNoAlertIsOpen)
    {
        deferral.submit(record("a"));
        EXPECT_EQ(ran, std::vector<std::string> { "a" });
        deferral.submit(record("b"));
        EXPECT_EQ(ran, (std::vector<std::string> { "a", "b" }));
        EXPECT_EQ(deferral.waiting(), 0u);
        EXPECT_EQ(drainsScheduled, 0);
    }

    TEST_F(ModalDeferralTest, HoldsWorkWhileAnAlertIsOpenAndRunsItOnALaterTurn)
    {
        {
            const ModalDeferral::ModalSession alert(deferral);
            deferral.submit(record("poll result"));
            deferral.submit(record("wake"));
            EXPECT_TRUE(ran.empty());
            EXPECT_EQ(deferral.waiting(), 2u);
        }
        // Closing the alert must not run the work inside the operation that
        // opened it: it only asks for a later drain.
        EXPECT_TRUE(ran.empty());
        EXPECT_EQ(drainsScheduled, 1);
        deferral.drain();
        EXPECT_EQ(ran, (std::vector<std::string> { "poll result", "wake" }));
        EXPECT_EQ(deferral.waiting(), 0u);
    }

    TEST_F(ModalDeferralTest, OpensOnlyWhenTheLastOfNestedAlertsCloses)
    {
        {
            const ModalDeferral::ModalSession outer(deferral);
            {
                const ModalDeferral::ModalSession inner(deferral);
                deferral.submit(record("a"));
            }
            EXPECT_TRUE(deferral.modalOpen());
            EXPECT_EQ(drainsScheduled, 0);
            deferral.drain(); // a drain that comes round too early does nothing
            EXPECT_TRUE(ran.empty());
        }
        EXPECT_EQ(drainsScheduled, 1);
        deferral.drain();
        EXPECT_EQ(ran, std::vector<std::string> { "a" });
    }

    TEST_F(ModalDeferralTest, AsksForNoDrainWhenNothingWaited)
    {
        {
            const ModalDeferral::ModalSession alert(deferral);
        }
        EXPECT_EQ(drainsScheduled, 0);
    }

    TEST_F(ModalDeferralTest, KeepsOrderAcrossTheAlertsEnd)
    {
        {
            const ModalDeferral::ModalSession alert(deferral);
            deferral.submit(record("held"));
        }
        // Arrives after the alert closed but before the scheduled drain came
        // round: it must still run after the work that waited.
        deferral.submit(record("late"));
        EXPECT_EQ(ran, (std::vector<std::string> { "held", "late" }));
        deferral.drain();
        EXPECT_EQ(ran.size(), 2u);
    }

    TEST_F(ModalDeferralTest, WorkThatOpensAnAlertHoldsBackTheWorkBehindIt)
    {
        // The disconnect's result handler shows its outcome in an alert; the
        // next result, already waiting, must not run until it is dismissed.
        {
            const ModalDeferral::ModalSession earlier(deferral);
            deferral.submit([this] {
                ran.push_back("handler opens alert");
                const ModalDeferral::ModalSession alert(deferral);
                deferral.submit(record("arrives during alert"));
                ran.push_back("handler's alert dismissed");
            });
            deferral.submit(record("next result"));
        }
        deferral.drain();
        EXPECT_EQ(ran,
            (std::vector<std::string> {
                "handler opens alert", "handler's alert dismissed", "next result", "arrives during alert" }));
        EXPECT_EQ(deferral.waiting(), 0u);
    }

    TEST_F(ModalDeferralTest, NeverNestsWorkInsideWork)
    {
        int depth = 0;
        int deepest = 0;
        std::function<void()> nested = [&] {
            ++depth;
            deepest = std::max(deepest, depth);
            ran.push_back("inner");
            --depth;
        };
        deferral.submit([&] {
            ++depth;
            deepest = std::max(deepest, depth);
            deferral.submit(nested);
            deferral.drain();
            ran.push_back("outer done");
            --depth;
        });
        EXPECT_EQ(ran, (std::vector<std::string> { "outer done", "inner" }));
        EXPECT_EQ(deepest, 1);
    }

    TEST_F(ModalDeferralTest, StaysUsableAfterWorkThrows)
    {
        {
            const ModalDeferral::ModalSession alert(deferral);
            deferral.submit([] { throw std::runtime_error("controller failed"); });
            deferral.submit(record("after"));
        }
        EXPECT_THROW(deferral.drain(), std::runtime_error);
        // The failed block is gone; the one behind it still runs, and new work
        // is not mistaken for nested work.
        EXPECT_EQ(deferral.waiting(), 1u);
        deferral.drain();
        deferral.submit(record("new"));
        EXPECT_EQ(ran, (std::vector<std::string> { "after", "new" }));
    }

    TEST_F(ModalDeferralTest, HoldsWorkWhileTheStatusMenuIsOpen)
    {
        // A poll result must not replace the menu under the open one, nor a
        // disconnect's outcome open an alert inside the menu's tracking.
        {
            ModalDeferral::MenuTracking menu(deferral);
            menu.willOpen();
            menu.willOpen(); // said twice, still one hold
            deferral.submit(record("poll result"));
            EXPECT_TRUE(ran.empty());
            menu.didClose();
            EXPECT_TRUE(ran.empty());
            EXPECT_EQ(drainsScheduled, 1);
            deferral.drain();
            EXPECT_EQ(ran, std::vector<std::string> { "poll result" });
            menu.didClose(); // a close without an open holds nothing back
            deferral.submit(record("after close"));
            EXPECT_EQ(ran.size(), 2u);
            menu.willOpen(); // the menu goes away while open
        }
        EXPECT_FALSE(deferral.modalOpen());
    }

    // ------------------------------------------------------- time of day

    TEST(TimeLocale, WritesTheTimeInTheUsersLanguageAndRegion)
    {
        // The bundle's only localisation forced Korean on an English reader.
        EXPECT_EQ(timeLocaleIdentifier("ko_US", "en-US"), "en_US");
        // The region the user chose wins over the language's own, and its
        // settings come along.
        EXPECT_EQ(timeLocaleIdentifier("ko_DE@rg=dezzzz", "en-GB"), "en_DE@rg=dezzzz");
        EXPECT_EQ(timeLocaleIdentifier("ko_TW", "zh-Hant-TW"), "zh_Hant_TW");
        EXPECT_EQ(timeLocaleIdentifier("ko_MX", "es-419"), "es_MX");
        EXPECT_EQ(timeLocaleIdentifier("ko", "fr"), "fr");
    }

    TEST(TimeLocale, KeepsTheCurrentLocaleWhenItSpeaksTheUsersLanguage)
    {
        // Kept as it is, so that the user's own time settings apply.
        EXPECT_EQ(timeLocaleIdentifier("en_US@hours=h23", "en-US"), std::nullopt);
        EXPECT_EQ(timeLocaleIdentifier("ko_KR", "ko-KR"), std::nullopt);
        EXPECT_EQ(timeLocaleIdentifier("EN_us", "en"), std::nullopt);
        EXPECT_EQ(timeLocaleIdentifier("ko_KR", ""), std::nullopt);
        EXPECT_EQ(timeLocaleIdentifier("", "en-US"), std::nullopt);
    }

    // ----------------------------------------------------- message alert

    TEST(AlertBody, KeepsAShortTextAsTheAlertsOwn)
    {
        // 120 Hangul syllables are 360 bytes, but no wider than 120 letters.
        std::string hangulLine;
        for (std::size_t i = 0; i < alertLongestLine; ++i) {
            hangulLine += "가";
        }
        const std::string shortTexts[]
            = { "", "VPN을 해제하지 못했습니다.\nexit status 1", std::string(alertMostLines - 1, '\n'), hangulLine };
        for (const std::string& text : shortTexts) {
            const AlertBody body = alertBody(text);
            EXPECT_EQ(body.text, text);
            EXPECT_FALSE(body.scrolls) << text;
        }
    }

    TEST(AlertBody, ScrollsManyLinesOrALongLineAndLaysOutOnlyTheEnd)
    {
        EXPECT_TRUE(alertBody(std::string(alertMostLines, '\n')).scrolls);
        EXPECT_TRUE(alertBody("error: " + std::string(alertLongestLine, 'x')).scrolls);

        // A tool that flooded: a megabyte of lines, then its last word.
        std::string flood;
        while (flood.size() < 1024 * 1024) {
            flood += "line of output that goes on\n";
        }
        flood += "the end";
        const AlertBody body = alertBody(flood);
        EXPECT_TRUE(body.scrolls);
        EXPECT_LE(body.text.size(), displayedTextLimit + std::string_view("…\n").size());
        EXPECT_TRUE(body.text.starts_with("…\n"));
        EXPECT_TRUE(body.text.ends_with("line of output that goes on\nthe end"));
    }

    TEST(NextCloseCheck, ClosesAtTheInstantAndLooksAgainAtLeastEverySecond)
    {
        const Date closesAt { 1000 };
        EXPECT_EQ(nextCloseCheck(Date { 1000 }, closesAt), std::nullopt);
        EXPECT_EQ(nextCloseCheck(Date { 1500 }, closesAt), std::nullopt); // woke after it
        EXPECT_EQ(nextCloseCheck(Date { 999.75 }, closesAt), 0.25); // never late
        // Far off, or the clock set back: still looked at within a second.
        EXPECT_EQ(nextCloseCheck(Date { 400 }, closesAt), 1.0);
    }

    // ------------------------------------------------------ process exit

    // Ends the process with its own status if it is ever destroyed, so that
    // the exit status tells whether exit() destroyed it.
    struct EndsTheProcessWhenDestroyed {
        EndsTheProcessWhenDestroyed() = default;
        EndsTheProcessWhenDestroyed(const EndsTheProcessWhenDestroyed&) = delete;
        EndsTheProcessWhenDestroyed& operator=(const EndsTheProcessWhenDestroyed&) = delete;
        ~EndsTheProcessWhenDestroyed() { std::_Exit(3); }
    };
    // Constructed before main(), as the controller's owner is.
    std::unique_ptr<EndsTheProcessWhenDestroyed> kept;
    std::unique_ptr<EndsTheProcessWhenDestroyed> notKept;

    TEST(KeepAtExit, LeavesTheOwnedObjectUndestroyedWhenTheProcessExits)
    {
        EXPECT_EXIT(
            {
                kept = std::make_unique<EndsTheProcessWhenDestroyed>();
                keepAtExit<kept>();
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "");
        // Without it, exit() does destroy it: the probe is sound.
        EXPECT_EXIT(
            {
                notKept = std::make_unique<EndsTheProcessWhenDestroyed>();
                std::exit(0);
            },
            ::testing::ExitedWithCode(3), "");
    }

} // namespace
} // namespace lintara::appkit
