// SPDX-License-Identifier: MIT
// The wall clock and the short time of day, by ICU: the locale's own short
// time style (hours and minutes, no date) in the user's time zone.
//
// The locale comes from LC_ALL, then LC_TIME, then LANG, the way the C
// library picks the locale for times, once, at construction; a name ICU cannot
// parse gives the root locale. The time zone is the one ICU finds from TZ or
// the host's /etc/localtime, looked for again whenever either has changed, so
// a time-zone change shows at the next call.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lintara::glib {

// The ICU locale name for the time of day, from the environment as given by
// lookup (which answers null for an unset variable): the first of LC_ALL,
// LC_TIME and LANG that is set and not empty, without its encoding
// (".UTF-8") or modifier ("@euro"); "C" and "POSIX" give "en_US_POSIX".
[[nodiscard]] std::string timeLocaleName(const std::function<const char*(const char*)>& lookup);

using lintara::unixTimeOfReferenceDate;

class IcuClock final : public Clock {
public:
    // The locale from the process environment.
    IcuClock();
    // A given ICU locale name, and the host's zone link, for tests.
    explicit IcuClock(const std::string& localeName, std::string localtimePath = "/etc/localtime");
    ~IcuClock() override;
    IcuClock(const IcuClock&) = delete;
    IcuClock& operator=(const IcuClock&) = delete;

    [[nodiscard]] Date now() override;
    [[nodiscard]] std::string shortTimeString(Date date) override;

private:
    // ICU's formatter, kept out of this header so that users of it need no
    // ICU headers.
    struct Formatter;
    std::unique_ptr<Formatter> format_;
};

} // namespace lintara::glib
