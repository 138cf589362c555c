// SPDX-License-Identifier: MIT
#import <Foundation/Foundation.h>

#include "AppKitSupport.hpp"
#include "ClockAndSettings.h"
#include "Conversions.h"

namespace lintara::appkit {

namespace {

    // The user's locale, as it is now, in the user's own language even where
    // the bundle's only localisation (Korean) was imposed on it.
    NSLocale* userLocale()
    {
        NSLocale* current = [NSLocale autoupdatingCurrentLocale];
        const std::optional<std::string> identifier = timeLocaleIdentifier(
            toStdString([current localeIdentifier]), toStdString([[NSLocale preferredLanguages] firstObject]));
        return identifier ? [NSLocale localeWithLocaleIdentifier:toNSString(*identifier)] : current;
    }

    NSUserDefaults* defaults() { return [NSUserDefaults standardUserDefaults]; }

} // namespace

FoundationClock::FoundationClock()
    : formatter_([[NSDateFormatter alloc] init])
{
    [formatter_ setDateStyle:NSDateFormatterNoStyle];
    [formatter_ setTimeStyle:NSDateFormatterShortStyle];
    // Follows the system's zone, so that after travel the next render shows
    // the new zone's time.
    [formatter_ setTimeZone:[NSTimeZone localTimeZone]];
}

Date FoundationClock::now() { return Date { [NSDate timeIntervalSinceReferenceDate] }; }

std::string FoundationClock::shortTimeString(Date date)
{
    [formatter_ setLocale:userLocale()];
    NSDate* instant = [NSDate dateWithTimeIntervalSinceReferenceDate:date.timeIntervalSinceReferenceDate];
    return toStdString([formatter_ stringFromDate:instant]);
}

std::int64_t UserDefaultsStore::integerForKey(std::string_view key)
{
    return static_cast<std::int64_t>([defaults() integerForKey:toNSString(key)]);
}

std::optional<SettingValue> UserDefaultsStore::objectForKey(std::string_view key)
{
    return toSettingValue([defaults() objectForKey:toNSString(key)]);
}

void UserDefaultsStore::setInteger(std::int64_t value, std::string_view key)
{
    [defaults() setInteger:static_cast<NSInteger>(value) forKey:toNSString(key)];
}

void UserDefaultsStore::setBool(bool value, std::string_view key)
{
    [defaults() setBool:value ? YES : NO forKey:toNSString(key)];
}

void UnifiedLog::write(LogLevel level, std::string_view line)
{
    NSLog(@"Lintara%@: %@", level == LogLevel::warning ? @" warning" : @"", toNSString(line));
}

} // namespace lintara::appkit
