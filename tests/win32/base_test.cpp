// SPDX-License-Identifier: MIT
// The Windows base's other parts: the conversions, the clock's epoch, the
// registry settings (on the real registry, in keys of this test's own) and
// the queues.
#include "Lintara/platform/win32/Conversions.hpp"
#include "Lintara/platform/win32/RegistrySettings.hpp"
#include "Lintara/platform/win32/Win32Clock.hpp"
#include "Lintara/platform/win32/Win32Dispatch.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace lintara::win32::test {
namespace {

    using namespace std::chrono_literals;

    TEST(Conversions, TextSurvivesTheRoundTripAndWhatIsNotTextBecomesReplacementCharacters)
    {
        const std::string korean = "VPN 자동 해제 예정 \xF0\x9F\x94\x92";
        EXPECT_EQ(widen(korean), L"VPN 자동 해제 예정 \U0001F512");
        EXPECT_EQ(narrow(widen(korean)), korean);
        EXPECT_EQ(widen(std::string_view("a\0b", 3)), std::wstring(L"a\0b", 3));
        // Each bad byte gives one U+FFFD, and what follows is kept.
        EXPECT_EQ(widen("ok \xFF\xFE end"), L"ok \uFFFD\uFFFD end");
        EXPECT_EQ(widen("cut \xE2\x82"), L"cut \uFFFD");
        EXPECT_EQ(narrow(std::wstring { L'a', wchar_t(0xD800), L'b' }),
            "a\xEF\xBF\xBD"
            "b");
    }

    TEST(Clock, FileTimesAndDatesShareTheirInstants)
    {
        // 2001-01-01 and 1970-01-01 in FILETIME ticks.
        EXPECT_EQ(dateFromFileTime(126227808000000000ULL).timeIntervalSinceReferenceDate, 0.0);
        EXPECT_EQ(dateFromFileTime(116444736000000000ULL).timeIntervalSinceReferenceDate, -unixTimeOfReferenceDate);
        EXPECT_EQ(fileTimeFromDate(Date { 0.25 }), 126227808002500000ULL);
        EXPECT_EQ(fileTimeFromDate(Date { -1e12 }), 0u);

        Win32Clock clock;
        const double systemClock
            = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count()
            - unixTimeOfReferenceDate;
        EXPECT_NEAR(clock.now().timeIntervalSinceReferenceDate, systemClock, 5.0);
        // Hours and minutes: the same within a minute (this one starts at :00
        // UTC, and every time zone is offset by whole minutes), different a
        // minute on.
        const Date minute { 789999960.0 };
        const std::string shown = clock.shortTimeString(minute);
        EXPECT_FALSE(shown.empty());
        EXPECT_EQ(clock.shortTimeString(minute.addingTimeInterval(59)), shown);
        EXPECT_NE(clock.shortTimeString(minute.addingTimeInterval(60)), shown);
    }

    class Registry : public ::testing::Test {
    protected:
        void SetUp() override
        {
            const std::wstring base = L"Software\\Lintara-test-" + std::to_wstring(::GetCurrentProcessId());
            user_ = { HKEY_CURRENT_USER, base };
            policy_ = { HKEY_CURRENT_USER, base + L"-policy" };
            TearDown();
        }
        void TearDown() override
        {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, user_.path.c_str());
            ::RegDeleteKeyW(HKEY_CURRENT_USER, user_.path.c_str());
            ::RegDeleteTreeW(HKEY_CURRENT_USER, policy_.path.c_str());
            ::RegDeleteKeyW(HKEY_CURRENT_USER, policy_.path.c_str());
        }
        static void store(const RegistryKey& key, const wchar_t* name, DWORD type, const void* data, DWORD size)
        {
            ASSERT_EQ(::RegSetKeyValueW(key.root, key.path.c_str(), name, type, data, size), ERROR_SUCCESS);
        }
        static void storeDword(const RegistryKey& key, const wchar_t* name, DWORD value)
        {
            store(key, name, REG_DWORD, &value, sizeof value);
        }
        [[nodiscard]] DWORD typeOf(const wchar_t* name) const
        {
            DWORD type = REG_NONE;
            ::RegGetValueW(user_.root, user_.path.c_str(), name, RRF_RT_ANY, &type, nullptr, nullptr);
            return type;
        }

