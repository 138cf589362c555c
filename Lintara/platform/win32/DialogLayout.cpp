// SPDX-License-Identifier: MIT
#include "DialogLayout.hpp"

#include "Lintara/platform/win32/Conversions.hpp"
#include "Lintara/text.hpp"

#include <algorithm>

namespace lintara::win32 {

namespace {
    constexpr WORD buttonClass = 0x0080;
    constexpr WORD editClass = 0x0081;
    constexpr WORD staticClass = 0x0082;
    constexpr const wchar_t* boldFontProperty = L"Lintara.BoldFont";

    class TemplateWriter {
    public:
        void word(WORD value) { words_.push_back(value); }
        void dword(DWORD value)
        {
            word(LOWORD(value));
            word(HIWORD(value));
        }
        void text(std::wstring_view value)
        {
            words_.insert(words_.end(), value.begin(), value.end());
            word(0);
        }
        void alignToDword()
        {
            if (words_.size() % 2 != 0) {
                word(0);
            }
        }
        void item(DWORD style, WORD id, WORD windowClass, std::wstring_view title)
        {
            alignToDword();
            dword(style | WS_CHILD | WS_VISIBLE);
            dword(0);
            // x, y, cx, cy: laid out later, in pixels.
            for (int index = 0; index < 4; ++index) {
                word(0);
            }
            word(id);
            word(0xFFFF);
            word(windowClass);
            text(title);
            word(0); // no creation data
        }
        std::vector<WORD> take() { return std::move(words_); }

    private:
        std::vector<WORD> words_;
    };

    // An edit control breaks lines at CR LF only.
    std::wstring withCrLf(std::wstring_view text)
    {
        std::wstring result;
        result.reserve(text.size() + text.size() / 16);
        wchar_t previous = 0;
        for (const wchar_t c : text) {
            if (c == L'\n' && previous != L'\r') {
                result += L'\r';
            }
            result += c;
            previous = c;
        }
        return result;
    }

    // The per-monitor calls came with Windows 10; before it the system's DPI
    // holds for every window, as it does without them.
    template <typename Function> Function user32(const char* name)
    {
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
    }

    UINT windowDpi(HWND window)
    {
        static const auto forWindow = user32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
        if (forWindow != nullptr) {
            return forWindow(window);
        }
        HDC dc = GetDC(nullptr);
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
        return static_cast<UINT>(dpi);
    }

    int metricForDpi(int metric, UINT dpi)
    {
        static const auto forDpi = user32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
        return forDpi != nullptr ? forDpi(metric, dpi) : GetSystemMetrics(metric);
    }

    void adjustForDpi(RECT& frame, HWND window, UINT dpi)
    {
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
        static const auto forDpi = user32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
        if (forDpi != nullptr) {
            forDpi(&frame, style, FALSE, extendedStyle, dpi);
        } else {
            AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
        }
    }

