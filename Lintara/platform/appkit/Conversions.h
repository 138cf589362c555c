// SPDX-License-Identifier: MIT
// Every crossing between Foundation's strings and values and the controller's
// std::string and SettingValue happens here, so that the encoding rules live in
// one place: the controller's text is UTF-8 throughout. So does the name of the
// selector that carries each menu action.
#pragma once

#import <Foundation/Foundation.h>

#include "Lintara/platform/Platform.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace lintara::appkit {

// Bytes that are not valid UTF-8 cannot come from the controller, whose texts
// are literals and numbers; should they ever, the result is the empty string
// rather than nil, which AppKit would reject.
inline NSString* toNSString(std::string_view text)
{
    NSString* string = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
    return string != nil ? string : @"";
}

inline std::string toStdString(NSString* string)
{
    if (string == nil) {
        return {};
    }
    // UTF8String is valid only as long as the string is; copy at once.
    const char* bytes = [string UTF8String];
    return bytes != nullptr ? std::string(bytes) : std::string();
}

// What a preferences value reads as. A boolean is told apart from a number by
// its CoreFoundation type, the one sure test: NSNumber's objCType says "c" for
// both a stored boolean and a one-byte integer. Kinds the controller has no
// use for (dates, data, arrays, dictionaries) come back as their description,
// which is enough to say "something is stored, and it is not a boolean".
inline std::optional<SettingValue> toSettingValue(id value)
{
    if (value == nil) {
        return std::nullopt;
    }
    if ([value isKindOfClass:[NSNumber class]]) {
        NSNumber* number = value;
        if (CFGetTypeID((__bridge CFTypeRef)number) == CFBooleanGetTypeID()) {
            return SettingValue { static_cast<bool>([number boolValue]) };
        }
        const char type = [number objCType][0];
        if (type == 'f' || type == 'd') {
            return SettingValue { [number doubleValue] };
        }
        return SettingValue { static_cast<std::int64_t>([number longLongValue]) };
    }
    if ([value isKindOfClass:[NSString class]]) {
        return SettingValue { toStdString(value) };
    }
    return SettingValue { toStdString([value description]) };
}

// The Objective-C selector of the menu target's method for an action, named
// after the controller operation it leads to.
[[nodiscard]] constexpr std::string_view selectorName(Action action)
{
    switch (action) {
    case Action::none: return "";
    case Action::toggleAutomatic: return "toggleAutomatic";
    case Action::preset: return "preset:";
    case Action::customDuration: return "customDuration";
    case Action::cancelTimer: return "cancelTimer";
    case Action::quitApp: return "quitApp";
    }
    return "";
}

} // namespace lintara::appkit
