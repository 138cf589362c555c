// SPDX-License-Identifier: MIT
#include "Lintara/platform/glib/KeyFileSettings.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace lintara;
using lintara::glib::KeyFileSettings;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    SettingsFile()
    {
        gchar* made = g_dir_make_tmp("lintara-settings-XXXXXX", nullptr);
        dir_ = made;
        g_free(made);
        path_ = dir_ + "/lintara/settings.ini";
    }
    ~SettingsFile() override { std::filesystem::remove_all(dir_); }

    void write(const std::string& text, const std::string& path = {})
    {
        const std::string target = path.empty() ? path_ : path;
        std::filesystem::create_directories(std::filesystem::path(target).parent_path());
        std::ofstream(target, std::ios::binary) << text;
    }
    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
    std::string path_;
};

class RecordingLog final : public Log {
public:
    void write(LogLevel, std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

} // namespace

TEST(SettingText, IntegersReadAsDocumented)
{
    using lintara::glib::integerFromText;
    EXPECT_EQ(integerFromText("90"), 90);
    EXPECT_EQ(integerFromText(" 90 "), 90);
    EXPECT_EQ(integerFromText("\t+90"), 90);
    EXPECT_EQ(integerFromText("-5"), -5);
    EXPECT_EQ(integerFromText("10080"), 10080);
    EXPECT_EQ(integerFromText("90.0"), 90);
    EXPECT_EQ(integerFromText("90.9"), 90);
    EXPECT_EQ(integerFromText("-90.9"), -90);
    EXPECT_EQ(integerFromText("9e1"), 90);
    EXPECT_EQ(integerFromText("9223372036854775807"), INT64_MAX);
    // Not numbers, or too large to hold: 0.
    for (const char* text : { "", " ", "abc", "90분", "9 0", "1,000", "0x5a", "inf", "nan", "yes", "1e400",
             "9223372036854775808000", "९०" }) {
        EXPECT_EQ(integerFromText(text), 0) << text;
    }
}

TEST(SettingText, BooleansAreWhatGLibKeyFilesAccept)
{
    using lintara::glib::integerFromText;
    using lintara::glib::settingValueFromText;
    for (const char* text : { "true", "TRUE", "True", " true ", "1", "\t1\r" }) {
        EXPECT_EQ(settingValueFromText(text), SettingValue { true }) << text;
    }
    for (const char* text : { "false", "FALSE", "false ", "0", " 0" }) {
        EXPECT_EQ(settingValueFromText(text), SettingValue { false }) << text;
    }
    // A boolean's integer reading is 1 or 0, so "1" still reads one minute.
    EXPECT_EQ(integerFromText("1"), 1);
    EXPECT_EQ(integerFromText("TRUE"), 1);
    EXPECT_EQ(integerFromText("false"), 0);
    // Other spellings stay what they are, so the switch reads them as "not a
    // boolean" and falls back to on.
    EXPECT_EQ(settingValueFromText("yes"), SettingValue { std::string("yes") });
    EXPECT_EQ(settingValueFromText("truex"), SettingValue { std::string("truex") });
    EXPECT_EQ(settingValueFromText("01"), SettingValue { std::int64_t { 1 } });
    EXPECT_EQ(settingValueFromText("1.5"), SettingValue { 1.5 });
}

TEST_F(SettingsFile, NothingStoredGivesTheFallbacksAndWritesNothing)
{
    KeyFileSettings store(path_);
    EXPECT_EQ(store.integerForKey("durationMinutes"), 0);
    EXPECT_FALSE(store.objectForKey("automatic").has_value());
    EXPECT_FALSE(store.damaged());
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(SettingsFile, WritesAreOnDiskAtOnceAndReadBackByTheNextRun)
{
    {
        KeyFileSettings store(path_);
        store.setInteger(90, "durationMinutes");
        // Written at once: another reader sees it before this store is gone.
        EXPECT_EQ(KeyFileSettings(path_).integerForKey("durationMinutes"), 90);
        store.setBool(false, "automatic");
        store.setBool(true, "automatic");
        store.setBool(false, "automatic");
    }
    KeyFileSettings next(path_);
    EXPECT_EQ(next.integerForKey("durationMinutes"), 90);
    EXPECT_EQ(next.objectForKey("automatic"), std::optional<SettingValue>(false));
    EXPECT_EQ(read(path_), "[Lintara]\ndurationMinutes=90\nautomatic=false\n");
}

TEST_F(SettingsFile, WritingKeepsWhatElseTheFileHolds)
{
    write("# chosen by hand\n[Lintara]\ndurationMinutes=30\nautomatic=yes\n\n[Other]\nkey=value\n");
    {
        KeyFileSettings store(path_);
        EXPECT_EQ(store.integerForKey("durationMinutes"), 30);
        // A value that is not a boolean comes back as its text.
        EXPECT_EQ(store.objectForKey("automatic"), std::optional<SettingValue>(std::string("yes")));
        store.setInteger(240, "durationMinutes");
    }
    const std::string text = read(path_);
    EXPECT_NE(text.find("# chosen by hand"), std::string::npos);
    EXPECT_NE(text.find("durationMinutes=240"), std::string::npos);
    EXPECT_NE(text.find("automatic=yes"), std::string::npos);
    EXPECT_NE(text.find("[Other]\nkey=value"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path_ + ".bad"));
}

TEST_F(SettingsFile, ACorruptFileIsKeptAsideOnTheNextWrite)
{
    const std::string garbage = "durationMinutes=90\n\x01\x02 not a key file [[[\n";
    write(garbage);
    KeyFileSettings store(path_);
    EXPECT_TRUE(store.damaged());
    EXPECT_EQ(store.integerForKey("durationMinutes"), 0);
    EXPECT_FALSE(store.objectForKey("automatic").has_value());
    // Reading changes nothing on disk.
    EXPECT_EQ(read(path_), garbage);

    store.setBool(false, "automatic");
    EXPECT_EQ(read(path_ + ".bad"), garbage);
    EXPECT_EQ(read(path_), "[Lintara]\nautomatic=false\n");
    // Only the first write moves the old file; a second one must not replace
    // the kept copy with the new, good file.
    store.setInteger(120, "durationMinutes");
    EXPECT_EQ(read(path_ + ".bad"), garbage);
    EXPECT_EQ(KeyFileSettings(path_).integerForKey("durationMinutes"), 120);
}

TEST_F(SettingsFile, AFileWithANulByteIsKeptAsideWhole)
{
    // GLib reads this as a key file, but cuts the first value at the NUL; a
    // rewrite would lose what follows it.
    const std::string zeros = std::string("[Lintara]\ndurationMinutes=9\r\0\0\0", 31) + "0.9\nautomatic=false\n";
    write(zeros);
    KeyFileSettings store(path_);
    EXPECT_TRUE(store.damaged());
    store.setInteger(30, "durationMinutes");
    EXPECT_EQ(read(path_ + ".bad"), zeros);
    EXPECT_EQ(KeyFileSettings(path_).integerForKey("durationMinutes"), 30);
}

TEST_F(SettingsFile, AnUnreadableFileIsTreatedLikeACorruptOne)
{
    // A directory where the file should be cannot be read as one, even by
    // root, which file modes would not stop.
    std::filesystem::create_directories(path_);
    KeyFileSettings store(path_);
    EXPECT_TRUE(store.damaged());
    store.setInteger(60, "durationMinutes");
    EXPECT_TRUE(std::filesystem::is_directory(path_ + ".bad"));
    EXPECT_EQ(KeyFileSettings(path_).integerForKey("durationMinutes"), 60);
}

TEST_F(SettingsFile, AWriteThatCannotHappenFailsQuietlyAndKeepsTheValueInMemory)
{
    // The settings directory's place is taken by a file, so neither the
    // directory nor the settings file can be made.
    write("in the way", dir_ + "/lintara");
    KeyFileSettings store(path_);
    store.setInteger(45, "durationMinutes");
    store.setBool(false, "automatic");
    EXPECT_EQ(store.integerForKey("durationMinutes"), 45);
    EXPECT_EQ(store.objectForKey("automatic"), std::optional<SettingValue>(false));
    EXPECT_EQ(read(dir_ + "/lintara"), "in the way");
}

TEST_F(SettingsFile, WritesThroughASymlinkToItsTarget)
{
    const std::string target = dir_ + "/dotfiles/settings.ini";
    write("[Lintara]\ndurationMinutes=30\n", target);
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    std::filesystem::create_symlink("../dotfiles/settings.ini", path_);
    KeyFileSettings(path_).setInteger(90, "durationMinutes");
    EXPECT_TRUE(std::filesystem::is_symlink(path_));
    EXPECT_EQ(read(target), "[Lintara]\ndurationMinutes=90\n");
}

TEST_F(SettingsFile, AReadOnlyFileIsLeftUnchangedAndTheValueKeptInMemory)
{
    const std::string text = "[Lintara]\ndurationMinutes=30\n";
    write(text);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_read);
    KeyFileSettings store(path_);
    store.setInteger(90, "durationMinutes");
    EXPECT_EQ(store.integerForKey("durationMinutes"), 90);
    EXPECT_EQ(read(path_), text);
    EXPECT_EQ(std::filesystem::status(path_).permissions(), std::filesystem::perms::owner_read);
}

TEST_F(SettingsFile, EachDamagedFileIsKeptAsideUnderANameOfItsOwn)
{
    write("the first", path_ + ".bad");
    for (const std::string garbage : { "second [[[", "third [[[" }) {
        write(garbage);
        KeyFileSettings(path_).setInteger(60, "durationMinutes");
    }
    EXPECT_EQ(read(path_ + ".bad"), "the first");
    EXPECT_EQ(read(path_ + ".bad.1"), "second [[[");
    EXPECT_EQ(read(path_ + ".bad.2"), "third [[[");
}

TEST_F(SettingsFile, EachWriteKeepsWhatWasEditedByHandMeanwhile)
{
    write("[Lintara]\ndurationMinutes=30\n");
    KeyFileSettings store(path_);
    write("# by hand\n[Lintara]\ndurationMinutes=30\nautomatic=false\n\n[Other]\nkey=value\n");
    store.setInteger(240, "durationMinutes");
    const std::string text = read(path_);
    for (const char* kept :
        { "# by hand\n", "[Lintara]\ndurationMinutes=240\nautomatic=false\n", "[Other]\nkey=value\n" }) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " is not in:\n" << text;
    }
}

