// SPDX-License-Identifier: MIT
// The one place where Lintara's UTF-8 text meets Windows' UTF-16.
//
// Provides:
//  - widen: UTF-8 to UTF-16 for the W functions; bytes that are not UTF-8
//    each become U+FFFD, and the rest is kept, never cut short;
//  - narrow: UTF-16 to UTF-8 for the controller; an unpaired surrogate
//    becomes U+FFFD the same way;
//  - systemErrorText: the system's own sentence for an error code, in the
//    user's language, as FormatMessageW gives it.
// Embedded NULs pass through both ways; the lengths are explicit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lintara::win32 {

[[nodiscard]] std::wstring widen(std::string_view text);
[[nodiscard]] std::string narrow(std::wstring_view text);
// The text of a GetLastError() code without its line break ("The system
// cannot find the file specified."); "error <code>" for a code the system
// has no text for.
[[nodiscard]] std::string systemErrorText(std::uint32_t code);

} // namespace lintara::win32
