// SPDX-License-Identifier: MIT
// The settings store on Linux: a GLib key file, read at construction, and read
// again and rewritten whole, atomically, on every change.
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
// The file:
//  - A write goes through a symlink to the file it names.
//  - Each write reads the file again and changes only the values set here, so
//    that other keys and comments, edited by hand meanwhile, are kept.
//  - A file that cannot be read or parsed, or is over 1 MiB, does not stop
//    anything: the store starts empty, and the next write moves the old file
//    aside as settings.ini.bad, or .bad.1, .bad.2, ... when that is taken, so
//    that nothing the user had is lost.
//  - A new file is private (0600); an existing one keeps its mode.
//  - A read-only file is left as it is, and a write that fails (no space, a
//    read-only directory) changes nothing on disk: the value stays in memory
//    and goes out with the next write that succeeds.
// Defaults for every user: an administrator's files, read once at
// construction and never written. A key missing from the user's file takes
// its value from the first of them that has it; the user's own value always
// wins. A damaged one is passed over.
//
// Main thread only.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <memory>
#include <set>
#include <string>
#include <vector>

typedef struct _GKeyFile GKeyFile;

namespace lintara::glib {

// $XDG_CONFIG_HOME/lintara/settings.ini, or ~/.config/lintara/settings.ini.
[[nodiscard]] std::string defaultSettingsPath();
// lintara/settings.ini in each directory of $XDG_CONFIG_DIRS (/etc/xdg when
// it is unset or empty), the most important first.
[[nodiscard]] std::vector<std::string> systemSettingsPaths();

// How a stored text reads as a value of its own kind, as objectForKey gives
// it; see the rules above.
[[nodiscard]] SettingValue settingValueFromText(std::string_view text);
// The integer reading of a stored text; 0 when it is not a number.
[[nodiscard]] std::int64_t integerFromText(std::string_view text);

class KeyFileSettings final : public SettingsStore {
public:
    // A damaged file moved aside is told to log, when there is one.
    explicit KeyFileSettings(std::string path, const std::vector<std::string>& defaultsPaths = {}, Log* log = nullptr);
    ~KeyFileSettings() override;
    KeyFileSettings(const KeyFileSettings&) = delete;
    KeyFileSettings& operator=(const KeyFileSettings&) = delete;

    [[nodiscard]] std::int64_t integerForKey(std::string_view key) override;
    [[nodiscard]] std::optional<SettingValue> objectForKey(std::string_view key) override;
    void setInteger(std::int64_t value, std::string_view key) override;
    void setBool(bool value, std::string_view key) override;

    // Whether the file found at construction could not be used, until a
    // write succeeds.
    [[nodiscard]] bool damaged() const { return damaged_; }
    [[nodiscard]] const std::string& path() const { return path_; }

    // Frees the key file; public so that the file's helpers can hold one too.
    struct KeyFileFree {
        void operator()(GKeyFile* file) const;
    };

private:
    [[nodiscard]] std::optional<std::string> text(std::string_view key) const;
    void save();

    std::string path_;
    std::unique_ptr<GKeyFile, KeyFileFree> file_;
    std::vector<std::unique_ptr<GKeyFile, KeyFileFree>> defaults_;
    Log* log_;
    // Keys set here whose values a failed write left only in memory.
    std::set<std::string> unsaved_;
    bool damaged_ = false;
};

} // namespace lintara::glib
