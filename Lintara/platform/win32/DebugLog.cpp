// SPDX-License-Identifier: MIT
#include "DebugLog.hpp"

#include "Lintara/platform/win32/Conversions.hpp"

#include <windows.h>

#include <string>

namespace lintara::win32 {

void DebugLog::write(LogLevel level, std::string_view line)
{
    const std::string text
        = std::string(level == LogLevel::warning ? "Lintara: warning: " : "Lintara: ") + std::string(line) + "\n";
    OutputDebugStringW(widen(text).c_str());
    hooks_.logged(level, line);
}

} // namespace lintara::win32
