// SPDX-License-Identifier: MIT
// The status item as a notify icon (Shell_NotifyIconW, NOTIFYICON_VERSION_4)
// on the message window: the tooltip carries the title as the other front
// ends show it, the icon draws the state (see IconFace.hpp), and a left or
// right click opens the status menu as a popup built from the last menu.
//
// Main thread only. A choice is not delivered from inside the popup's loop:
// the entry as it was shown is posted to the main queue through
// Menu::choice, so a choice waits for a modal dialog to close and no
// controller operation runs inside the menu's tracking.
#pragma once

#include "IconFace.hpp"
#include "Lintara/platform/Platform.hpp"
#include "MessageWindow.hpp"
#include "ProgramHooks.hpp"

#include <shellapi.h>

#include <optional>
#include <string>

namespace lintara::win32 {

class NotifyIconItem final : public StatusItem::Backend, public StatusButton {
public:
    NotifyIconItem(MessageWindow& window, DispatchQueue& mainQueue, ProgramHooks& hooks);
    ~NotifyIconItem() override;
    NotifyIconItem(const NotifyIconItem&) = delete;
    NotifyIconItem& operator=(const NotifyIconItem&) = delete;

    StatusButton* button() override { return this; }
    void setMenu(const Menu& menu) override;
    void setTitle(const std::string& title) override;

    // Opens the popup at a point on the screen, and waits until it closes.
    void openMenu(POINT at);
    // Chooses the entry with this title as a click in the popup would; false
    // when the last menu has none.
    bool choose(std::string_view title);
    // Takes the icon off the taskbar; it would otherwise linger there, dead,
    // after the process ends.
    void remove();

private:
    void add();
    void redrawIcon();
    void deliver(const Menu& shown, std::size_t index);

    MessageWindow& window_;
    DispatchQueue& mainQueue_;
    ProgramHooks& hooks_;
    NOTIFYICONDATAW data_ {};
    std::optional<Menu> menu_;
    std::optional<std::string> title_;
    std::optional<IconFace> face_;
    HICON icon_ = nullptr;
    bool added_ = false;
    bool menuOpen_ = false;
};

// Hands out one notify icon; keeps the latest, which the message of a second
// start and the test build reach.
class NotifyIconStatusBar final : public StatusBar {
public:
    NotifyIconStatusBar(MessageWindow& window, DispatchQueue& mainQueue, ProgramHooks& hooks);
    StatusItem statusItemWithLength(double length) override;
    // Null until the controller has asked for its item.
    [[nodiscard]] NotifyIconItem* item() const { return item_; }

private:
    MessageWindow& window_;
    DispatchQueue& mainQueue_;
    ProgramHooks& hooks_;
    NotifyIconItem* item_ = nullptr;
};

} // namespace lintara::win32
