// SPDX-License-Identifier: MIT
// The log on Windows: each line goes to the debugger's output
// (OutputDebugStringW), where DebugView or a debugger shows it; the test
// build also writes it to its trace. There is no event-log source to
// register, so an installation leaves nothing behind in the registry.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "ProgramHooks.hpp"

namespace lintara::win32 {

class DebugLog final : public Log {
public:
    explicit DebugLog(ProgramHooks& hooks)
        : hooks_(hooks)
    {
    }
    void write(LogLevel level, std::string_view line) override;

private:
    ProgramHooks& hooks_;
};

} // namespace lintara::win32
