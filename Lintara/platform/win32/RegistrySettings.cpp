// SPDX-License-Identifier: MIT
#include "RegistrySettings.hpp"

#include "Conversions.hpp"

#include <cstring>
#include <limits>

namespace lintara::win32 {

namespace {
    // Far more than any value Lintara stores; a larger one is not ours.
    constexpr DWORD largestValue = 64 * 1024;

    // The value as this store reads it, or nothing when the key or the value
    // is missing.
    std::optional<SettingValue> readValue(const RegistryKey& key, const std::wstring& name)
    {
        DWORD type = REG_NONE;
        DWORD size = 0;
        // RRF_NOEXPAND: a REG_EXPAND_SZ comes back as stored.
        constexpr DWORD flags = RRF_RT_ANY | RRF_NOEXPAND;
        if (::RegGetValueW(key.root, key.path.c_str(), name.c_str(), flags, &type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        if (size > largestValue) {
            return std::string();
        }
        // Room for the terminator that RegGetValueW adds to a text stored
        // without one.
        std::vector<BYTE> data(size + sizeof(wchar_t));
        size = static_cast<DWORD>(data.size());
        if (::RegGetValueW(key.root, key.path.c_str(), name.c_str(), flags, &type, data.data(), &size)
            != ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::int64_t number = 0;
        if (type == REG_DWORD && size == sizeof(DWORD)) {
            DWORD dword = 0;
            std::memcpy(&dword, data.data(), sizeof dword);
            number = dword;
        } else if (type == REG_QWORD && size == sizeof(std::int64_t)) {
            std::memcpy(&number, data.data(), sizeof number);
        } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
            // The stored terminator, or several, are not part of the text.
            while (!text.empty() && text.back() == L'\0') {
                text.pop_back();
            }
            return narrow(text);
        } else {
            return std::string();
        }
        if (number == 0 || number == 1) {
            return number == 1;
        }
        return number;
    }
} // namespace

RegistryKey userSettingsKey() { return { HKEY_CURRENT_USER, L"Software\\Lintara" }; }

RegistryKey policyDefaultsKey() { return { HKEY_LOCAL_MACHINE, L"Software\\Policies\\Lintara" }; }

RegistrySettings::RegistrySettings(RegistryKey user, std::vector<RegistryKey> defaults)
    : user_(std::move(user))
    , defaults_(std::move(defaults))
{
}

std::optional<SettingValue> RegistrySettings::objectForKey(std::string_view key)
{
    const std::wstring name = widen(key);
    std::optional<SettingValue> value = readValue(user_, name);
    for (auto defaults = defaults_.begin(); !value && defaults != defaults_.end(); ++defaults) {
        value = readValue(*defaults, name);
    }
    return value;
}

std::int64_t RegistrySettings::integerForKey(std::string_view key)
{
    const std::optional<SettingValue> value = objectForKey(key);
    if (!value) {
        return 0;
    }
    if (const auto* flag = std::get_if<bool>(&*value)) {
        return *flag ? 1 : 0;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&*value)) {
        return *integer;
    }
    return 0;
}

void RegistrySettings::setInteger(std::int64_t value, std::string_view key)
{
    if (value >= 0 && value <= std::numeric_limits<DWORD>::max()) {
        const auto dword = static_cast<DWORD>(value);
        write(key, REG_DWORD, &dword, sizeof dword);
    } else {
        write(key, REG_QWORD, &value, sizeof value);
    }
}

void RegistrySettings::setBool(bool value, std::string_view key)
{
    const DWORD dword = value ? 1 : 0;
    write(key, REG_DWORD, &dword, sizeof dword);
}

void RegistrySettings::write(std::string_view key, DWORD type, const void* data, DWORD size)
{
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(user_.root, user_.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
            &opened, nullptr)
        != ERROR_SUCCESS) {
        return;
    }
    ::RegSetValueExW(opened, widen(key).c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(opened);
}

} // namespace lintara::win32
