// SPDX-License-Identifier: MIT
#include "KeyFileSettings.hpp"

#include "Lintara/text.hpp"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace lintara::glib {

void KeyFileSettings::KeyFileFree::operator()(GKeyFile* file) const { g_key_file_free(file); }

namespace {
    constexpr const char* group = "Lintara";
    // Far more than two keys will ever need. A larger file is not one we
    // wrote, and loading it whole, then rewriting it at every change, costs.
    constexpr goffset largestFile = 1024 * 1024;
    // As many symlinks as the kernel follows before it gives up.
    constexpr int mostLinks = 40;
    // .bad, .bad.1, ... .bad.999: past that, the file stays where it is.
    constexpr int mostAside = 1000;

    using KeyFile = std::unique_ptr<GKeyFile, KeyFileSettings::KeyFileFree>;

    // ASCII white space, as GLib's key files see it around a value.
    std::string_view trimBlanks(std::string_view text)
    {
        constexpr std::string_view blanks = " \t\n\v\f\r";
        const std::size_t first = text.find_first_not_of(blanks);
        if (first == std::string_view::npos) {
            return {};
        }
        return text.substr(first, text.find_last_not_of(blanks) - first + 1);
    }

    // As GLib's key files read a boolean: "true" or "false" in any case, "1"
    // or "0", with blanks around.
    std::optional<bool> parseBoolean(std::string_view text)
    {
        text = trimBlanks(text);
        const auto is = [text](std::string_view word) {
            return text.size() == word.size() && g_ascii_strncasecmp(text.data(), word.data(), word.size()) == 0;
        };
        if (is("true") || text == "1") {
            return true;
        }
        if (is("false") || text == "0") {
            return false;
        }
        return std::nullopt;
    }

    // A plain decimal number with a fraction or exponent, in the C locale
    // whatever the user's locale says. Hex floats, "inf" and "nan" are not.
    std::optional<double> parseDecimal(std::string_view text)
    {
        if (text.empty() || text.find_first_not_of("+-0123456789.eE") != std::string_view::npos) {
            return std::nullopt;
        }
        if (text.front() == '+') {
            text.remove_prefix(1);
        }
        double value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        return value;
    }

    enum class Found { missing, usable, damaged };

    // The file as a key file, or why not. Damaged: it cannot be read, is not
    // a key file, is larger than largestFile, or holds a NUL byte, at which
    // GLib would cut a value short so that the next write lost the rest.
    std::pair<Found, KeyFile> load(const std::string& path)
    {
        GStatBuf status {};
        if (g_stat(path.c_str(), &status) != 0) {
            return { errno == ENOENT ? Found::missing : Found::damaged, nullptr };
        }
        gchar* contents = nullptr;
        gsize length = 0;
        if (status.st_size > largestFile || !g_file_get_contents(path.c_str(), &contents, &length, nullptr)) {
            return { Found::damaged, nullptr };
        }
        KeyFile file(g_key_file_new());
        const bool loaded = std::memchr(contents, '\0', length) == nullptr
            && g_key_file_load_from_data(file.get(), contents, length, G_KEY_FILE_KEEP_COMMENTS, nullptr);
        g_free(contents);
        if (!loaded) {
            return { Found::damaged, nullptr };
        }
        return { Found::usable, std::move(file) };
    }

    // Where a write goes: through any symlinks to the file they name, so that
    // a link (into a dotfiles repository, say) stays a link. Nothing when the
    // links go round in a loop.
    std::optional<std::string> writeTarget(std::string path)
    {
        for (int hop = 0; hop < mostLinks; ++hop) {
            gchar* link = g_file_read_link(path.c_str(), nullptr);
            if (link == nullptr) {
                return path;
            }
            gchar* directory = g_path_get_dirname(path.c_str());
            gchar* next = g_path_is_absolute(link) ? g_strdup(link) : g_build_filename(directory, link, nullptr);
            path = next;
            g_free(next);
            g_free(directory);
            g_free(link);
        }
        return std::nullopt;
    }

    struct MovedAside {
        bool done = false;
        // Where it went; empty when it had gone already.
        std::string to;
    };

    // Moves a damaged file to the first free name of .bad, .bad.1, .bad.2,
    // ..., so that no older copy is ever replaced. A file that has gone
    // meanwhile needs no moving.
    MovedAside moveAside(const std::string& path)
    {
        for (int number = 0; number < mostAside; ++number) {
            const std::string aside = path + ".bad" + (number == 0 ? "" : "." + std::to_string(number));
            GStatBuf status {};
            if (g_lstat(aside.c_str(), &status) == 0) {
                continue;
            }
            if (errno != ENOENT) {
                return {};
            }
            if (g_rename(path.c_str(), aside.c_str()) == 0) {
                return { true, aside };
            }
            return { errno == ENOENT, {} };
        }
        return {};
    }

    // Written to a temporary file and renamed over the old one, so that a
    // crash mid-write leaves the old file or the new one, never half of each.
    // The mode is set again afterwards, as open() takes the umask off it.
    bool writeKeyFile(const std::string& path, GKeyFile* file, mode_t mode)
    {
        gsize length = 0;
        gchar* data = g_key_file_to_data(file, &length, nullptr);
        const bool written = g_file_set_contents_full(path.c_str(), data, static_cast<gssize>(length),
                                 static_cast<GFileSetContentsFlags>(
                                     G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_ONLY_EXISTING),
                                 static_cast<int>(mode), nullptr)
            && g_chmod(path.c_str(), static_cast<int>(mode)) == 0;
        g_free(data);
        return written;
    }
} // namespace

