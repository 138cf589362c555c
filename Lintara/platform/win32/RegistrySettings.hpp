// SPDX-License-Identifier: MIT
// The settings store on Windows: values under HKEY_CURRENT_USER\Software\Lintara,
// read afresh on every call and written one at a time.
//
// How values read back, the same as the Linux key file reads its text:
//  - a REG_DWORD or REG_QWORD of 0 or 1 is a boolean (the registry has no
//    boolean type, and this is how booleans are stored in it); any other
//    REG_DWORD or REG_QWORD is an integer, a DWORD unsigned, a QWORD signed;
//  - a REG_SZ or REG_EXPAND_SZ comes back as its text, unexpanded, which is
//    not an integer (integerForKey reads it as 0) and not a boolean;
//  - any other type, or a DWORD or QWORD of the wrong size, comes back as an
//    empty text: something is stored, and it is neither.
// Writes: setBool stores a REG_DWORD 0 or 1; setInteger a REG_DWORD when the
// value fits one, else a REG_QWORD. A write that fails (a key made read-only
// by an administrator) fails quietly; the controller keeps its value.
//
// Defaults for every user, from group policy: a value missing from the
// user's key takes its value from the first defaults key that has it, read
// the same way; the user's own value always wins. They are never written.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <string>
#include <vector>

#include <windows.h>

namespace lintara::win32 {

// A registry key, as a root and a path below it.
struct RegistryKey {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring path;
};

// HKEY_CURRENT_USER\Software\Lintara.
[[nodiscard]] RegistryKey userSettingsKey();
// HKEY_LOCAL_MACHINE\Software\Policies\Lintara, where group policy puts them.
[[nodiscard]] RegistryKey policyDefaultsKey();

class RegistrySettings final : public SettingsStore {
public:
    explicit RegistrySettings(
        RegistryKey user = userSettingsKey(), std::vector<RegistryKey> defaults = { policyDefaultsKey() });

    [[nodiscard]] std::int64_t integerForKey(std::string_view key) override;
    [[nodiscard]] std::optional<SettingValue> objectForKey(std::string_view key) override;
    void setInteger(std::int64_t value, std::string_view key) override;
    void setBool(bool value, std::string_view key) override;

private:
    void write(std::string_view key, DWORD type, const void* data, DWORD size);

    RegistryKey user_;
    std::vector<RegistryKey> defaults_;
};

} // namespace lintara::win32