TEST_F(SettingsFile, AFileOverOneMebibyteIsKeptAsideUnread)
{
    const std::string large = "[Lintara]\ndurationMinutes=30\n#" + std::string(1024 * 1024, 'x') + "\n";
    write(large);
    KeyFileSettings store(path_);
    EXPECT_TRUE(store.damaged());
    EXPECT_EQ(store.integerForKey("durationMinutes"), 0);
    store.setInteger(60, "durationMinutes");
    EXPECT_EQ(read(path_ + ".bad"), large);
    EXPECT_EQ(read(path_), "[Lintara]\ndurationMinutes=60\n");
}

TEST_F(SettingsFile, ANewFileIsPrivateAndAnExistingOneKeepsItsMode)
{
    using std::filesystem::perms;
    const mode_t mask = ::umask(022);
    KeyFileSettings(path_).setInteger(60, "durationMinutes");
    EXPECT_EQ(std::filesystem::status(path_).permissions(), perms::owner_read | perms::owner_write);
    const perms shared = perms::owner_read | perms::owner_write | perms::group_read | perms::group_write;
    std::filesystem::permissions(path_, shared);
    KeyFileSettings(path_).setInteger(90, "durationMinutes");
    EXPECT_EQ(std::filesystem::status(path_).permissions(), shared);
    ::umask(mask);
}

