// SPDX-License-Identifier: MIT
// One run of the VPN tool's "state": what the controller does every five
// seconds, and what a front end's --check does once, through the same runner,
// the same watchdog and the same reading of the output (ToolOutput), so that
// the two cannot disagree.
#pragma once

#include "platform/Platform.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lintara {

struct StateQueryOutcome {
    // Set when the tool could not be started; nothing else is then.
    std::optional<LaunchError> launchError;
    // The exit code, or the number of the signal that ended the tool.
    std::int32_t terminationStatus = 0;
    // The end of what it printed on both streams, as ToolOutput keeps it:
    // empty when the bytes were not valid UTF-8, which outputBytes (all it
    // printed, kept or not) then tells apart from silence.
    std::string output;
    std::size_t outputBytes = 0;
    // Connected (true), disconnected (false) or unreadable (nothing).
    std::optional<bool> reading;
};

// Runs `path state` on a background queue, ends it after the time limit, and
// hands the outcome to deliver on the main queue. The child ends with the
// application. Call on the main thread.
void queryState(ProcessFactory& processes, Dispatch& dispatch, const std::string& path,
    std::function<void(const StateQueryOutcome&)> deliver);

// Why a query gave no reading, in one line for the log: the launch error
// ("path: reason"), or the tool's exit status and that it printed no state.
[[nodiscard]] std::string describeUnreadable(const std::string& path, const StateQueryOutcome& outcome);

// The report of --check: the path, any launch error, the exit status, the
// reading, and at most the last maxLines lines of the output kept.
[[nodiscard]] std::string checkReport(
    const std::string& path, const StateQueryOutcome& outcome, std::size_t maxLines = 20);

} // namespace lintara
