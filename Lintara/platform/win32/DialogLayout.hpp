// SPDX-License-Identifier: MIT
// The one layout of every window Lintara shows on Windows, the alerts and the
// warning alike: a bold message, a smaller text, an optional field, and a
// row of buttons at the bottom right, in the order given.
//
// The dialog comes from a template built in memory, with its controls at no
// size; WM_INITDIALOG lays them out in pixels for the monitor's DPI, from the
// text the font actually measures, since dialog units would size the field
// by the font rather than as the seam's Rect says.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace lintara::win32 {

struct DialogContent {
    std::string message;
    std::string informative;
    // A long text (the tool's output) scrolls in a read-only edit; a short
    // one is a plain label.
    enum class Text { label, scrolling } text = Text::label;
    std::optional<TextField> field;
    std::vector<std::string> buttons;
};

inline constexpr int messageControl = 10;
inline constexpr int informativeControl = 11;
inline constexpr int fieldControl = 12;
// The buttons' ids follow on from here, in order.
inline constexpr int firstButtonControl = 100;

// A DLGTEMPLATE and its items, DWORD-aligned, for DialogBoxIndirectParamW or
// CreateDialogIndirectParamW.
[[nodiscard]] std::vector<WORD> dialogTemplate(const DialogContent& content, DWORD style, DWORD extendedStyle);

// Sizes and places the controls and the dialog, centred on the work area of
// the monitor under the mouse (or at its bottom right for a warning), and
// gives the message its bold font, which lives as long as the dialog.
enum class Placement { centre, bottomRight };
void layOutDialog(HWND dialog, const DialogContent& content, Placement placement);

// The object a dialog procedure works for: the parameter of
// DialogBoxIndirectParamW or CreateDialogIndirectParamW, kept with the dialog
// from WM_INITDIALOG on; null for the few messages before it.
template <typename Owner> Owner* dialogOwner(HWND dialog, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The bold font layOutDialog made; delete it when the dialog is destroyed.
void releaseDialogFont(HWND dialog);

} // namespace lintara::win32