TEST(SettingsPath, FollowsTheXdgConfigDirectory)
{
    // GLib reads XDG_CONFIG_HOME once per process; this test only checks the
    // file name that is put under it.
    const std::string path = lintara::glib::defaultSettingsPath();
    EXPECT_EQ(path, std::string(g_get_user_config_dir()) + "/lintara/settings.ini");
}

// ------------------------------------------- defaults for every user, and the log

TEST_F(SettingsFile, TheUsersValueWinsThenTheFirstSystemFileThenTheNextThenNothing)
{
    const std::string& user = path_;
    const std::string first = dir_ + "/first/settings.ini";
    const std::string second = dir_ + "/second/settings.ini";
    const std::string damaged = dir_ + "/damaged/settings.ini";
    write("[Lintara]\ndurationMinutes=90\n");
    write("[Lintara]\nautomatic=false\ndurationMinutes=30\n", first);
    write("[Lintara]\nautomatic=true\nnote=from the second\n", second);
    write("[Lintara\n\xff", damaged);
    KeyFileSettings settings(user, { damaged, first, dir_ + "/missing/settings.ini", second });

    EXPECT_EQ(settings.integerForKey("durationMinutes"), 90);
    EXPECT_EQ(settings.objectForKey("automatic"), SettingValue(false));
    EXPECT_EQ(settings.objectForKey("note"), SettingValue(std::string("from the second")));
    // Set nowhere: the controller's own default applies.
    EXPECT_EQ(settings.objectForKey("unset"), std::nullopt);
    EXPECT_EQ(settings.integerForKey("unset"), 0);

    // A user's choice goes into the user's file alone, and wins from then
    // on; the administrator's values are not copied into it.
    settings.setBool(true, "automatic");
    EXPECT_EQ(settings.objectForKey("automatic"), SettingValue(true));
    EXPECT_EQ(read(user), "[Lintara]\ndurationMinutes=90\nautomatic=true\n");
    EXPECT_EQ(read(first), "[Lintara]\nautomatic=false\ndurationMinutes=30\n");
}