std::string defaultSettingsPath()
{
    // GLib applies the XDG rules: $XDG_CONFIG_HOME if set and absolute, else
    // ~/.config.
    gchar* path = g_build_filename(g_get_user_config_dir(), "lintara", "settings.ini", nullptr);
    std::string result(path);
    g_free(path);
    return result;
}

std::vector<std::string> systemSettingsPaths()
{
    const char* variable = g_getenv("XDG_CONFIG_DIRS");
    gchar** directories = g_strsplit(variable != nullptr && *variable != '\0' ? variable : "/etc/xdg", ":", -1);
    std::vector<std::string> paths;
    for (gchar** directory = directories; *directory != nullptr; ++directory) {
        // Relative entries mean nothing here, and are ignored as the XDG
        // rules say.
        if (g_path_is_absolute(*directory)) {
            gchar* path = g_build_filename(*directory, "lintara", "settings.ini", nullptr);
            paths.emplace_back(path);
            g_free(path);
        }
    }
    g_strfreev(directories);
    return paths;
}

SettingValue settingValueFromText(std::string_view text)
{
    if (const std::optional<bool> flag = parseBoolean(text)) {
        return *flag;
    }
    const std::string_view number = trimBlanks(text);
    if (const std::optional<std::int64_t> integer = parseInt64(number)) {
        return *integer;
    }
    if (const std::optional<double> decimal = parseDecimal(number)) {
        return *decimal;
    }
    return std::string(text);
}

std::int64_t integerFromText(std::string_view text)
{
    const SettingValue value = settingValueFromText(text);
    if (const auto* flag = std::get_if<bool>(&value)) {
        return *flag ? 1 : 0;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return *integer;
    }
    if (const auto* decimal = std::get_if<double>(&value)) {
        // 2^63 as a double; the range check keeps the cast defined.
        constexpr double limit = 9223372036854775808.0;
        const double whole = std::trunc(*decimal);
        if (whole >= -limit && whole < limit) {
            return static_cast<std::int64_t>(whole);
        }
    }
    return 0;
}

KeyFileSettings::KeyFileSettings(std::string path, const std::vector<std::string>& defaultsPaths, Log* log)
    : path_(std::move(path))
    , log_(log)
{
    for (const std::string& defaultsPath : defaultsPaths) {
        if (auto [found, file] = load(defaultsPath); file) {
            defaults_.push_back(std::move(file));
        }
    }
    auto [found, file] = load(path_);
    // A damaged file is not half-parsed: start empty, so that no garbage is
    // carried into the next write.
    damaged_ = found == Found::damaged;
    file_ = file ? std::move(file) : KeyFile(g_key_file_new());
}

KeyFileSettings::~KeyFileSettings() = default;

std::optional<std::string> KeyFileSettings::text(std::string_view key) const
{
    const std::string name(key);
    gchar* value = g_key_file_get_value(file_.get(), group, name.c_str(), nullptr);
    for (auto defaults = defaults_.begin(); value == nullptr && defaults != defaults_.end(); ++defaults) {
        value = g_key_file_get_value(defaults->get(), group, name.c_str(), nullptr);
    }
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string result(value);
    g_free(value);
    return result;
}

std::int64_t KeyFileSettings::integerForKey(std::string_view key)
{
    const std::optional<std::string> value = text(key);
    return value ? integerFromText(*value) : 0;
}

std::optional<SettingValue> KeyFileSettings::objectForKey(std::string_view key)
{
    const std::optional<std::string> value = text(key);
    if (!value) {
        return std::nullopt;
    }
    return settingValueFromText(*value);
}

void KeyFileSettings::setInteger(std::int64_t value, std::string_view key)
{
    g_key_file_set_int64(file_.get(), group, std::string(key).c_str(), value);
    unsaved_.emplace(key);
    save();
}

void KeyFileSettings::setBool(bool value, std::string_view key)
{
    g_key_file_set_boolean(file_.get(), group, std::string(key).c_str(), value ? TRUE : FALSE);
    unsaved_.emplace(key);
    save();
}

void KeyFileSettings::save()
{
    const std::optional<std::string> target = writeTarget(path_);
    if (!target) {
        return;
    }
    gchar* directory = g_path_get_dirname(target->c_str());
    const int made = g_mkdir_with_parents(directory, 0700);
    g_free(directory);
    if (made != 0) {
        return;
    }
    mode_t mode = 0600;
    GStatBuf status {};
    if (g_stat(target->c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        // Made read-only by its owner, or not ours to write: left alone. The
        // mode bits are asked too, as root may write any file.
        if ((status.st_mode & S_IWUSR) == 0 || g_access(target->c_str(), W_OK) != 0) {
            return;
        }
        mode = status.st_mode & 0777;
    }
    // Read again, to keep what was edited by hand since: only the values set
    // here and not yet written go over it.
    auto [found, fresh] = load(*target);
    if (found == Found::damaged) {
        const MovedAside moved = moveAside(*target);
        if (!moved.done) {
            return;
        }
        if (log_ != nullptr && !moved.to.empty()) {
            log_->write(LogLevel::warning,
                "the settings file " + *target + " could not be read; it is kept as " + moved.to
                    + " and a new one written");
        }
    }
    if (fresh) {
        for (const std::string& key : unsaved_) {
            gchar* value = g_key_file_get_value(file_.get(), group, key.c_str(), nullptr);
            g_key_file_set_value(fresh.get(), group, key.c_str(), value);
            g_free(value);
        }
    }
    if (!writeKeyFile(*target, fresh ? fresh.get() : file_.get(), mode)) {
        return;
    }
    unsaved_.clear();
    damaged_ = false;
    if (fresh) {
        file_ = std::move(fresh);
    }
}

} // namespace lintara::glib
