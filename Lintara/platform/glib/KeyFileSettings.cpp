#include "KeyFileSettings.hpp"

#include "Lintara/text.hpp"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace lintara::glib {

namespace {
    constexpr const char* group = "Lintara";

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

KeyFileSettings::KeyFileSettings(std::string path)
    : path_(std::move(path))
    , file_(g_key_file_new())
{
    gchar* contents = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    bool missing = false;
    bool loaded = false;
    if (g_file_get_contents(path_.c_str(), &contents, &length, &error)) {
        // GLib would cut a value short at a NUL byte, and the next write would
        // lose the rest of it: a file with one, as a crash can leave behind,
        // is not a usable key file.
        loaded = std::memchr(contents, '\0', length) == nullptr
            && g_key_file_load_from_data(file_, contents, length, G_KEY_FILE_KEEP_COMMENTS, nullptr);
        g_free(contents);
    } else {
        missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
        g_error_free(error);
    }
    if (!loaded) {
        if (!missing) {
            // Unreadable or not a key file. Start empty, and keep a fresh key
            // file: a half-parsed one could carry garbage into the next write.
            damaged_ = true;
            g_key_file_free(file_);
            file_ = g_key_file_new();
        }
    }
}

KeyFileSettings::~KeyFileSettings() { g_key_file_free(file_); }

std::optional<std::string> KeyFileSettings::text(std::string_view key) const
{
    const std::string name(key);
    gchar* value = g_key_file_get_value(file_, group, name.c_str(), nullptr);
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
    g_key_file_set_int64(file_, group, std::string(key).c_str(), value);
    save();
}

void KeyFileSettings::setBool(bool value, std::string_view key)
{
    g_key_file_set_boolean(file_, group, std::string(key).c_str(), value ? TRUE : FALSE);
    save();
}

void KeyFileSettings::save()
{
    gchar* directory = g_path_get_dirname(path_.c_str());
    const int made = g_mkdir_with_parents(directory, 0700);
    g_free(directory);
    if (made != 0) {
        return;
    }
    if (damaged_) {
        // Keep what the user had. If it cannot be moved aside, do not write
        // over it either.
        const std::string aside = path_ + ".bad";
        if (g_rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT) {
            return;
        }
        damaged_ = false;
    }
    gsize length = 0;
    gchar* data = g_key_file_to_data(file_, &length, nullptr);
    GError* error = nullptr;
    // Written to a temporary file and renamed over the old one, so a crash
    // mid-write leaves the old file or the new one, never half of each.
    if (!g_file_set_contents(path_.c_str(), data, static_cast<gssize>(length), &error)) {
        g_error_free(error);
    }
    g_free(data);
}

} // namespace lintara::glib