    int textHeight(HWND control, int width)
    {
        const int length = GetWindowTextLengthW(control);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(control, text.data(), length + 1);
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        RECT bounds { 0, 0, width, 0 };
        DrawTextW(dc, text.c_str(), length, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        return bounds.bottom;
    }

    int textWidth(HWND control)
    {
        const int length = GetWindowTextLengthW(control);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(control, text.data(), length + 1);
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE size {};
        GetTextExtentPoint32W(dc, text.c_str(), length, &size);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        return size.cx;
    }
} // namespace

std::vector<WORD> dialogTemplate(const DialogContent& content, DWORD style, DWORD extendedStyle)
{
    TemplateWriter writer;
    const bool hasField = content.field.has_value();
    writer.dword(style | DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    writer.dword(extendedStyle);
    writer.word(static_cast<WORD>(2 + (hasField ? 1 : 0) + content.buttons.size()));
    for (int index = 0; index < 4; ++index) {
        writer.word(0);
    }
    writer.word(0); // no menu
    writer.word(0); // the dialog class
    writer.text(widen(content.message.empty() ? std::string("Lintara") : content.message));
    writer.word(9);
    writer.text(L"Segoe UI");

    writer.item(SS_LEFT | SS_NOPREFIX, messageControl, staticClass, widen(content.message));
    if (content.text == DialogContent::Text::scrolling) {
        // The text, up to 64 KiB of it, is set once the edit exists: a
        // template is no place for that much.
        writer.item(ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
            informativeControl, editClass, L"");
    } else {
        writer.item(SS_LEFT | SS_NOPREFIX, informativeControl, staticClass, widen(content.informative));
    }
    if (hasField) {
        writer.item(
            ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, fieldControl, editClass, widen(content.field->stringValue));
    }
    for (std::size_t index = 0; index < content.buttons.size(); ++index) {
        writer.item((index == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP,
            static_cast<WORD>(firstButtonControl + index), buttonClass, widen(content.buttons[index]));
    }
    return writer.take();
}

void layOutDialog(HWND dialog, const DialogContent& content, Placement placement)
{
    const UINT dpi = std::max(windowDpi(dialog), 96U);
    const auto px = [dpi](double pixels) { return MulDiv(static_cast<int>(pixels), static_cast<int>(dpi), 96); };

    HMONITOR monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY);
    POINT cursor {};
    if (GetCursorPos(&cursor)) {
        monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    }
    MONITORINFO info {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    const RECT area = info.rcWork;

    // The message in bold, made from the dialog's own font.
    HWND message = GetDlgItem(dialog, messageControl);
    LOGFONTW logFont {};
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof logFont, &logFont);
    logFont.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&logFont);
    SetPropW(dialog, boldFontProperty, bold);
    SendMessageW(message, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);

    const int margin = px(12);
    const int gap = px(8);
    const int buttonHeight = px(24);
    const int minimumButton = px(80);
    const int fieldWidth = content.field ? px(content.field->frame.width) : 0;
    const int width = std::max(px(360), fieldWidth);

    int y = margin;
    const int messageHeight = textHeight(message, width);
    MoveWindow(message, margin, y, width, messageHeight, FALSE);
    y += messageHeight + gap;

    HWND informative = GetDlgItem(dialog, informativeControl);
    if (content.text == DialogContent::Text::scrolling) {
        SetWindowTextW(informative, withCrLf(widen(displayedTail(content.informative))).c_str());
        // The edit's own margins and the scroll bar take from the width.
        const int inner = width - metricForDpi(SM_CXVSCROLL, dpi) - px(8);
        const int wanted = textHeight(informative, inner) + px(8);
        const int tallest = std::max(px(80), static_cast<int>(area.bottom - area.top) / 2);
        const int height = std::min(wanted, tallest);
        MoveWindow(informative, margin, y, width, height, FALSE);
        ShowScrollBar(informative, SB_VERT, wanted > tallest);
        // What a tool printed last says most, as in the terminal's message:
        // a long text opens at its end.
        SendMessageW(informative, EM_LINESCROLL, 0, SendMessageW(informative, EM_GETLINECOUNT, 0, 0));
        y += height + gap;
    } else {
        const int height = textHeight(informative, width);
        MoveWindow(informative, margin, y, width, height, FALSE);
        y += height + gap;
    }
    if (content.field) {
        MoveWindow(GetDlgItem(dialog, fieldControl), margin, y, fieldWidth, px(content.field->frame.height), FALSE);
        y += px(content.field->frame.height) + gap;
    }
    // The buttons in order, as a row flush with the right margin.
    std::vector<int> widths;
    int row = 0;
    for (std::size_t index = 0; index < content.buttons.size(); ++index) {
        HWND button = GetDlgItem(dialog, firstButtonControl + static_cast<int>(index));
        widths.push_back(std::max(minimumButton, textWidth(button) + px(24)));
        row += widths.back() + (index > 0 ? gap : 0);
    }
    int x = margin + width - row;
    for (std::size_t index = 0; index < content.buttons.size(); ++index) {
        MoveWindow(GetDlgItem(dialog, firstButtonControl + static_cast<int>(index)), x, y + gap, widths[index],
            buttonHeight, FALSE);
        x += widths[index] + gap;
    }
    y += gap + buttonHeight + margin;

    RECT frame { 0, 0, width + 2 * margin, y };
    adjustForDpi(frame, dialog, dpi);
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    const int left
        = placement == Placement::centre ? (area.left + area.right - frameWidth) / 2 : area.right - frameWidth - margin;
    const int top = placement == Placement::centre ? (area.top + area.bottom - frameHeight) / 2
                                                   : area.bottom - frameHeight - margin;
    SetWindowPos(dialog, nullptr, left, top, frameWidth, frameHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void releaseDialogFont(HWND dialog)
{
    if (HANDLE bold = RemovePropW(dialog, boldFontProperty)) {
        DeleteObject(static_cast<HGDIOBJ>(bold));
    }
}

} // namespace lintara::win32
