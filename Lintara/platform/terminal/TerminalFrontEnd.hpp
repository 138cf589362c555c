// SPDX-License-Identifier: MIT
// The terminal as Lintara's status item, menu and dialogs: one full-screen
// view in the alternate screen, driven from the GLib main loop.
//
// Main thread only. Construct it only with a terminal on both standard input
// and standard output; main() checks that first.
#pragma once

#include "Keys.hpp"
#include "Lintara/platform/Platform.hpp"
#include "Lintara/platform/glib/ModalLoop.hpp"
#include "Screen.hpp"
#include "Terminfo.hpp"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace lintara::terminal {

class TerminalFrontEnd final : public Application, public StatusBar, public Alerts, public Warnings {
public:
    TerminalFrontEnd(glib::ModalLoop& modalLoop, int inputFd, int outputFd, Sequences sequences);
    ~TerminalFrontEnd() override;
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    // Application. There is no dock or menu bar to leave, so the activation
    // policy changes nothing; activating rings the bell and redraws, which is
    // what bringing a terminal program to the front can mean.
    void setActivationPolicy(ActivationPolicy policy) override;
    void setDelegate(ApplicationDelegate* delegate) override;
    void run() override;
    void terminate() override;
    void activateIgnoringOtherApps(IgnoringOtherApps ignoring) override;

    // StatusBar. The terminal has room for one item; a second would draw over
    // the first.
    StatusItem statusItemWithLength(double length) override;

    // Alerts: drawn in place of the menu, answered from the keyboard, run in
    // the GLib base's modal loop.
    ModalResponse runModal(const Alert& alert) override;

    // Warnings: a banner under the title, announced by one bell, acted on
    // with its keys (see warningKey) while the menu shows.
    void prepare() override { }
    void show(const Warning& warning, std::function<void(WarningAction)> chosen) override;
    void withdraw() override;

    // Used by the status item.
    void setTitle(const std::string& title);
    void setMenu(const Menu& menu);

private:
    enum class Redraw { changes, whole };
    void redraw(Redraw how = Redraw::changes);
    void readInput();
    // Hands queued keys to the dialog, or to the menu, until none are left
    // or a dialog has just been answered.
    void drainKeys();
    void handleMenuKey(const Key& key);
    void handleDialogKey(const Key& key);
    void scrollDialog(Key::Kind kind);
    // The wait for the rest of an escape sequence is over.
    void endEscapeWait();
    void moveSelection(int step);
    void choose(std::optional<std::size_t> index);

    glib::ModalLoop& modalLoop_;
    int inputFd_;
    int outputFd_;
    Sequences sequences_;
    ApplicationDelegate* delegate_ = nullptr;
    KeyDecoder decoder_;
    std::deque<Key> keys_;
    std::string title_;
    Menu menu_;
    std::optional<std::size_t> selected_;
    std::optional<Dialog> dialog_;
    std::optional<long> answer_;
    std::optional<Warning> warning_;
    std::function<void(WarningAction)> warningChosen_;
    std::vector<std::string> shown_;
    // The width shown_ was laid out for.
    int columns_ = 0;
    unsigned inputWatch_ = 0;
    unsigned escapeWait_ = 0;
    unsigned continuedWatch_ = 0;
    std::vector<unsigned> signalWatches_;
};

} // namespace lintara::terminal