        RegistryKey user_;
        RegistryKey policy_;
    };

    TEST_F(Registry, EachTypeReadsAsTheKeyFileReadsItsText)
    {
        RegistrySettings settings(user_, {});
        EXPECT_EQ(settings.objectForKey("durationMinutes"), std::nullopt);
        EXPECT_EQ(settings.integerForKey("durationMinutes"), 0);

        storeDword(user_, L"durationMinutes", 90);
        const std::int64_t week = 10080;
        store(user_, L"warningMinutes", REG_QWORD, &week, sizeof week);
        storeDword(user_, L"automatic", 0);
        EXPECT_EQ(settings.objectForKey("durationMinutes"), SettingValue(std::int64_t { 90 }));
        EXPECT_EQ(settings.integerForKey("warningMinutes"), 10080);
        EXPECT_EQ(settings.objectForKey("automatic"), SettingValue(false));
        EXPECT_EQ(settings.integerForKey("automatic"), 0);

        // Text is no number and no boolean; other types are neither either.
        const wchar_t text[] = L"90";
        store(user_, L"durationMinutes", REG_SZ, text, sizeof text);
        const BYTE binary[] = { 1, 0, 0, 0 };
        store(user_, L"automatic", REG_BINARY, binary, sizeof binary);
        EXPECT_EQ(settings.objectForKey("durationMinutes"), SettingValue(std::string("90")));
        EXPECT_EQ(settings.integerForKey("durationMinutes"), 0);
        EXPECT_EQ(settings.objectForKey("automatic"), SettingValue(std::string()));
        EXPECT_EQ(settings.integerForKey("automatic"), 0);
    }

    TEST_F(Registry, WritesComeBackAsWrittenAndPolicyFillsOnlyWhatTheUserLacks)
    {
        storeDword(policy_, L"durationMinutes", 120);
        storeDword(policy_, L"automatic", 0);
        storeDword(policy_, L"warningMinutes", 10);
        RegistrySettings settings(user_, { policy_ });
        EXPECT_EQ(settings.integerForKey("durationMinutes"), 120);
        EXPECT_EQ(settings.objectForKey("automatic"), SettingValue(false));

        settings.setBool(true, "automatic");
        settings.setInteger(-5, "durationMinutes");
        EXPECT_EQ(settings.objectForKey("automatic"), SettingValue(true));
        EXPECT_EQ(settings.integerForKey("durationMinutes"), -5);
        EXPECT_EQ(typeOf(L"automatic"), static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(typeOf(L"durationMinutes"), static_cast<DWORD>(REG_QWORD));
        settings.setInteger(90, "durationMinutes");
        EXPECT_EQ(typeOf(L"durationMinutes"), static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(settings.integerForKey("durationMinutes"), 90);
        EXPECT_EQ(settings.integerForKey("warningMinutes"), 10);

        // The policy itself is never written.
        RegistrySettings policyAlone(policy_, {});
        EXPECT_EQ(policyAlone.integerForKey("durationMinutes"), 120);
        EXPECT_EQ(policyAlone.objectForKey("automatic"), SettingValue(false));
    }

    TEST(DispatchThreads, BlocksRunElsewhereOnTimePendingOnesAtTheEndCancelledOnesNever)
    {
        struct NoMainQueue final : DispatchQueue {
            void async(std::function<void()>) override { }
            void asyncAfter(double, std::function<void()>) override { }
        } mainQueue;
        std::atomic<int> ran { 0 };
        std::atomic<bool> elsewhere { false };
        std::atomic<bool> early { false };
        std::atomic<bool> watchdogRan { false };
        std::atomic<bool> cancelledRan { false };
        std::shared_ptr<DispatchWorkItem> cancelledAtTheEnd;
        {
            Win32Dispatch dispatch(mainQueue);
            const auto caller = std::this_thread::get_id();
            dispatch.global(QualityOfService::utility).async([&] {
                elsewhere = std::this_thread::get_id() != caller;
                ++ran;
            });
            const auto posted = std::chrono::steady_clock::now();
            dispatch.global(QualityOfService::defaultClass).asyncAfter(0.3, [&, posted] {
                early = std::chrono::steady_clock::now() - posted < 300ms;
                ++ran;
            });
            // A watchdog an hour away, still pending when the queues end.
            dispatch.global(QualityOfService::defaultClass).asyncAfter(3600, [&] { watchdogRan = true; });
            // Taken back: one soon, one that would otherwise run at the end.
            dispatch.global(QualityOfService::defaultClass)
                .asyncAfterCancellable(0.1, [&] { cancelledRan = true; })
                ->cancel();
            cancelledAtTheEnd = dispatch.global(QualityOfService::defaultClass).asyncAfterCancellable(3600, [&] {
                cancelledRan = true;
            });
            cancelledAtTheEnd->cancel();
            const auto started = std::chrono::steady_clock::now();
            while (ran < 2 && std::chrono::steady_clock::now() - started < 30s) {
                std::this_thread::sleep_for(10ms);
            }
            EXPECT_FALSE(watchdogRan);
        }
        EXPECT_EQ(ran, 2);
        EXPECT_TRUE(elsewhere);
        EXPECT_FALSE(early);
        EXPECT_TRUE(watchdogRan);
        EXPECT_FALSE(cancelledRan);
        cancelledAtTheEnd->cancel();
    }

} // namespace
} // namespace lintara::win32::test
