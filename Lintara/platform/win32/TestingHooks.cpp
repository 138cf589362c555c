// SPDX-License-Identifier: MIT
// What lintara-testing, the test build of the Win32 front end, changes in the
// program (see ProgramHooks.hpp); linked into it alone:
//  - a trace of what the person would see, one JSON object per line, in the
//    file LINTARA_TESTING_TRACE names (else on standard error): the title
//    and the icon's text, the menu whenever it changes, the popup opening,
//    dialogs opening and closing, the warning, the published state, the log
//    (which also goes to standard error);
//  - commands read from the file LINTARA_TESTING_COMMANDS, which a test
//    appends lines to, looked at every 100 ms, also while a dialog or the
//    popup is open (that is when they are needed):
//      choose <TAB> title          the menu entry, as a click delivers it
//      press <TAB> button <TAB> text   types into the open dialog's field
//                                  and presses the button; waits for a
//                                  dialog to open
//      warning <TAB> action        the warning's button
//      dismiss-menu                closes the popup as a click elsewhere
//  - a clock that may run faster than the wall clock
//    (LINTARA_TESTING_CLOCK_SCALE), as in the Linux test builds.
// Files, rather than window messages, because a test on Linux writes a file
// as easily under Wine as without it.
#include "Lintara/platform/glib/ScaledClock.hpp"
#include "Lintara/platform/gtk/MenuPlan.hpp"
#include "MessageWindow.hpp"
#include "NotifyIcon.hpp"
#include "ProgramHooks.hpp"
#include "Win32Alerts.hpp"
#include "WindowWarnings.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace lintara::win32::testing {

namespace {

    constexpr UINT commandPollMillis = 100;

