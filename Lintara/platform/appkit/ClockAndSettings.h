// SPDX-License-Identifier: MIT
// The clock, the settings store and the log on Foundation: the short time of
// day from NSDateFormatter, in the user's locale, language and time zone; the
// two preferences in NSUserDefaults, under the bundle identifier; and the log
// through NSLog.
#pragma once

#import <Foundation/Foundation.h>

#include "Lintara/platform/Platform.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lintara::appkit {

class FoundationClock final : public Clock {
public:
    FoundationClock();

    Date now() override;
    std::string shortTimeString(Date date) override;

private:
    NSDateFormatter* formatter_;
};

// The application's own domain of the user's defaults, named by the bundle
// identifier. Writes are persisted by the defaults system itself.
class UserDefaultsStore final : public SettingsStore {
public:
    std::int64_t integerForKey(std::string_view key) override;
    std::optional<SettingValue> objectForKey(std::string_view key) override;
    void setInteger(std::int64_t value, std::string_view key) override;
    void setBool(bool value, std::string_view key) override;
};

// NSLog lands in the unified log, where Console.app shows it.
class UnifiedLog final : public Log {
public:
    void write(LogLevel level, std::string_view line) override;
};

} // namespace lintara::appkit
