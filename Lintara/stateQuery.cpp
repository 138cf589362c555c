// SPDX-License-Identifier: MIT
// Describing a state query's outcome to a person: the log's line and the
// report of --check. The query itself runs in vpn.cpp, beside the disconnect,
// with which it shares the runner.
#include "stateQuery.hpp"

#include "text.hpp"

#include <algorithm>
#include <vector>

namespace lintara {

std::string describeUnreadable(const std::string& path, const StateQueryOutcome& outcome)
{
    if (outcome.launchError) {
        return outcome.launchError->localizedDescription;
    }
    std::string line = path + " state exited with status " + std::to_string(outcome.terminationStatus);
    if (outcome.output.empty() && outcome.outputBytes > 0) {
        return line + " and printed " + std::to_string(outcome.outputBytes) + " bytes that are not UTF-8";
    }
    return line + " and printed no state line";
}

std::string checkReport(const std::string& path, const StateQueryOutcome& outcome, std::size_t maxLines)
{
    std::string report = "VPN tool: " + path + "\n";
    if (outcome.launchError) {
        report += "launch error: " + outcome.launchError->localizedDescription + "\n";
    } else {
        report += "exit status: " + std::to_string(outcome.terminationStatus) + "\n";
    }
    report += "state: ";
    report += !outcome.reading ? "unreadable" : *outcome.reading ? "connected" : "disconnected";
    report += "\n";
    if (outcome.launchError) {
        return report;
    }
    if (outcome.output.empty() && outcome.outputBytes > 0) {
        return report + "output: " + std::to_string(outcome.outputBytes) + " bytes that are not UTF-8\n";
    }
    // Empty lines left out: CR LF and a final break split into more of them
    // than the tool printed.
    std::vector<std::string_view> lines = splitLines(outcome.output);
    std::erase_if(lines, [](std::string_view line) { return line.empty(); });
    const std::size_t shown = std::min(lines.size(), maxLines);
    report += "output";
    // Counted in bytes: past a megabyte only the end is kept, so the lines
    // kept are not all the lines printed.
    report += shown < lines.size()
        ? " (last " + std::to_string(shown) + " lines of " + std::to_string(outcome.outputBytes) + " bytes):\n"
        : ":\n";
    for (std::size_t i = lines.size() - shown; i < lines.size(); ++i) {
        report += "  ";
        report += lines[i];
        report += "\n";
    }
    return report;
}

} // namespace lintara
