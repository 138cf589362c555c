// SPDX-License-Identifier: MIT
#include "MenuPlan.hpp"

namespace lintara::gtk {

EntryKind entryKind(const MenuItem& item)
{
    if (item.isSeparator) {
        return EntryKind::separator;
    }
    // An entry whose state was ever set may later show a check mark, so it
    // needs a widget that can draw one from the start.
    return item.state ? EntryKind::check : EntryKind::plain;
}

bool entrySensitive(const Menu& menu, const MenuItem& item)
{
    if (menu.autoenablesItems == AutoenablesItems::yes) {
        return menu.leadsSomewhere(item);
    }
    return item.isEnabled();
}

bool entryChecked(const MenuItem& item) { return item.state == ControlState::on; }

namespace {
    bool sameShape(const Menu& shown, const Menu& next)
    {
        if (shown.items.size() != next.items.size()) {
            return false;
        }
        for (std::size_t index = 0; index < next.items.size(); ++index) {
            const MenuItem& before = shown.items[index];
            const MenuItem& after = next.items[index];
            // The key equivalent is bound to the widget once, when it is made.
            if (entryKind(before) != entryKind(after) || before.keyEquivalent != after.keyEquivalent) {
                return false;
            }
        }
        return true;
    }
} // namespace

MenuPlan planMenuUpdate(const std::optional<Menu>& shown, const Menu& next)
{
    MenuPlan plan;
    if (!shown || !sameShape(*shown, next)) {
        plan.rebuild = MenuRebuild::yes;
        return plan;
    }
    for (std::size_t index = 0; index < next.items.size(); ++index) {
        const MenuItem& before = shown->items[index];
        const MenuItem& after = next.items[index];
        if (after.isSeparator) {
            continue;
        }
        EntryUpdate update;
        update.index = index;
        if (before.title != after.title) {
            update.title = after.title;
        }
        if (entryKind(after) == EntryKind::check && entryChecked(before) != entryChecked(after)) {
            update.checked = entryChecked(after);
        }
        const bool wasSensitive = entrySensitive(*shown, before);
        const bool isSensitive = entrySensitive(next, after);
        if (wasSensitive != isSensitive) {
            update.sensitive = isSensitive;
        }
        if (update.title || update.checked || update.sensitive) {
            plan.updates.push_back(std::move(update));
        }
    }
    return plan;
}

} // namespace lintara::gtk
