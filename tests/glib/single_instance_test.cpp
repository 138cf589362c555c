// SPDX-License-Identifier: MIT
#include "Lintara/platform/glib/SingleInstance.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using lintara::glib::SingleInstance;

namespace {
struct TempDir {
    TempDir()
    {
        gchar* made = g_dir_make_tmp("lintara-lock-XXXXXX", nullptr);
        path = made;
        g_free(made);
    }
    ~TempDir()
    {
        const std::string command = "rm -rf '" + path + "'";
        (void)!system(command.c_str());
    }
    std::string path;
};
} // namespace

TEST(SingleInstance, OneHolderAtATimeAndTheSecondIsToldWho)
{
    const TempDir dir;
    const std::string path = dir.path + "/nested/lintara.lock";
    {
        SingleInstance::Outcome first = SingleInstance::acquire(path);
        ASSERT_TRUE(std::holds_alternative<SingleInstance>(first));

        // flock belongs to the open file, so a second open in this process
        // is refused just as another process would be.
        const SingleInstance::Outcome second = SingleInstance::acquire(path);
        const auto* held = std::get_if<SingleInstance::HeldElsewhere>(&second);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->holder, std::to_string(getpid()));
        const std::string message = lintara::glib::describe(*held);
        EXPECT_NE(message.find("already running"), std::string::npos);
        EXPECT_NE(message.find(std::to_string(getpid())), std::string::npos);

        // Moving the lock keeps it held.
        SingleInstance moved = std::move(std::get<SingleInstance>(first));
        EXPECT_TRUE(std::holds_alternative<SingleInstance::HeldElsewhere>(SingleInstance::acquire(path)));
    }
    // Released with its holder: a later start gets it.
    EXPECT_TRUE(std::holds_alternative<SingleInstance>(SingleInstance::acquire(path)));
}

TEST(SingleInstance, ALockFileThatCannotBeMadeIsReportedNotIgnored)
{
    const TempDir dir;
    const std::string blocker = dir.path + "/file";
    std::ofstream(blocker) << "not a directory";
    const SingleInstance::Outcome outcome = SingleInstance::acquire(blocker + "/lintara.lock");
    const auto* unavailable = std::get_if<SingleInstance::Unavailable>(&outcome);
    ASSERT_NE(unavailable, nullptr);
    EXPECT_FALSE(unavailable->reason.empty());
    EXPECT_NE(lintara::glib::describe(*unavailable).find(blocker), std::string::npos);
}

TEST(SingleInstance, LockLivesInTheRuntimeDirectoryElseBesideTheSettings)
{
    const TempDir dir;
    g_setenv("XDG_RUNTIME_DIR", dir.path.c_str(), TRUE);
    EXPECT_EQ(lintara::glib::defaultLockPath(), dir.path + "/lintara.lock");
    g_setenv("XDG_RUNTIME_DIR", (dir.path + "/missing").c_str(), TRUE);
    const std::string fallback = lintara::glib::defaultLockPath();
    EXPECT_EQ(fallback, std::string(g_get_user_config_dir()) + "/lintara/lintara.lock");
    g_unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(lintara::glib::defaultLockPath(), fallback);
}
