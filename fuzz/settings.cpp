// SPDX-License-Identifier: MIT
// The settings file as Lintara reads it at start-up, from arbitrary bytes:
// reading never fails, the integer and typed readings of a key agree, and the
// first write loses nothing. A file that could not be used is moved aside byte
// for byte; a usable one keeps every other group, key and value.
#include "Check.hpp"
#include "Lintara/platform/glib/KeyFileSettings.hpp"

#include <glib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

std::string scratchDirectory()
{
    static const std::string directory = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/lintara-fuzz-settings-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern;
    }();
    static const bool tidied = [] {
        // libFuzzer ends with exit(), so the scratch folder goes with it.
        std::atexit([] {
            for (const char* name : { "/settings.ini", "/settings.ini.bad" }) {
                ::unlink((directory + name).c_str());
            }
            ::rmdir(directory.c_str());
        });
        return true;
    }();
    (void)tidied;
    return directory;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// What integerForKey must give for what objectForKey gives.
std::int64_t integerReading(const std::optional<lintara::SettingValue>& value)
{
    if (!value) {
        return 0;
    }
    if (const auto* flag = std::get_if<bool>(&*value)) {
        return *flag ? 1 : 0;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&*value)) {
        return *integer;
    }
    if (const auto* decimal = std::get_if<double>(&*value)) {
        const double whole = std::trunc(*decimal);
        if (whole >= -9223372036854775808.0 && whole < 9223372036854775808.0) {
            return static_cast<std::int64_t>(whole);
        }
    }
    return 0;
}

// Every value of the original file other than the one just written must be in
// the rewritten file, unchanged. One exception is GLib's, not ours: its reader
// takes a "\r" before a line's "\n" as part of the line end, and its writer
// does not escape a value's last "\r", so such a value comes back one "\r"
// shorter.
std::string_view withoutFinalReturn(std::string_view value)
{
    return value.ends_with('\r') ? value.substr(0, value.size() - 1) : value;
}

void checkNothingLost(GKeyFile* original, GKeyFile* rewritten)
{
    gchar** groups = g_key_file_get_groups(original, nullptr);
    for (gchar** group = groups; *group != nullptr; ++group) {
        gchar** keys = g_key_file_get_keys(original, *group, nullptr, nullptr);
        for (gchar** key = keys; keys != nullptr && *key != nullptr; ++key) {
            if (std::string_view(*group) == "Lintara" && std::string_view(*key) == "durationMinutes") {
                continue;
            }
            gchar* before = g_key_file_get_value(original, *group, *key, nullptr);
            gchar* after = g_key_file_get_value(rewritten, *group, *key, nullptr);
            LINTARA_FUZZ_CHECK(before != nullptr && after != nullptr);
            LINTARA_FUZZ_CHECK(withoutFinalReturn(before) == after);
            g_free(before);
            g_free(after);
        }
        g_strfreev(keys);
    }
    g_strfreev(groups);
}

// The file as GLib reads it, or null when it is not a usable key file: GLib
// rejects it, it holds a NUL byte, at which GLib would cut a value short, or it
// is over 1 MiB.
GKeyFile* loadKeyFile(const std::string& bytes)
{
    if (bytes.find('\0') != std::string::npos || bytes.size() > 1024 * 1024) {
        return nullptr;
    }
    GKeyFile* file = g_key_file_new();
    if (!g_key_file_load_from_data(file, bytes.data(), bytes.size(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        g_key_file_free(file);
        return nullptr;
    }
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = scratchDirectory() + "/settings.ini";
    const std::string aside = path + ".bad";
    ::unlink(path.c_str());
    ::unlink(aside.c_str());
    {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }

    GKeyFile* original = loadKeyFile(bytes);
    lintara::glib::KeyFileSettings settings(path);
    LINTARA_FUZZ_CHECK(settings.damaged() == (original == nullptr));
    for (const char* key : { "durationMinutes", "automatic" }) {
        LINTARA_FUZZ_CHECK(settings.integerForKey(key) == integerReading(settings.objectForKey(key)));
    }
    std::optional<lintara::SettingValue> automatic = settings.objectForKey("automatic");
    if (automatic) {
        // Read back as GLib will have kept it (see checkNothingLost).
        if (const auto* text = std::get_if<std::string>(&*automatic)) {
            automatic = lintara::glib::settingValueFromText(withoutFinalReturn(*text));
        }
    }

    const std::int64_t minutes = 1 + static_cast<std::int64_t>(size % 10080);
    settings.setInteger(minutes, "durationMinutes");
    if (original == nullptr) {
        LINTARA_FUZZ_CHECK(readFile(aside) == bytes);
    }

    const std::string written = readFile(path);
    GKeyFile* rewritten = loadKeyFile(written);
    LINTARA_FUZZ_CHECK(rewritten != nullptr);
    if (original != nullptr) {
        checkNothingLost(original, rewritten);
        g_key_file_free(original);
    }
    g_key_file_free(rewritten);

    lintara::glib::KeyFileSettings reread(path);
    LINTARA_FUZZ_CHECK(!reread.damaged());
    LINTARA_FUZZ_CHECK(reread.integerForKey("durationMinutes") == minutes);
    LINTARA_FUZZ_CHECK(reread.objectForKey("automatic") == automatic);
    return 0;
}
