// SPDX-License-Identifier: MIT
#include "TerminalFrontEnd.hpp"

#include "TerminalMode.hpp"

#include <glib-unix.h>
#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace lintara::terminal {

namespace {

    class Button final : public StatusButton {
    public:
        explicit Button(TerminalFrontEnd& front)
            : front_(front)
        {
        }
        void setTitle(const std::string& title) override { front_.setTitle(title); }

    private:
        TerminalFrontEnd& front_;
    };

    class ItemBackend final : public StatusItem::Backend {
    public:
        explicit ItemBackend(TerminalFrontEnd& front)
            : front_(front)
            , button_(front)
        {
        }
        StatusButton* button() override { return &button_; }
        void setMenu(const Menu& menu) override { front_.setMenu(menu); }

    private:
        TerminalFrontEnd& front_;
        Button button_;
    };

    // How long the rest of an escape sequence may take to arrive before the
    // Escape byte that began it counts as the Escape key: longer than the gap
    // between the pieces of one sequence, shorter than a person notices.
    constexpr unsigned escapeWaitMilliseconds = 50;

    struct Size {
        int columns = 80;
        int rows = 24;
    };

    Size terminalSize(int fd)
    {
        winsize size {};
        if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
            return { size.ws_col, size.ws_row };
        }
        return {};
    }

    // Leaves by the signal's conventional status, with the terminal restored
    // first. Runs as a GLib source, so it may do anything; exit() rather
    // than _Exit(), so that a running state query is ended as on quit.
    gboolean leaveOnSignal(gpointer data)
    {
        const int signal = GPOINTER_TO_INT(data);
        restoreTerminal();
        std::exit(128 + signal);
    }

} // namespace

TerminalFrontEnd::TerminalFrontEnd(glib::ModalLoop& modalLoop, int inputFd, int outputFd, Sequences sequences)
    : modalLoop_(modalLoop)
    , inputFd_(inputFd)
    , outputFd_(outputFd)
    , sequences_(std::move(sequences))
{
    enterFullScreen(inputFd_, outputFd_, sequences_);
    inputWatch_ = g_unix_fd_add(
        inputFd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
        [](gint, GIOCondition, gpointer data) -> gboolean {
            static_cast<TerminalFrontEnd*>(data)->readInput();
            return G_SOURCE_CONTINUE;
        },
        this);
    // A key may open a dialog, whose nested loop must go on reading keys
    // while the key's own dispatch is still under way.
    g_source_set_can_recurse(g_main_context_find_source_by_id(nullptr, inputWatch_), TRUE);
    for (const int signal : { SIGTERM, SIGHUP, SIGINT }) {
        signalWatches_.push_back(g_unix_signal_add(signal, leaveOnSignal, GINT_TO_POINTER(signal)));
    }
    signalWatches_.push_back(g_unix_signal_add(
        SIGWINCH,
        [](gpointer data) -> gboolean {
            static_cast<TerminalFrontEnd*>(data)->redraw(Redraw::whole);
            return G_SOURCE_CONTINUE;
        },
        this));
    if (continuedFd() >= 0) {
        continuedWatch_ = g_unix_fd_add(
            continuedFd(), G_IO_IN,
            [](gint fd, GIOCondition, gpointer data) -> gboolean {
                char bytes[64];
                while (read(fd, bytes, sizeof bytes) > 0) { }
                static_cast<TerminalFrontEnd*>(data)->redraw(Redraw::whole);
                return G_SOURCE_CONTINUE;
            },
            this);
    }
    redraw(Redraw::whole);
}

TerminalFrontEnd::~TerminalFrontEnd()
{
    for (const unsigned watch : signalWatches_) {
        g_source_remove(watch);
    }
    for (const unsigned source : { continuedWatch_, escapeWait_ }) {
        if (source != 0) {
            g_source_remove(source);
        }
    }
    g_source_remove(inputWatch_);
    restoreTerminal();
}

void TerminalFrontEnd::setActivationPolicy(ActivationPolicy) { }

void TerminalFrontEnd::setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }

