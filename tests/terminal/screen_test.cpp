// SPDX-License-Identifier: MIT
#include "Lintara/platform/terminal/Cells.hpp"
#include "Lintara/platform/terminal/Screen.hpp"

#include <gtest/gtest.h>

#include <tuple>

using namespace lintara;
using namespace lintara::terminal;

namespace {

MenuItem entry(std::string title, Action action = Action::none)
{
    MenuItem item;
    item.title = std::move(title);
    item.action = action;
    return item;
}

Menu sampleMenu(bool busy)
{
    Menu menu;
    menu.addItem(entry("VPN 연결됨"));
    MenuItem automatic = entry("연결 감지 시 자동 시작", Action::toggleAutomatic);
    automatic.state = ControlState::on;
    menu.addItem(automatic);
    menu.addItem(MenuItem::separatorItem());
    MenuItem preset = entry("2시간", Action::preset);
    preset.tag = 2;
    preset.state = ControlState::off;
    preset.enabled = !busy;
    menu.addItem(preset);
    MenuItem quit = entry("종료 (예약도 취소)", Action::quitApp);
    quit.keyEquivalent = "q";
    quit.enabled = !busy;
    menu.addItem(quit);
    return menu;
}

} // namespace

TEST(Screen, KeysFollowTheEntriesActions)
{
    MenuItem preset = entry("4시간", Action::preset);
    preset.tag = 4;
    EXPECT_EQ(keyFor(preset), '4');
    preset.tag.reset();
    EXPECT_EQ(keyFor(preset), std::nullopt);
    EXPECT_EQ(keyFor(entry("", Action::toggleAutomatic)), 'a');
    EXPECT_EQ(keyFor(entry("", Action::customDuration)), 'c');
    EXPECT_EQ(keyFor(entry("", Action::cancelTimer)), 'x');
    EXPECT_EQ(keyFor(entry("", Action::quitApp)), 'q');
    EXPECT_EQ(keyFor(entry("VPN 연결됨")), std::nullopt);
    MenuItem own = entry("", Action::cancelTimer);
    own.keyEquivalent = "z";
    EXPECT_EQ(keyFor(own), 'z');
}

TEST(Screen, TitleThenMenuWithMarksInText)
{
    ScreenState state { "VPN 0:59:58", sampleMenu(false), 1, nullptr };
    const std::vector<std::string> lines = layoutScreen(state, 60, 40);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "VPN 0:59:58");
    EXPECT_EQ(lines[2], "        VPN 연결됨");
    EXPECT_EQ(lines[3], "> [a] ✓ 연결 감지 시 자동 시작");
    EXPECT_EQ(lines[4].rfind("  ─", 0), 0u);
    EXPECT_EQ(lines[5], "  [2]   2시간");
    EXPECT_EQ(lines[6], "  [q]   종료 (예약도 취소)");

    // Busy: the disabled entries lose their keys, visibly without colour.
    state.menu = sampleMenu(true);
    const std::vector<std::string> busy = layoutScreen(state, 60, 40);
    EXPECT_EQ(busy[5], "   -    2시간");
    EXPECT_EQ(busy[6], "   -    종료 (예약도 취소)");
}

TEST(Screen, NothingWiderOrTallerThanTheTerminal)
{
    ScreenState state { "VPN 해제 중…", sampleMenu(false), 3, nullptr };
    for (const int columns : { 16, 20, 30 }) {
        const std::vector<std::string> lines = layoutScreen(state, columns, 7);
        EXPECT_EQ(lines.size(), 7u);
        for (const std::string& line : lines) {
            EXPECT_LE(displayWidth(line), columns) << line;
        }
    }
}

TEST(Screen, TooSmallForTheTitleAndTheMenuShowsOnlyThat)
{
    // A cut title would read as another time; a wrapped line would scroll.
    ScreenState state { "VPN 0:00:30", sampleMenu(false), 1, nullptr };
    EXPECT_EQ(layoutScreen(state, 10, 40), (std::vector<std::string> { "too small" }));
    EXPECT_EQ(layoutScreen(state, 40, 6), (std::vector<std::string> { "terminal too small" }));
    EXPECT_EQ(layoutScreen(state, 1, 1), (std::vector<std::string> { "" }));
    EXPECT_EQ(layoutScreen(state, 40, 7).size(), 7u);
}

TEST(Screen, ALongTextScrollsBetweenTheHeadingAndTheButtons)
{
    std::string flood;
    for (int i = 0; flood.size() < (1u << 20); ++i) {
        flood += "  >> notice: line " + std::to_string(i) + "\n";
    }
    flood += "last line";
    const int columns = 60;
    const auto inner = static_cast<std::size_t>(columns - 2);
    const std::string longLine(20000, 'x');
    // A tool that flooded its output, and one line of 20,000 characters: the
    // newest end shows first, and scrolled all the way back, the oldest line
    // laid out (the cut's mark, for the flood).
    for (const auto& [text, newest, oldest] : {
             std::tuple<std::string, std::string, std::string> { flood, "last line", "…" },
             { longLine, std::string(longLine.size() % inner, 'x'), std::string(inner, 'x') },
         }) {
        Dialog dialog { {}, LineEditor() };
        dialog.alert.messageText = "연결 해제 명령 완료";
        dialog.alert.informativeText = text;
        dialog.alert.addButtonWithTitle("확인");
        const ScreenState state { "VPN ◷", {}, std::nullopt, &dialog };
        for (const std::size_t back : { std::size_t { 0 }, dialogScroll(dialog, columns, 20).limit + 5 }) {
            dialog.scrolledBack = back;
            const std::vector<std::string> lines = layoutScreen(state, columns, 20);
            ASSERT_EQ(lines.size(), 20u);
            for (const std::string& line : lines) {
                EXPECT_LE(displayWidth(line), columns) << line;
            }
            EXPECT_EQ(lines[3], "│ 연결 해제 명령 완료");
            EXPECT_EQ(lines[back == 0 ? 16 : 4], "│ " + (back == 0 ? newest : oldest));
            EXPECT_EQ(lines[17].rfind("│ ↑/↓ PgUp/PgDn: lines ", 0), 0u) << lines[17];
            EXPECT_EQ(lines[18], "│ Enter/Esc: 확인");
        }
    }
}

