// SPDX-License-Identifier: MIT
// The status item as a tray indicator: Ayatana AppIndicator carries the title
// as its label and the status menu as one long-lived GtkMenu.
//
// Main thread only. Menu choices are not delivered from inside the toolkit's
// signal handler: the chosen entry, as it was shown, is posted to the main
// queue, so a choice made while a modal dialog is open waits for it to close
// and no controller operation runs inside a toolkit callback.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "MenuPlan.hpp"

#include <optional>
#include <string>
#include <vector>

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;
typedef struct _GtkAccelGroup GtkAccelGroup;

namespace lintara::gtk {

struct IndicatorIdentity {
    // The indicator's id; the host sees it in the item's object path.
    std::string id;
    // Looked up in the icon themes of XDG_DATA_DIRS, where the installation
    // puts it. No theme path of our own is passed: the indicator library's
    // fallback for desktops without a tray host reads past the end of the
    // theme's search path when one is set, and crashes.
    std::string iconName;
};

class IndicatorStatusItem final : public StatusItem::Backend, public StatusButton {
public:
    IndicatorStatusItem(const IndicatorIdentity& identity, DispatchQueue& mainQueue);
    ~IndicatorStatusItem() override;
    IndicatorStatusItem(const IndicatorStatusItem&) = delete;
    IndicatorStatusItem& operator=(const IndicatorStatusItem&) = delete;

    StatusButton* button() override { return this; }
    void setMenu(const Menu& menu) override;
    void setTitle(const std::string& title) override;

private:
    struct Entry {
        GtkWidget* widget = nullptr;
        unsigned long activateHandler = 0;
    };

    static void onActivate(GtkWidget* widget, void* self);
    void chosen(GtkWidget* widget);
    void rebuild(const Menu& menu);
    void apply(const EntryUpdate& update);
    void showChecked(const Entry& entry, bool checked);

    AppIndicator* indicator_;
    GtkWidget* menu_;
    GtkAccelGroup* accelGroup_;
    DispatchQueue& mainQueue_;
    std::vector<Entry> entries_;
    std::optional<Menu> shown_;
    std::optional<std::string> title_;
};

} // namespace lintara::gtk

namespace lintara::gtk {

// The status bar of a tray: every item it hands out is an indicator of its
// own with the same identity, so it is meant to hand out one.
class IndicatorStatusBar final : public StatusBar {
public:
    IndicatorStatusBar(IndicatorIdentity identity, DispatchQueue& mainQueue);
    StatusItem statusItemWithLength(double length) override;

private:
    IndicatorIdentity identity_;
    DispatchQueue& mainQueue_;
};

} // namespace lintara::gtk