TEST(SettingsPath, TheSystemFilesComeFromXdgConfigDirsInOrderWithEtcXdgWhenUnset)
{
    g_setenv("XDG_CONFIG_DIRS", "/opt/site:relative:/etc/xdg/", TRUE);
    EXPECT_EQ(lintara::glib::systemSettingsPaths(),
        (std::vector<std::string> { "/opt/site/lintara/settings.ini", "/etc/xdg/lintara/settings.ini" }));
    g_setenv("XDG_CONFIG_DIRS", "", TRUE);
    EXPECT_EQ(lintara::glib::systemSettingsPaths(), (std::vector<std::string> { "/etc/xdg/lintara/settings.ini" }));
    g_unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(lintara::glib::systemSettingsPaths(), (std::vector<std::string> { "/etc/xdg/lintara/settings.ini" }));
}

TEST_F(SettingsFile, ADamagedFileMovedAsideIsLoggedWithBothNames)
{
    const std::string& user = path_;
    write("[Lintara\n\xff");
    RecordingLog log;
    KeyFileSettings settings(user, {}, &log);
    EXPECT_TRUE(log.lines.empty()) << "nothing is moved before a write";
    settings.setInteger(45, "durationMinutes");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find(user + " could not be read"), std::string::npos) << log.lines[0];
    EXPECT_NE(log.lines[0].find("kept as " + user + ".bad"), std::string::npos) << log.lines[0];
    settings.setInteger(50, "durationMinutes");
    EXPECT_EQ(log.lines.size(), 1u);
}
