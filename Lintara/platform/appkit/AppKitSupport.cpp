// SPDX-License-Identifier: MIT
#include "AppKitSupport.hpp"

#include "Lintara/text.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace lintara::appkit {

namespace {
    constexpr std::string_view countdownPrefix = "VPN ";
    constexpr std::string_view idleTitle = "VPN ◷";

    struct Clock {
        std::int64_t hours = 0;
        std::int64_t minutes = 0;
        std::int64_t seconds = 0;
    };

    // Reads a run of decimal digits, all of it or nothing.
    std::optional<std::int64_t> wholeNumber(std::string_view digits)
    {
        if (digits.empty()) {
            return std::nullopt;
        }
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc {} || end != digits.data() + digits.size() || value < 0) {
            return std::nullopt;
        }
        return value;
    }

    // Reads a minutes or seconds field: exactly two digits, below sixty.
    std::optional<std::int64_t> sexagesimalField(std::string_view digits)
    {
        if (digits.size() != 2) {
            return std::nullopt;
        }
        const std::optional<std::int64_t> value = wholeNumber(digits);
        if (!value || *value >= 60) {
            return std::nullopt;
        }
        return value;
    }

    // Parses "VPN H:MM:SS", the only shape of a countdown title.
    std::optional<Clock> countdownClock(std::string_view title)
    {
        if (!title.starts_with(countdownPrefix)) {
            return std::nullopt;
        }
        const std::string_view clock = title.substr(countdownPrefix.size());
        const std::size_t firstColon = clock.find(':');
        if (firstColon == std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t secondColon = clock.find(':', firstColon + 1);
        if (secondColon == std::string_view::npos) {
            return std::nullopt;
        }
        const std::optional<std::int64_t> hours = wholeNumber(clock.substr(0, firstColon));
        const std::optional<std::int64_t> minutes
            = sexagesimalField(clock.substr(firstColon + 1, secondColon - firstColon - 1));
        const std::optional<std::int64_t> seconds = sexagesimalField(clock.substr(secondColon + 1));
        if (!hours || !minutes || !seconds) {
            return std::nullopt;
        }
        return Clock { *hours, *minutes, *seconds };
    }

    // "en-US", "ko_KR" or "zh-Hant-TW" as its subtags.
    std::vector<std::string_view> subtags(std::string_view identifier)
    {
        std::vector<std::string_view> tags;
        while (!identifier.empty()) {
            const std::size_t end = identifier.find_first_of("-_");
            tags.push_back(identifier.substr(0, end));
            identifier = end == std::string_view::npos ? std::string_view() : identifier.substr(end + 1);
        }
        return tags;
    }

    bool isRegion(std::string_view tag)
    {
        const bool letters = std::all_of(
            tag.begin(), tag.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; });
        const bool digits = std::all_of(
            tag.begin(), tag.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
        return (tag.size() == 2 && letters) || (tag.size() == 3 && digits);
    }

    bool sameLanguage(std::string_view a, std::string_view b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
        });
    }

    void appendPart(std::string& words, std::int64_t count, std::string_view unit)
    {
        if (!words.empty()) {
            words += ' ';
        }
        words += std::to_string(count);
        words += unit;
    }

} // namespace

std::string accessibleTitle(std::string_view title)
{
    if (title == idleTitle) {
        return "VPN 예약 없음";
    }
    const std::optional<Clock> clock = countdownClock(title);
    if (!clock) {
        return std::string(title);
    }
    // Zero parts are left out, as one would say them; only a countdown at its
    // very end says "0초".
    std::string words;
    if (clock->hours > 0) {
        appendPart(words, clock->hours, "시간");
    }
    if (clock->minutes > 0) {
        appendPart(words, clock->minutes, "분");
    }
    if (clock->seconds > 0 || words.empty()) {
        appendPart(words, clock->seconds, "초");
    }
    return "VPN 해제까지 " + words + " 남음";
}

std::int64_t delayInNanoseconds(double seconds)
{
    if (!(seconds > 0)) { // also catches NaN
        return 0;
    }
    const double nanoseconds = std::ceil(seconds * 1e9);
    // 2^63 as a double; anything at or above it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (nanoseconds >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(nanoseconds);
}

ModalDeferral::ModalDeferral(ScheduleDrain scheduleDrain)
    : scheduleDrain_(std::move(scheduleDrain))
{
}

void ModalDeferral::submit(std::function<void()> work)
{
    waiting_.push_back(std::move(work));
    drain();
}

void ModalDeferral::drain()
{
    if (draining_) {
        return;
    }
    draining_ = true;
    // Cleared however the work leaves, so that one failed block cannot stop
    // the queue for good.
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset { draining_ };
    while (!modalOpen() && !waiting_.empty()) {
        // Taken off the queue before it runs, so that the queue is sound
        // whatever the work does.
        std::function<void()> work = std::move(waiting_.front());
        waiting_.pop_front();
        if (work) {
            work();
        }
    }
}

ModalDeferral::ModalSession::ModalSession(ModalDeferral& deferral)
    : deferral_(deferral)
{
    ++deferral_.modalDepth_;
}

ModalDeferral::ModalSession::~ModalSession()
{
    --deferral_.modalDepth_;
    if (deferral_.modalDepth_ == 0 && !deferral_.waiting_.empty() && deferral_.scheduleDrain_) {
        deferral_.scheduleDrain_();
    }
}

ModalDeferral::MenuTracking::MenuTracking(ModalDeferral& deferral)
    : deferral_(deferral)
{
}

void ModalDeferral::MenuTracking::willOpen()
{
    if (!session_) {
        session_.emplace(deferral_);
    }
}

void ModalDeferral::MenuTracking::didClose() { session_.reset(); }

std::optional<std::string> timeLocaleIdentifier(std::string_view currentLocale, std::string_view preferredLanguage)
{
    const std::size_t at = currentLocale.find('@');
    const std::string_view keywords = at == std::string_view::npos ? std::string_view() : currentLocale.substr(at);
    const std::vector<std::string_view> current = subtags(currentLocale.substr(0, at));
    std::vector<std::string_view> wanted = subtags(preferredLanguage.substr(0, preferredLanguage.find('@')));
    if (current.empty() || wanted.empty() || wanted.front().empty() || sameLanguage(current.front(), wanted.front())) {
        return std::nullopt;
    }
    // The language's own region gives way to the one the user chose.
    if (wanted.size() > 1 && isRegion(wanted.back())) {
        wanted.pop_back();
    }
    std::string identifier;
    for (const std::string_view tag : wanted) {
        identifier += identifier.empty() ? "" : "_";
        identifier += tag;
    }
    if (current.size() > 1 && isRegion(current.back())) {
        identifier += '_';
        identifier += current.back();
    }
    identifier += keywords;
    return identifier;
}

std::optional<double> nextCloseCheck(Date now, Date closesAt)
{
    const double left = closesAt.timeIntervalSince(now);
    if (!(left > 0)) { // also catches NaN
        return std::nullopt;
    }
    return std::min(left, 1.0);
}

AlertBody alertBody(std::string_view informativeText)
{
    AlertBody body { displayedTail(informativeText), false };
    const std::vector<std::string_view> lines = splitLines(body.text);
    body.scrolls = lines.size() > alertMostLines || std::any_of(lines.begin(), lines.end(), [](std::string_view line) {
        // Characters, not bytes: a line of Hangul takes three bytes a
        // character and is no wider for it.
        const auto characters = std::count_if(
            line.begin(), line.end(), [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0U) != 0x80U; });
        return static_cast<std::size_t>(characters) > alertLongestLine;
    });
    return body;
}

} // namespace lintara::appkit
