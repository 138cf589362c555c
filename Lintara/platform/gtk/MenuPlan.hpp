// SPDX-License-Identifier: MIT
// Turning the menu the controller builds on every redraw into the few changes
// a long-lived toolkit menu needs.
//
// The tray host addresses menu entries by ids that the toolkit hands out when
// an entry widget is created. If each redraw created new widgets, a click the
// host sends with the id it saw a moment ago would name an entry that no
// longer exists, and the user's choice would be lost. So the binding keeps one
// set of widgets and asks this planner what to change in them. The planner is
// pure so that what it decides can be checked without a display.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace lintara::gtk {

// What kind of widget one entry needs. Two menus with the same kinds in the
// same order can share widgets; anything else needs new ones.
enum class EntryKind { separator, plain, check };

[[nodiscard]] EntryKind entryKind(const MenuItem& item);

// Whether an entry is drawn as one that can be chosen. A menu that enables its
// entries itself enables exactly those that lead somewhere; otherwise each
// entry's own flag holds, which is enabled when never set. What a choice then
// does is Menu::choice's to decide.
[[nodiscard]] bool entrySensitive(const Menu& menu, const MenuItem& item);

// Whether an entry shows a check mark. Only check entries have one to show.
[[nodiscard]] bool entryChecked(const MenuItem& item);

// The changes to one existing entry; an absent field stays as it is.
struct EntryUpdate {
    std::size_t index = 0;
    std::optional<std::string> title;
    std::optional<bool> checked;
    std::optional<bool> sensitive;
};

enum class MenuRebuild { no, yes };

struct MenuPlan {
    // Yes when the entries' kinds, order, number or key equivalents differ:
    // the widgets must then be made anew, and the updates list is empty.
    MenuRebuild rebuild = MenuRebuild::no;
    std::vector<EntryUpdate> updates;
};

// What must change to turn a toolkit menu that shows `shown` into one that
// shows `next`. With nothing shown yet the plan is a rebuild.
[[nodiscard]] MenuPlan planMenuUpdate(const std::optional<Menu>& shown, const Menu& next);

} // namespace lintara::gtk
