// SPDX-License-Identifier: MIT
#include "Win32Alerts.hpp"

#include "DialogLayout.hpp"
#include "Lintara/platform/win32/Conversions.hpp"

#include <algorithm>
#include <cmath>

namespace lintara::win32 {

namespace {
    constexpr UINT_PTR closesAtTimer = 1;
} // namespace

struct Win32Alerts::Open {
    const Alert& alert;
    DialogContent content;
    Clock& clock;
    HWND dialog = nullptr;
    ModalResponse response;

    void finish(long code)
    {
        response.code = code;
        if (HWND field = GetDlgItem(dialog, fieldControl)) {
            const int length = GetWindowTextLengthW(field);
            std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
            GetWindowTextW(field, text.data(), length + 1);
            text.resize(static_cast<std::size_t>(length));
            response.fieldText = narrow(text);
        }
        EndDialog(dialog, 0);
    }

    // Looks again at the instant it closes itself, or closes now.
    void watchClosesAt()
    {
        if (!alert.closesAt) {
            return;
        }
        const double left = alert.closesAt->timeIntervalSince(clock.now());
        if (!(left > 0)) {
            KillTimer(dialog, closesAtTimer);
            finish(modalResponseAbort);
            return;
        }
        // At least once a second: the timer does not count a machine's sleep,
        // and the wall clock may be set meanwhile.
        const double millis = std::ceil(std::min(left, 1.0) * 1000.0);
        SetTimer(dialog, closesAtTimer, static_cast<UINT>(std::max(millis, 10.0)), nullptr);
    }

    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = dialogOwner<Open>(dialog, message, lParam);
        if (self == nullptr) {
            return FALSE;
        }
        switch (message) {
        case WM_INITDIALOG: return self->initialise(dialog);
        case WM_TIMER:
            if (wParam == closesAtTimer) {
                self->watchClosesAt();
            }
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int buttons = static_cast<int>(self->alert.buttons.size());
            if (id >= firstButtonControl && id < firstButtonControl + buttons) {
                self->finish(alertFirstButtonReturn + (id - firstButtonControl));
            } else if (id == IDOK && buttons > 0) {
                self->finish(alertFirstButtonReturn);
            } else if (id == IDCANCEL) {
                // Escape, or the close box.
                self->finish(alertSecondButtonReturn);
            }
            return TRUE;
        }
        case WM_DESTROY: releaseDialogFont(dialog); return FALSE;
        default: return FALSE;
        }
    }

    INT_PTR initialise(HWND window)
    {
        dialog = window;
        layOutDialog(dialog, content, Placement::centre);
        // The application's icon (lintara.rc), in the title bar and Alt-Tab.
        const auto icon = reinterpret_cast<LPARAM>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)));
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, icon);
        SendMessageW(dialog, WM_SETICON, ICON_BIG, icon);
        SendMessageW(dialog, DM_SETDEFID, firstButtonControl, 0);
        SetForegroundWindow(dialog);
        watchClosesAt();
        HWND field = GetDlgItem(dialog, fieldControl);
        if (field != nullptr && alert.initialFirstResponder == FirstResponder::accessoryView) {
            SendMessageW(field, EM_SETSEL, 0, -1);
            SetFocus(field);
        } else if (HWND first = GetDlgItem(dialog, firstButtonControl)) {
            SetFocus(first);
        }
        // The focus is set here, not by the dialog manager.
        return FALSE;
    }
};

Win32Alerts::Win32Alerts(ModalGate& gate, Clock& clock, ProgramHooks& hooks)
    : gate_(gate)
    , clock_(clock)
    , hooks_(hooks)
{
}

ModalResponse Win32Alerts::runModal(const Alert& alert)
{
    Open open { alert, {}, clock_, nullptr, {} };
    open.content.message = alert.messageText;
    open.content.informative = alert.informativeText;
    // Without a field, the text is what the tool printed, of any length.
    open.content.text = alert.accessoryView ? DialogContent::Text::label : DialogContent::Text::scrolling;
    open.content.field = alert.accessoryView;
    open.content.buttons = alert.buttons;
    const std::vector<WORD> dialogTemplate
        = win32::dialogTemplate(open.content, DS_SETFOREGROUND | DS_CENTER, WS_EX_TOPMOST);

    const ModalGate::Session session(gate_);
    Open* outer = open_;
    open_ = &open;
    hooks_.dialogOpened(alert);
    const INT_PTR result
        = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
            nullptr, Open::procedure, reinterpret_cast<LPARAM>(&open));
    open_ = outer;
    if (result == -1) {
        // The dialog could not be made: as good as cancelled.
        open.response = ModalResponse {};
    }
    hooks_.dialogClosed(open.response);
    return open.response;
}

bool Win32Alerts::press(std::string_view button, std::string_view fieldText)
{
    if (open_ == nullptr || open_->dialog == nullptr) {
        return false;
    }
    const auto& buttons = open_->alert.buttons;
    const auto found = std::find(buttons.begin(), buttons.end(), button);
    if (found == buttons.end()) {
        return false;
    }
    if (HWND field = GetDlgItem(open_->dialog, fieldControl)) {
        SetWindowTextW(field, widen(fieldText).c_str());
    }
    const int id = firstButtonControl + static_cast<int>(found - buttons.begin());
    // Posted, as a click is: the dialog's own loop takes it.
    PostMessageW(
        open_->dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(open_->dialog, id)));
    return true;
}

} // namespace lintara::win32
