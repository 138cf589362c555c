// SPDX-License-Identifier: MIT
#include "SingleInstance.hpp"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace lintara::glib {

std::string defaultLockPath()
{
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    gchar* path = nullptr;
    if (runtime != nullptr && g_path_is_absolute(runtime) && g_file_test(runtime, G_FILE_TEST_IS_DIR)) {
        path = g_build_filename(runtime, "lintara.lock", nullptr);
    } else {
        path = g_build_filename(g_get_user_config_dir(), "lintara", "lintara.lock", nullptr);
    }
    std::string result(path);
    g_free(path);
    return result;
}

SingleInstance::Outcome SingleInstance::acquire(const std::string& path)
{
    gchar* directory = g_path_get_dirname(path.c_str());
    g_mkdir_with_parents(directory, 0700);
    g_free(directory);

    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return Unavailable { path, std::strerror(errno) };
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        if (failure != EWOULDBLOCK) {
            close(fd);
            return Unavailable { path, std::strerror(failure) };
        }
        char buffer[32] = {};
        const ssize_t got = pread(fd, buffer, sizeof buffer - 1, 0);
        close(fd);
        std::string holder;
        for (ssize_t i = 0; i < got && buffer[i] >= '0' && buffer[i] <= '9'; ++i) {
            holder.push_back(buffer[i]);
        }
        return HeldElsewhere { path, holder };
    }
    // The process id is for the message a second launch prints; the lock
    // itself is what counts.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) == 0) {
        (void)!pwrite(fd, pid.data(), pid.size(), 0);
    }
    return SingleInstance(fd);
}

SingleInstance::SingleInstance(SingleInstance&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
{
}

SingleInstance& SingleInstance::operator=(SingleInstance&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

SingleInstance::~SingleInstance()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::string describe(const SingleInstance::HeldElsewhere& held)
{
    std::string text = "Lintara is already running for this user";
    if (!held.holder.empty()) {
        text += " (process " + held.holder + ")";
    }
    return text + "; only one may run at a time. Lock: " + held.path;
}

std::string describe(const SingleInstance::Unavailable& unavailable)
{
    return "cannot take the lock that keeps Lintara to one copy per user, " + unavailable.path + ": "
        + unavailable.reason;
}

std::optional<SingleInstance> acquireOrRefuse(std::string_view program)
{
    SingleInstance::Outcome lock = SingleInstance::acquire(defaultLockPath());
    std::string refusal;
    if (const auto* held = std::get_if<SingleInstance::HeldElsewhere>(&lock)) {
        refusal = describe(*held);
    } else if (const auto* unavailable = std::get_if<SingleInstance::Unavailable>(&lock)) {
        refusal = describe(*unavailable);
    } else {
        return std::move(std::get<SingleInstance>(lock));
    }
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(program.size()), program.data(), refusal.c_str());
    return std::nullopt;
}

} // namespace lintara::glib