TEST(Screen, DialogShowsItsTextsFieldAndButtons)
{
    Dialog dialog { {}, LineEditor("120") };
    dialog.alert.messageText = "자동 해제 시간을 설정하세요";
    dialog.alert.informativeText = "1~10,080분을 입력하세요.";
    dialog.alert.accessoryView = TextField { "120", {} };
    dialog.alert.addButtonWithTitle("설정");
    dialog.alert.addButtonWithTitle("취소");
    dialog.field.left();
    ScreenState state { "VPN ◷", sampleMenu(false), 1, &dialog };
    const std::vector<std::string> lines = layoutScreen(state, 50, 20);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[3], "│ 자동 해제 시간을 설정하세요");
    EXPECT_EQ(lines[4], "│ 1~10,080분을 입력하세요.");
    // The caret sits on the last digit, drawn in reverse video.
    EXPECT_EQ(lines[5].rfind("│ [12\x1b[7m0\x1b[27m ", 0), 0u);
    EXPECT_EQ(lines[6], "│ Enter: 설정   Esc: 취소");
    // The menu is not drawn while the dialog is open.
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("자동 시작"), std::string::npos);
    }

    // A long field scrolls so that the caret stays inside it.
    dialog.field = LineEditor(std::string(100, '7'));
    const std::string field = layoutScreen(state, 50, 20)[5];
    EXPECT_NE(field.find("7\x1b[7m \x1b[27m]"), std::string::npos);
    EXPECT_LE(displayWidth(field) - displayWidth("\x1b[7m\x1b[27m"), 50);
}

TEST(Screen, RepaintTouchesOnlyChangedRows)
{
    const std::vector<std::string> before { "VPN 0:00:10", "rule", "menu" };
    std::vector<std::string> after = before;
    EXPECT_EQ(paintChanges(before, after, 80), "");
    after[0] = "VPN 0:00:09";
    EXPECT_EQ(paintChanges(before, after, 80), "\x1b[1;1H\x1b[2KVPN 0:00:09");
    // Rows that are gone are cleared; new ones are drawn.
    EXPECT_EQ(paintChanges(before, { "VPN ◷" }, 80), "\x1b[1;1H\x1b[2KVPN ◷\x1b[2;1H\x1b[2K\x1b[3;1H\x1b[2K");
    EXPECT_EQ(paintChanges({}, { "a", "b" }, 80), "\x1b[1;1H\x1b[2Ka\x1b[2;1H\x1b[2Kb");

    // ✓ and ─ are one cell here and two in a CJK terminal: drawn at the edge,
    // the row may have wrapped onto the next, so every row is drawn again.
    after[1] = "[a] ✓ 자동 시작";
    const int width = displayWidth(after[1]);
    EXPECT_EQ(paintChanges(before, after, width + 1), "\x1b[1;1H\x1b[2KVPN 0:00:09\x1b[2;1H\x1b[2K[a] ✓ 자동 시작");
    EXPECT_EQ(paintChanges(before, after, width), paintWhole(after));
    EXPECT_EQ(paintWhole(after), "\x1b[H\x1b[2J\x1b[1;1HVPN 0:00:09\x1b[2;1H[a] ✓ 자동 시작\x1b[3;1Hmenu");
}

TEST(Screen, ATitleAloneIsRepaintedAsAWholeLayoutWouldBeOrNotAtAll)
{
    ScreenState state { "VPN 0:00:10", sampleMenu(false), std::nullopt, nullptr, nullptr };
    std::vector<std::string> shown = layoutScreen(state, 40, 20);
    const std::vector<std::string> before = shown;
    state.title = "VPN 0:00:09\x1b[2J";
    const std::vector<std::string> next = layoutScreen(state, 40, 20);
    EXPECT_EQ(paintTitle(shown, state.title, 40), paintChanges(before, next, 40));
    EXPECT_EQ(shown, next);
    EXPECT_EQ(paintTitle(shown, state.title, 40), "");
    state.title = "VPN 0:00:08";
    EXPECT_EQ(paintTitle(shown, state.title, 40), paintChanges(next, layoutScreen(state, 40, 20), 40));
    EXPECT_EQ(shown, layoutScreen(state, 40, 20));

    // Whenever more would change, the caller lays the screen out again.
    EXPECT_EQ(paintTitle(shown, std::string(41, 'x'), 40), std::nullopt);
    EXPECT_EQ(paintTitle(shown, "VPN ✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓✓", 40), std::nullopt);
    std::vector<std::string> tooSmall = layoutScreen(state, 40, 3);
    ASSERT_EQ(tooSmall.size(), 1U);
    EXPECT_EQ(paintTitle(tooSmall, "VPN", 40), std::nullopt);
    EXPECT_EQ(shown, layoutScreen(state, 40, 20));
}
