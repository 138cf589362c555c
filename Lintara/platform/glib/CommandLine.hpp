// SPDX-License-Identifier: MIT
// The command line both Linux programs share: --version, --check, and the
// answers to a mistake. The terminal parses with a GOptionContext of its own;
// the tray hands the same entries to its GApplication.
//
// --check runs the VPN tool's state once, through the same runner and
// watchdog as the controller's polls, and prints what Lintara would read.
#pragma once

#include <glib.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>

namespace lintara::glib {

struct CommandLine {
    gboolean version = FALSE;
    gboolean check = FALSE;
    // Whatever is left that is not an option; the programs take none.
    gchar** rest = nullptr;

    CommandLine() = default;
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;
};

// GOption's entries, writing into options, with the terminator.
[[nodiscard]] std::array<GOptionEntry, 4> optionEntries(CommandLine& options);

// What --help says above the options, the same for both programs.
inline constexpr const char* optionSummary = "Disconnects the VPN after a chosen time.\n"
                                             "When the state reads as unreadable, run --check first.";

// The usage GOption prints for these entries, for the error path, where
// GApplication keeps its own to itself. Names the program by g_get_prgname().
[[nodiscard]] std::string usageText();

// "lintara-term 0.1.0" and the VPN tool's path compiled in, one per line.
[[nodiscard]] std::string versionText(const char* program);

// Runs the tool's state once and writes the report to out. 0 when the state
// could be read, 1 when not.
int runCheck(std::FILE* out);

// Acts on what was parsed: prints the version, runs the check, or refuses an
// argument that is not an option (with the usage on standard error). The exit
// status when the program should end here; nothing when it should go on.
[[nodiscard]] std::optional<int> answerCommandLine(const char* program, const CommandLine& options);

// Parses the command line with GOption and then answers it as above. A
// mistake prints the error and the usage to standard error and gives 2;
// --help prints the usage and exits 0 from inside GOption.
[[nodiscard]] std::optional<int> parseCommandLine(const char* program, int& argc, char**& argv);

// The exit status of a command-line mistake.
inline constexpr int usageStatus = 2;

} // namespace lintara::glib
