// SPDX-License-Identifier: MIT
#include "Conversions.hpp"

#include <climits>

#include <windows.h>

namespace lintara::win32 {

namespace {
    // The conversion calls take int lengths. Longer text is converted in
    // pieces cut where no character is split.
    constexpr std::size_t longestPiece = INT_MAX / 4;

    // Where a UTF-8 piece may end: not inside a character's continuation
    // bytes, unless a run of them is too long to be one character.
    std::size_t utf8PieceEnd(std::string_view text)
    {
        if (text.size() <= longestPiece) {
            return text.size();
        }
        std::size_t end = longestPiece;
        for (int back = 0; back < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back) {
            --end;
        }
        return (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80 ? longestPiece : end;
    }

    std::size_t utf16PieceEnd(std::wstring_view text)
    {
        if (text.size() <= longestPiece) {
            return text.size();
        }
        // Keep a surrogate pair together.
        const wchar_t last = text[longestPiece - 1];
        return last >= 0xD800 && last <= 0xDBFF ? longestPiece - 1 : longestPiece;
    }
} // namespace

// Without MB_ERR_INVALID_CHARS, Windows (Vista and later) replaces each
// invalid sequence with U+FFFD rather than failing or dropping it.
std::wstring widen(std::string_view text)
{
    std::wstring result;
    while (!text.empty()) {
        const std::size_t end = utf8PieceEnd(text);
        const int length = static_cast<int>(end);
        const int needed = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
        if (needed <= 0) {
            break;
        }
        const std::size_t start = result.size();
        result.resize(start + static_cast<std::size_t>(needed));
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data() + start, needed);
        text.remove_prefix(end);
    }
    return result;
}

// Likewise, WideCharToMultiByte to UTF-8 turns an unpaired surrogate into
// U+FFFD.
std::string narrow(std::wstring_view text)
{
    std::string result;
    while (!text.empty()) {
        const std::size_t end = utf16PieceEnd(text);
        const int length = static_cast<int>(end);
        const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) {
            break;
        }
        const std::size_t start = result.size();
        result.resize(start + static_cast<std::size_t>(needed));
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data() + start, needed, nullptr, nullptr);
        text.remove_prefix(end);
    }
    return result;
}

std::string systemErrorText(std::uint32_t code)
{
    wchar_t* buffer = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : narrow(text);
}

} // namespace lintara::win32
