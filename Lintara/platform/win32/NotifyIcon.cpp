// SPDX-License-Identifier: MIT
#include "NotifyIcon.hpp"

#include "Lintara/platform/gtk/MenuPlan.hpp"
#include "Lintara/platform/win32/Conversions.hpp"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lintara::win32 {

namespace {
    constexpr UINT iconId = 1;

    // A light taskbar needs dark strokes; Windows says which in the theme.
    bool taskbarIsLight()
    {
        DWORD light = 0;
        DWORD size = sizeof light;
        const LSTATUS status
            = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                L"SystemUsesLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
        return status == ERROR_SUCCESS && light != 0;
    }

    void paintFace(HDC dc, const IconFace& face, int size)
    {
        const int stroke = std::max(1, size / 12);
        HPEN pen = CreatePen(PS_SOLID, stroke, RGB(255, 255, 255));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        const int middle = size / 2;
        switch (face.kind) {
        case IconKind::idle:
            // A clock face, as the "◷" of the title.
            Ellipse(dc, stroke, stroke, size - stroke, size - stroke);
            MoveToEx(dc, middle, middle, nullptr);
            LineTo(dc, middle, size / 4);
            MoveToEx(dc, middle, middle, nullptr);
            LineTo(dc, size - size / 4, middle);
            break;
        case IconKind::busy: {
            // Three dots, as the "…" of the title.
            SelectObject(dc, GetStockObject(WHITE_BRUSH));
            const int dot = std::max(2, size / 6);
            for (int index = 1; index <= 3; ++index) {
                const int left = index * size / 4 - dot / 2;
                Ellipse(dc, left, middle - dot / 2, left + dot, middle - dot / 2 + dot);
            }
            break;
        }
        case IconKind::countdown: {
            const std::wstring text = widen(face.text);
            // Two characters fill the square; more get a narrower font.
            const int height = text.size() <= 2 ? size : size * 3 / 4;
            HFONT font = CreateFontW(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
            HGDIOBJ oldFont = SelectObject(dc, font);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkMode(dc, TRANSPARENT);
            RECT square { 0, 0, size, size };
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &square,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
            SelectObject(dc, oldFont);
            DeleteObject(font);
            break;
        }
        }
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }

    // GDI draws no alpha, so the face is drawn white on black and each
    // pixel's brightness becomes its coverage, in the taskbar's stroke colour.
    HICON drawIcon(const IconFace& face)
    {
        const int size = GetSystemMetrics(SM_CXSMICON);
        BITMAPINFO info {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP color = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (color == nullptr) {
            DeleteDC(dc);
            return nullptr;
        }
        HGDIOBJ oldBitmap = SelectObject(dc, color);
        paintFace(dc, face, size);
        GdiFlush();
        const bool dark = taskbarIsLight();
        auto* pixels = static_cast<std::uint32_t*>(bits);
        for (int index = 0; index < size * size; ++index) {
            const std::uint32_t pixel = pixels[index];
            const std::uint32_t alpha = std::max({ pixel & 0xFFU, (pixel >> 8) & 0xFFU, (pixel >> 16) & 0xFFU });
            // Premultiplied: white is the coverage itself, black is zero.
            const std::uint32_t channel = dark ? 0 : alpha;
            pixels[index] = (alpha << 24) | (channel << 16) | (channel << 8) | channel;
        }
        SelectObject(dc, oldBitmap);
        HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
        ICONINFO parts { TRUE, 0, 0, mask, color };
        HICON icon = CreateIconIndirect(&parts);
        DeleteObject(mask);
        DeleteObject(color);
        DeleteDC(dc);
        return icon;
    }

    // A menu takes "&" for the mnemonic that follows it; a title shows it.
    std::wstring menuText(const MenuItem& item)
    {
        std::wstring text;
        for (const wchar_t c : widen(item.title)) {
            text += c;
            if (c == L'&') {
                text += L'&';
            }
        }
        if (!item.keyEquivalent.empty()) {
            text += L'\t' + widen(item.keyEquivalent);
        }
        return text;
    }
} // namespace

NotifyIconItem::NotifyIconItem(MessageWindow& window, DispatchQueue& mainQueue, ProgramHooks& hooks)
    : window_(window)
    , mainQueue_(mainQueue)
    , hooks_(hooks)
{
    data_.cbSize = sizeof data_;
    data_.hWnd = window_.handle();
    data_.uID = iconId;
    data_.uCallbackMessage = iconMessage;
    data_.uVersion = NOTIFYICON_VERSION_4;
    window_.onMessage(iconMessage, [this](WPARAM wParam, LPARAM lParam) -> LRESULT {
        // Version 4: the event in the low word, the anchor point in wParam.
        switch (LOWORD(lParam)) {
        case NIN_SELECT:
        case NIN_KEYSELECT:
        case WM_CONTEXTMENU: openMenu(POINT { GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam) }); break;
        default: break;
        }
        return 0;
    });
    // Explorer restarted, or came up after us: the icon must be added anew.
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    window_.onMessage(taskbarCreated, [this](WPARAM, LPARAM) -> LRESULT {
        added_ = false;
        add();
        return 0;
    });
    // A switch between the light and dark taskbar changes the strokes.
    window_.onMessage(WM_SETTINGCHANGE, [this](WPARAM, LPARAM) -> LRESULT {
        if (face_) {
            redrawIcon();
        }
        return 0;
    });
}

NotifyIconItem::~NotifyIconItem()
{
    remove();
    if (icon_ != nullptr) {
        DestroyIcon(icon_);
    }
}

void NotifyIconItem::setTitle(const std::string& title)
{
    // Set on every tick; the shell only needs to hear about a change.
    if (title_ == title) {
        return;
    }
    title_ = title;
    const std::wstring tip = widen(title);
    const std::size_t length = std::min(tip.size(), std::size(data_.szTip) - 1);
    std::copy_n(tip.begin(), length, data_.szTip);
    data_.szTip[length] = L'\0';
    const IconFace face = iconFace(title);
    const bool newFace = face_ != face;
    face_ = face;
    if (newFace) {
        redrawIcon();
    }
    hooks_.titleShown(title, face.text);
    if (!newFace) {
        data_.uFlags = NIF_TIP | NIF_SHOWTIP;
        Shell_NotifyIconW(NIM_MODIFY, &data_);
    }
}

void NotifyIconItem::redrawIcon()
{
    HICON previous = icon_;
    icon_ = drawIcon(*face_);
    data_.hIcon = icon_;
    if (added_) {
        data_.uFlags = NIF_ICON | NIF_TIP | NIF_SHOWTIP;
        Shell_NotifyIconW(NIM_MODIFY, &data_);
    } else {
        add();
    }
    if (previous != nullptr) {
        DestroyIcon(previous);
    }
}

void NotifyIconItem::add()
{
    if (added_ || icon_ == nullptr) {
        return;
    }
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    // Without a taskbar (not yet, or Explorer gone) this fails; TaskbarCreated
    // tries again.
    added_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
    if (added_) {
        Shell_NotifyIconW(NIM_SETVERSION, &data_);
    }
}

void NotifyIconItem::remove()
{
    if (added_) {
        Shell_NotifyIconW(NIM_DELETE, &data_);
        added_ = false;
    }
}

void NotifyIconItem::setMenu(const Menu& menu)
{
    hooks_.menuShown(menu);
    menu_ = menu;
}

void NotifyIconItem::openMenu(POINT at)
{
    if (!menu_ || menuOpen_) {
        return;
    }
    // The menu as drawn: a render while the popup is open changes what shows
    // next time, not what this click means.
    const Menu shown = *menu_;
    HMENU popup = CreatePopupMenu();
    for (std::size_t index = 0; index < shown.items.size(); ++index) {
        const MenuItem& item = shown.items[index];
        if (item.isSeparator) {
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT flags = MF_STRING | (gtk::entryChecked(item) ? MF_CHECKED : MF_UNCHECKED)
            | (gtk::entrySensitive(shown, item) ? MF_ENABLED : MF_GRAYED);
        AppendMenuW(popup, flags, index + 1, menuText(item).c_str());
    }
    menuOpen_ = true;
    hooks_.menuOpened();
    // A popup closes when the person clicks elsewhere only if its owner is
    // in the foreground; the null message afterwards lets it close at once.
    SetForegroundWindow(window_.topLevel());
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const int chosen = static_cast<int>(
        TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | align, at.x, at.y, 0,
            window_.topLevel(), nullptr));
    PostMessageW(window_.topLevel(), WM_NULL, 0, 0);
    DestroyMenu(popup);
    menuOpen_ = false;
    if (chosen > 0) {
        deliver(shown, static_cast<std::size_t>(chosen - 1));
    }
}

bool NotifyIconItem::choose(std::string_view title)
{
    if (!menu_) {
        return false;
    }
    const auto found = std::find_if(
        menu_->items.begin(), menu_->items.end(), [title](const MenuItem& item) { return item.title == title; });
    if (found == menu_->items.end()) {
        return false;
    }
    deliver(*menu_, static_cast<std::size_t>(found - menu_->items.begin()));
    return true;
}

void NotifyIconItem::deliver(const Menu& shown, std::size_t index)
{
    if (index >= shown.items.size()) {
        return;
    }
    if (std::function<void()> work = shown.choice(shown.items[index])) {
        mainQueue_.async(std::move(work));
    }
}

NotifyIconStatusBar::NotifyIconStatusBar(MessageWindow& window, DispatchQueue& mainQueue, ProgramHooks& hooks)
    : window_(window)
    , mainQueue_(mainQueue)
    , hooks_(hooks)
{
}

StatusItem NotifyIconStatusBar::statusItemWithLength(double /*length*/)
{
    // A notify icon is a square; the tooltip carries the words.
    auto item = std::make_unique<NotifyIconItem>(window_, mainQueue_, hooks_);
    item_ = item.get();
    return StatusItem(std::move(item));
}

} // namespace lintara::win32