    std::string quoted(std::string_view text)
    {
        std::string result = "\"";
        for (const char c : text) {
            switch (c) {
            case '"': result += "\\\""; break;
            case '\\': result += "\\\\"; break;
            case '\n': result += "\\n"; break;
            case '\r': result += "\\r"; break;
            case '\t': result += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    result += escape;
                } else {
                    result += c;
                }
            }
        }
        return result + "\"";
    }

    std::string quotedList(const std::vector<std::string>& items)
    {
        std::string result = "[";
        for (const std::string& item : items) {
            result += (result.size() > 1 ? "," : "") + quoted(item);
        }
        return result + "]";
    }

    std::vector<std::string> fields(const std::string& line)
    {
        std::vector<std::string> result;
        std::stringstream stream(line);
        std::string field;
        while (std::getline(stream, field, '\t')) {
            result.push_back(field);
        }
        return result;
    }

    class Hooks final : public ProgramHooks {
    public:
        Clock& clock(Clock& wallClock) override
        {
            scaled_.emplace(wallClock, glib::testingClockScale());
            return *scaled_;
        }

        void started(const TestingReach& reach) override
        {
            reach_.emplace(reach);
            if (const char* path = std::getenv("LINTARA_TESTING_COMMANDS")) {
                commandsPath_ = path;
                const UINT_PTR timer = reach.window.addTimer([this] { pollCommands(); });
                SetTimer(reach.window.handle(), timer, commandPollMillis, nullptr);
            }
            emit(R"({"event":"started"})");
        }

        void titleShown(std::string_view title, std::string_view iconText) override
        {
            emit(R"({"event":"title","title":)" + quoted(title) + R"(,"icon":)" + quoted(iconText) + "}");
        }
        void menuShown(const Menu& menu) override
        {
            std::string items = "[";
            for (const MenuItem& item : menu.items) {
                items += items.size() > 1 ? "," : "";
                if (item.isSeparator) {
                    items += R"({"separator":true})";
                    continue;
                }
                items += R"({"title":)" + quoted(item.title) + R"(,"checked":)"
                    + (gtk::entryChecked(item) ? "true" : "false") + R"(,"enabled":)"
                    + (gtk::entrySensitive(menu, item) ? "true" : "false") + R"(,"key":)" + quoted(item.keyEquivalent)
                    + "}";
            }
            const std::string line = R"({"event":"menu","items":)" + items + "]}";
            // Rendered on every tick; the trace tells of changes.
            if (line != lastMenu_) {
                lastMenu_ = line;
                emit(line);
            }
        }
        void menuOpened() override { emit(R"({"event":"menu-opened"})"); }
        void dialogOpened(const Alert& alert) override
        {
            emit(R"({"event":"dialog-opened","message":)" + quoted(alert.messageText) + R"(,"informative":)"
                + quoted(alert.informativeText) + R"(,"field":)"
                + (alert.accessoryView ? quoted(alert.accessoryView->stringValue) : "null") + R"(,"buttons":)"
                + quotedList(alert.buttons) + "}");
        }
        void dialogClosed(const ModalResponse& response) override
        {
            emit(R"({"event":"dialog-closed","code":)" + std::to_string(response.code) + R"(,"field":)"
                + quoted(response.fieldText) + "}");
        }
        void warningShown(const Warning& warning) override
        {
            std::vector<std::string> actions;
            for (const Warning::Choice& choice : warning.actions) {
                actions.push_back(choice.title);
            }
            emit(R"({"event":"warning","summary":)" + quoted(warning.summary) + R"(,"body":)" + quoted(warning.body)
                + R"(,"actions":)" + quotedList(actions) + "}");
        }
        void warningWithdrawn() override { emit(R"({"event":"warning-withdrawn"})"); }
        void statePublished(const RemoteState& state) override
        {
            const std::string connected = !state.connected ? "null" : *state.connected ? "true" : "false";
            emit(R"({"event":"state","connected":)" + connected + R"(,"deadline":)" + std::to_string(state.deadline)
                + R"(,"busy":)" + (state.busy ? "true" : "false") + R"(,"status":)" + quoted(state.status) + "}");
        }
        void logged(LogLevel level, std::string_view line) override
        {
            std::fprintf(stderr, "lintara: %.*s\n", static_cast<int>(line.size()), line.data());
            emit(R"({"event":"log","level":)" + quoted(level == LogLevel::warning ? "warning" : "info") + R"(,"line":)"
                + quoted(line) + "}");
        }

    private:
        void emit(const std::string& line)
        {
            if (trace_ == nullptr) {
                const char* path = std::getenv("LINTARA_TESTING_TRACE");
                trace_ = path != nullptr ? std::fopen(path, "ab") : stderr;
                trace_ = trace_ != nullptr ? trace_ : stderr;
            }
            std::fprintf(trace_, "%s\n", line.c_str());
            std::fflush(trace_);
        }

        void pollCommands()
        {
            std::ifstream file(commandsPath_, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            while (consumed_ < text.size()) {
                const std::size_t end = text.find('\n', consumed_);
                if (end == std::string::npos) {
                    return; // a line still being written
                }
                const std::string line = text.substr(consumed_, end - consumed_);
                if (!perform(fields(line))) {
                    return; // tried again at the next poll
                }
                consumed_ = end + 1;
            }
        }

        // Whether the command is done with: run, or refused for good.
        bool perform(const std::vector<std::string>& command)
        {
            const std::string verb = command.empty() ? "" : command[0];
            const std::string argument = command.size() > 1 ? command[1] : "";
            bool done = false;
            if (verb == "choose") {
                done = reach_->statusBar.item() != nullptr && reach_->statusBar.item()->choose(argument);
            } else if (verb == "press") {
                // Waits for the dialog, which the choice before may open.
                return reach_->alerts.press(argument, command.size() > 2 ? command[2] : "");
            } else if (verb == "warning") {
                done = reach_->warnings.press(argument);
            } else if (verb == "dismiss-menu") {
                done = EndMenu() != FALSE;
            }
            if (!done) {
                emit(R"({"event":"refused","command":)" + quotedList(command) + "}");
            }
            return true;
        }

        std::optional<glib::ScaledClock> scaled_;
        std::optional<TestingReach> reach_;
        std::string commandsPath_;
        std::size_t consumed_ = 0;
        std::string lastMenu_;
        std::FILE* trace_ = nullptr;
    };

} // namespace

} // namespace lintara::win32::testing

lintara::win32::ProgramHooks& lintara::win32::testingHooks()
{
    static testing::Hooks hooks;
    return hooks;
}
