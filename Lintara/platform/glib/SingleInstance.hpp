// SPDX-License-Identifier: MIT
// One controller per user. Two would both poll, both disconnect and both write
// the settings, so every front end takes this lock before it builds one.
//
// The lock is an flock on $XDG_RUNTIME_DIR/lintara.lock, or, without a runtime
// directory, on lintara.lock in the settings directory. It needs no session
// bus, and the kernel drops it when the process ends, however it ends, so a
// crashed Lintara never blocks the next one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace lintara::glib {

// $XDG_RUNTIME_DIR/lintara.lock, else the settings directory's lintara.lock.
[[nodiscard]] std::string defaultLockPath();

class SingleInstance {
public:
    // Another process holds the lock.
    struct HeldElsewhere {
        std::string path;
        // The holder's process id as it wrote it, empty if unknown.
        std::string holder;
    };
    // The lock file could not be opened or locked at all.
    struct Unavailable {
        std::string path;
        std::string reason;
    };
    using Outcome = std::variant<SingleInstance, HeldElsewhere, Unavailable>;

    // Takes the lock, or says why not. The lock is held until the returned
    // object is destroyed or the process ends.
    [[nodiscard]] static Outcome acquire(const std::string& path);

    SingleInstance(SingleInstance&& other) noexcept;
    SingleInstance& operator=(SingleInstance&& other) noexcept;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    ~SingleInstance();

private:
    explicit SingleInstance(int fd)
        : fd_(fd)
    {
    }
    int fd_;
};

// The message a second front end prints before it exits, one line, for a lock
// that could not be had.
[[nodiscard]] std::string describe(const SingleInstance::HeldElsewhere& held);
[[nodiscard]] std::string describe(const SingleInstance::Unavailable& unavailable);

// What every front end does before it builds a controller: takes the lock at
// defaultLockPath(), or says on standard error why it cannot, as
// "<program>: <message>", and gives nothing. The front end then exits with
// status 1, in whatever way its toolkit needs.
[[nodiscard]] std::optional<SingleInstance> acquireOrRefuse(std::string_view program);

} // namespace lintara::glib