void TerminalFrontEnd::run()
{
    GMainLoop* loop = g_main_loop_new(modalLoop_.context(), FALSE);
    // Launch finishes from inside the loop, as on other platforms, so the
    // first render and the first query start with the loop already going.
    g_idle_add_full(
        G_PRIORITY_HIGH,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<TerminalFrontEnd*>(data);
            if (self->delegate_ != nullptr) {
                self->delegate_->applicationDidFinishLaunching();
            }
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
}

void TerminalFrontEnd::terminate()
{
    restoreTerminal();
    std::exit(0);
}

void TerminalFrontEnd::activateIgnoringOtherApps(IgnoringOtherApps)
{
    writeToTerminal(sequences_.ringBell);
    redraw(Redraw::whole);
}

StatusItem TerminalFrontEnd::statusItemWithLength(double) { return StatusItem(std::make_unique<ItemBackend>(*this)); }

void TerminalFrontEnd::setTitle(const std::string& title)
{
    // Set on every tick, and mostly all that changed since the last one: the
    // title's row alone is redrawn then, in the size the last layout found
    // (a resize lays out again when its signal arrives).
    if (title == title_) {
        return;
    }
    title_ = title;
    if (const std::optional<std::string> bytes = paintTitle(shown_, title_, columns_, sequences_)) {
        if (!bytes->empty()) {
            writeToTerminal(*bytes);
        }
        return;
    }
    redraw();
}

void TerminalFrontEnd::setMenu(const Menu& menu)
{
    // Every render sets the menu, which mostly shows what it did: then there
    // is nothing to draw. Copied over the last one, whose buffers it reuses.
    const bool unchanged = menu_.items == menu.items;
    menu_ = menu;
    if (unchanged) {
        return;
    }
    // The menu is rebuilt on every render with the same entries, so the
    // selection stays on the same line; it moves only if that line is gone.
    if (!selected_ || *selected_ >= menu_.items.size() || !isChoosable(menu_.items[*selected_])) {
        selected_.reset();
        moveSelection(1);
    }
    redraw();
}

void TerminalFrontEnd::show(const Warning& warning, std::function<void(WarningAction)> chosen)
{
    warning_ = warning;
    warningChosen_ = std::move(chosen);
    writeToTerminal(sequences_.ringBell);
    redraw();
}

void TerminalFrontEnd::withdraw()
{
    warning_.reset();
    warningChosen_ = nullptr;
    redraw();
}

ModalResponse TerminalFrontEnd::runModal(const Alert& alert)
{
    const std::string initial = alert.accessoryView ? alert.accessoryView->stringValue : std::string();
    dialog_.emplace(Dialog { alert, LineEditor(initial) });
    answer_.reset();
    redraw();
    // Keys typed ahead, after the one that opened this dialog, are its own.
    drainKeys();
    const bool closedItself = modalLoop_.run([this] { return answer_.has_value(); }, alert.closesAt);
    ModalResponse response;
    response.code = closedItself ? modalResponseAbort : *answer_;
    response.fieldText = dialog_->field.text();
    dialog_.reset();
    answer_.reset();
    redraw();
    if (!keys_.empty()) {
        // Keys typed after the answer wait until the operation that opened
        // the dialog has finished, then go to the menu.
        g_idle_add(
            [](gpointer data) -> gboolean {
                static_cast<TerminalFrontEnd*>(data)->drainKeys();
                return G_SOURCE_REMOVE;
            },
            this);
    }
    return response;
}

void TerminalFrontEnd::redraw(Redraw how)
{
    const Size size = terminalSize(outputFd_);
    columns_ = size.columns;
    ScreenState state { title_, menu_, selected_, dialog_ ? &*dialog_ : nullptr, warning_ ? &*warning_ : nullptr };
    const std::vector<std::string> next = layoutScreen(state, size.columns, size.rows, sequences_);
    const std::string bytes
        = how == Redraw::whole ? paintWhole(next, sequences_) : paintChanges(shown_, next, size.columns, sequences_);
    shown_ = next;
    if (!bytes.empty()) {
        writeToTerminal(bytes);
    }
}

void TerminalFrontEnd::readInput()
{
    char buffer[4096];
    const ssize_t count = read(inputFd_, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (count <= 0) {
        // The terminal has gone (the window closed, the SSH session ended):
        // nobody is left to show anything to, so leave as on a hang-up.
        restoreTerminal();
        std::exit(128 + SIGHUP);
    }
    for (Key& key : decoder_.feed(std::string_view(buffer, static_cast<std::size_t>(count)))) {
        keys_.push_back(std::move(key));
    }
    if (decoder_.holdsEscape() && escapeWait_ == 0) {
        escapeWait_ = g_timeout_add(
            escapeWaitMilliseconds,
            [](gpointer data) -> gboolean {
                auto* self = static_cast<TerminalFrontEnd*>(data);
                self->escapeWait_ = 0;
                self->endEscapeWait();
                return G_SOURCE_REMOVE;
            },
            this);
    }
    drainKeys();
}

void TerminalFrontEnd::endEscapeWait()
{
    // The rest may have come just as the wait ended, unread yet.
    pollfd input { inputFd_, POLLIN, 0 };
    if (poll(&input, 1, 0) > 0) {
        readInput();
        return;
    }
    for (Key& key : decoder_.giveUpWaiting()) {
        keys_.push_back(std::move(key));
    }
    drainKeys();
}

void TerminalFrontEnd::drainKeys()
{
    while (!keys_.empty() && !answer_) {
        const Key key = std::move(keys_.front());
        keys_.pop_front();
        if (key.kind == Key::Kind::suspend) {
            // Raw mode turns off the terminal's own Ctrl-Z; this does what
            // it would, and SIGTSTP's handler hands the terminal back first.
            raise(SIGTSTP);
        } else if (dialog_) {
            handleDialogKey(key);
        } else {
            // May open a dialog, which drains the keys typed after this one.
            handleMenuKey(key);
        }
    }
}

void TerminalFrontEnd::handleMenuKey(const Key& key)
{
    switch (key.kind) {
    case Key::Kind::up:
        moveSelection(-1);
        redraw();
        return;
    case Key::Kind::down:
        moveSelection(1);
        redraw();
        return;
    case Key::Kind::enter: choose(selected_); return;
    case Key::Kind::interrupt:
        for (std::size_t i = 0; i < menu_.items.size(); ++i) {
            if (menu_.items[i].action == Action::quitApp) {
                choose(i);
                return;
            }
        }
        return;
    case Key::Kind::text:
        if (warning_ && key.text.size() == 1) {
            for (const Warning::Choice& choice : warning_->actions) {
                if (warningKey(choice.action) == key.text.front()) {
                    // A copy: the choice withdraws the warning it came from.
                    const std::function<void(WarningAction)> chosen = warningChosen_;
                    chosen(choice.action);
                    return;
                }
            }
        }
        if (key.text.size() == 1) {
            for (std::size_t i = 0; i < menu_.items.size(); ++i) {
                if (isChoosable(menu_.items[i]) && keyFor(menu_.items[i]) == key.text.front()) {
                    choose(i);
                    return;
                }
            }
        }
        return;
    default: return;
    }
}

void TerminalFrontEnd::handleDialogKey(const Key& key)
{
    LineEditor& field = dialog_->field;
    const bool editable = dialog_->alert.accessoryView.has_value();
    switch (key.kind) {
    case Key::Kind::enter: answer_ = alertFirstButtonReturn; return;
    case Key::Kind::escape:
    case Key::Kind::interrupt:
        // Anything but the first button counts as cancel; with one button
        // this simply closes the alert.
        answer_ = alertSecondButtonReturn;
        return;
    case Key::Kind::up:
    case Key::Kind::down:
    case Key::Kind::pageUp:
    case Key::Kind::pageDown:
        scrollDialog(key.kind);
        redraw();
        return;
    default: break;
    }
    if (!editable) {
        return;
    }
    switch (key.kind) {
    case Key::Kind::text: field.insert(key.text); break;
    case Key::Kind::backspace: field.backspace(); break;
    case Key::Kind::del: field.deleteForward(); break;
    case Key::Kind::left: field.left(); break;
    case Key::Kind::right: field.right(); break;
    case Key::Kind::home: field.home(); break;
    case Key::Kind::end: field.end(); break;
    case Key::Kind::killLine: field.killToStart(); break;
    default: return;
    }
    redraw();
}

void TerminalFrontEnd::scrollDialog(Key::Kind kind)
{
    const Size size = terminalSize(outputFd_);
    const TextScroll scroll = dialogScroll(*dialog_, size.columns, size.rows);
    // A page keeps one line of the last in view.
    const std::size_t page = std::max<std::size_t>(scroll.page, 2) - 1;
    std::size_t& back = dialog_->scrolledBack;
    back = std::min(back, scroll.limit);
    switch (kind) {
    case Key::Kind::up: back = std::min(back + 1, scroll.limit); break;
    case Key::Kind::pageUp: back = std::min(back + page, scroll.limit); break;
    case Key::Kind::down: back -= std::min<std::size_t>(back, 1); break;
    case Key::Kind::pageDown: back -= std::min(back, page); break;
    default: break;
    }
}

void TerminalFrontEnd::moveSelection(int step)
{
    const auto count = static_cast<long>(menu_.items.size());
    if (count == 0) {
        return;
    }
    long index = selected_ ? static_cast<long>(*selected_) : (step > 0 ? -1 : count);
    for (long tried = 0; tried < count; ++tried) {
        index += step;
        if (index < 0 || index >= count) {
            return; // stop at the ends rather than wrap
        }
        if (isChoosable(menu_.items[static_cast<std::size_t>(index)])) {
            selected_ = static_cast<std::size_t>(index);
            return;
        }
    }
}

void TerminalFrontEnd::choose(std::optional<std::size_t> index)
{
    if (!index || *index >= menu_.items.size()) {
        return;
    }
    // The choice copies the entry before it runs: the action redraws, which
    // replaces the menu the entry lives in.
    if (!menu_.choose(menu_.items[*index])) {
        writeToTerminal(sequences_.ringBell);
    }
}

} // namespace lintara::terminal
