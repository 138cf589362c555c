#include "IcuClock.hpp"

#include <glib.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <cstdlib>

namespace lintara::glib {

struct IcuClock::Formatter {
    std::unique_ptr<icu::DateFormat> format;
};

std::string timeLocaleName(const std::function<const char*(const char*)>& lookup)
{
    std::string name;
    for (const char* variable : { "LC_ALL", "LC_TIME", "LANG" }) {
        const char* value = lookup(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return "en_US_POSIX";
    }
    return name;
}

IcuClock::IcuClock()
    : IcuClock(timeLocaleName([](const char* variable) { return std::getenv(variable); }))
{
}

IcuClock::IcuClock(const std::string& localeName)
{
    // ICU reads TZ itself; detectHostTimeZone makes it read it again should
    // a test have changed it since ICU last looked.
    icu::TimeZone::adoptDefault(icu::TimeZone::detectHostTimeZone());
    // ICU makes a bogus locale of a name it cannot parse (one too long, say),
    // and a formatter built from one crashes.
    icu::Locale locale(localeName.c_str());
    if (locale.isBogus()) {
        locale = icu::Locale::getRoot();
    }
    format_ = std::make_unique<Formatter>();
    format_->format.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
}

IcuClock::~IcuClock() = default;

Date IcuClock::now() { return Date { static_cast<double>(g_get_real_time()) / 1e6 - unixTimeOfReferenceDate }; }

std::string IcuClock::shortTimeString(Date date)
{
    const UDate millis = (date.timeIntervalSinceReferenceDate + unixTimeOfReferenceDate) * 1000.0;
    if (!format_->format) {
        // ICU could not build a formatter (no data for any locale): a plain
        // 24-hour time in UTC still tells the user when.
        const auto seconds = static_cast<long long>(millis / 1000.0);
        char buffer[16];
        std::snprintf(
            buffer, sizeof buffer, "%02lld:%02lld", (seconds / 3600 % 24 + 24) % 24, (seconds / 60 % 60 + 60) % 60);
        return buffer;
    }
    icu::UnicodeString text;
    format_->format->format(millis, text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

} // namespace lintara::glib
