// SPDX-License-Identifier: MIT
#include "IndicatorStatusItem.hpp"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include <algorithm>
#include <functional>

namespace lintara::gtk {

namespace {
    // The widest title the controller shows is a countdown of up to 168
    // hours; reserving that width keeps the panel from shifting every second.
    constexpr const char* labelGuide = "VPN 888:88:88";

    // The modifier a GTK menu shows for a one-letter key equivalent, as
    // Command is on a Mac menu.
    constexpr GdkModifierType keyEquivalentModifier = GDK_CONTROL_MASK;

    GtkWidget* makeEntryWidget(const MenuItem& item)
    {
        switch (entryKind(item)) {
        case EntryKind::separator: return gtk_separator_menu_item_new();
        case EntryKind::check: return gtk_check_menu_item_new_with_label(item.title.c_str());
        case EntryKind::plain: return gtk_menu_item_new_with_label(item.title.c_str());
        }
        return gtk_menu_item_new_with_label(item.title.c_str());
    }
} // namespace

IndicatorStatusItem::IndicatorStatusItem(const IndicatorIdentity& identity, DispatchQueue& mainQueue)
    : indicator_(
        app_indicator_new(identity.id.c_str(), identity.iconName.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS))
    , menu_(GTK_WIDGET(g_object_ref_sink(gtk_menu_new())))
    , accelGroup_(gtk_accel_group_new())
    , mainQueue_(mainQueue)
{
    gtk_menu_set_accel_group(GTK_MENU(menu_), accelGroup_);
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
    // The indicator registers with the host only once it has a menu, so it
    // gets the (still empty) one now; the first render fills it.
    app_indicator_set_menu(indicator_, GTK_MENU(menu_));
}

IndicatorStatusItem::~IndicatorStatusItem()
{
    g_object_unref(indicator_);
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
    g_object_unref(accelGroup_);
}

void IndicatorStatusItem::setTitle(const std::string& title)
{
    // The controller sets the title on every tick; the host only needs to
    // hear about a change.
    if (title_ == title) {
        return;
    }
    title_ = title;
    app_indicator_set_label(indicator_, title.c_str(), labelGuide);
    // Hosts that draw no labels show the title in the tooltip instead.
    app_indicator_set_title(indicator_, title.c_str());
}

void IndicatorStatusItem::setMenu(const Menu& menu)
{
    const MenuPlan plan = planMenuUpdate(shown_, menu);
    if (plan.rebuild == MenuRebuild::yes) {
        rebuild(menu);
    } else {
        for (const EntryUpdate& update : plan.updates) {
            apply(update);
        }
    }
    shown_ = menu;
}

void IndicatorStatusItem::rebuild(const Menu& menu)
{
    for (const Entry& entry : entries_) {
        gtk_widget_destroy(entry.widget);
    }
    entries_.clear();
    for (const MenuItem& item : menu.items) {
        Entry entry;
        entry.widget = makeEntryWidget(item);
        if (!item.isSeparator) {
            if (entryKind(item) == EntryKind::check) {
                gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry.widget), entryChecked(item));
            }
            gtk_widget_set_sensitive(entry.widget, entrySensitive(menu, item));
            if (!item.keyEquivalent.empty()) {
                const guint key = gdk_unicode_to_keyval(g_utf8_get_char(item.keyEquivalent.c_str()));
                gtk_widget_add_accelerator(
                    entry.widget, "activate", accelGroup_, key, keyEquivalentModifier, GTK_ACCEL_VISIBLE);
            }
            // Connected after the initial state is set, so building the menu
            // chooses nothing.
            entry.activateHandler = g_signal_connect(entry.widget, "activate", G_CALLBACK(onActivate), this);
        }
        gtk_widget_show(entry.widget);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_), entry.widget);
        entries_.push_back(entry);
    }
}

void IndicatorStatusItem::apply(const EntryUpdate& update)
{
    const Entry& entry = entries_.at(update.index);
    if (update.title) {
        gtk_menu_item_set_label(GTK_MENU_ITEM(entry.widget), update.title->c_str());
    }
    if (update.checked) {
        showChecked(entry, *update.checked);
    }
    if (update.sensitive) {
        gtk_widget_set_sensitive(entry.widget, *update.sensitive);
    }
}

void IndicatorStatusItem::showChecked(const Entry& entry, bool checked)
{
    // Setting a check entry emits "activate" as if the user had chosen it;
    // with the handler live, two entries would keep choosing each other.
    g_signal_handler_block(entry.widget, entry.activateHandler);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry.widget), checked);
    g_signal_handler_unblock(entry.widget, entry.activateHandler);
}

void IndicatorStatusItem::onActivate(GtkWidget* widget, void* self)
{
    static_cast<IndicatorStatusItem*>(self)->chosen(widget);
}

void IndicatorStatusItem::chosen(GtkWidget* widget)
{
    const auto found = std::find_if(
        entries_.begin(), entries_.end(), [widget](const Entry& entry) { return entry.widget == widget; });
    if (found == entries_.end() || !shown_) {
        return;
    }
    const MenuItem& item = shown_->items.at(static_cast<std::size_t>(found - entries_.begin()));
    // The toolkit has already flipped a check entry; the mark must keep
    // showing the controller's state until the controller changes it.
    if (entryKind(item) == EntryKind::check) {
        showChecked(*found, entryChecked(item));
    }
    // The entry as the user saw it, not as a later redraw may change it.
    if (std::function<void()> work = shown_->choice(item)) {
        mainQueue_.async(std::move(work));
    }
}

} // namespace lintara::gtk

namespace lintara::gtk {

IndicatorStatusBar::IndicatorStatusBar(IndicatorIdentity identity, DispatchQueue& mainQueue)
    : identity_(std::move(identity))
    , mainQueue_(mainQueue)
{
}

StatusItem IndicatorStatusBar::statusItemWithLength(double /*length*/)
{
    // A tray label is as wide as its text; the guide text, not a length,
    // is what keeps it steady.
    return StatusItem(std::make_unique<IndicatorStatusItem>(identity_, mainQueue_));
}

} // namespace lintara::gtk
