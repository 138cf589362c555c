// The settings store on Linux: a GLib key file, read once at construction and
// rewritten whole, atomically, on every change.
//
// On disk the values sit in one group, [Lintara]:
//   durationMinutes=90
//   automatic=false
// How values read back:
//  - objectForKey: a boolean as GLib's key files read one ("true" or "false"
//    in any case, "1" or "0", ASCII white space around) is a boolean; else a
//    base-10 integer ("90", " 90 ", "+90") is an integer, a decimal number is
//    a double, and any other text comes back as that text, so that a reader
//    looking for a boolean finds none.
//  - integerForKey: a boolean reads 1 or 0, an integer itself, a decimal
//    number cut toward zero ("90.0" and "90.9" both read 90). Anything else,
//    an empty value, or a number beyond 64 bits reads 0.
// A file that cannot be read or parsed does not stop anything: the store starts
// empty, and the first write moves the old file aside as settings.ini.bad so
// that nothing the user had is lost. A write that fails (no space, a read-only
// directory) changes nothing on disk; the value stays in memory.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <string>

typedef struct _GKeyFile GKeyFile;

namespace lintara::glib {

// $XDG_CONFIG_HOME/lintara/settings.ini, or ~/.config/lintara/settings.ini.
[[nodiscard]] std::string defaultSettingsPath();

// How a stored text reads as a value of its own kind, as objectForKey gives
// it; see the rules above.
[[nodiscard]] SettingValue settingValueFromText(std::string_view text);
// The integer reading of a stored text; 0 when it is not a number.
[[nodiscard]] std::int64_t integerFromText(std::string_view text);

class KeyFileSettings final : public SettingsStore {
public:
    explicit KeyFileSettings(std::string path);
    ~KeyFileSettings() override;
    KeyFileSettings(const KeyFileSettings&) = delete;
    KeyFileSettings& operator=(const KeyFileSettings&) = delete;

    [[nodiscard]] std::int64_t integerForKey(std::string_view key) override;
    [[nodiscard]] std::optional<SettingValue> objectForKey(std::string_view key) override;
    void setInteger(std::int64_t value, std::string_view key) override;
    void setBool(bool value, std::string_view key) override;

    // Whether the file found at construction could not be used; it is moved
    // aside by the next write that succeeds.
    [[nodiscard]] bool damaged() const { return damaged_; }
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    [[nodiscard]] std::optional<std::string> text(std::string_view key) const;
    void save();

    std::string path_;
    GKeyFile* file_;
    bool damaged_ = false;
};

} // namespace lintara::glib
