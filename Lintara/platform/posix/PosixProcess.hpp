// SPDX-License-Identifier: MIT
// Child processes and pipes for the seam, on POSIX (Linux now, macOS later).
//
// Provides:
//  - launch with posix_spawn, never through a shell: the argument vector is the
//    path and the arguments given; the environment and the working directory
//    are inherited; standard input is /dev/null;
//  - one pipe that may carry both standard output and standard error; every
//    descriptor is close-on-exec, so no other child inherits it;
//  - the child holds descriptors 0, 1 and 2 only, even where this process
//    holds others without close-on-exec;
//  - a launch failure (missing, not a regular file, not executable) as a
//    LaunchError "<path>: <reason>", never as exit status 127;
//  - the child in its own process group, and in a session of its own with no
//    controlling terminal where the system can start one (Linux, macOS 10.15
//    and later): terminate() sends SIGTERM to the group and, if the child is
//    still there 2 s later, SIGKILL; asked for before the child exists (from
//    another thread while launch() is still under way), it acts once it does;
//  - a child whose lifetime ends with the application has its group killed
//    when this process exits (from an atexit handler registered with the
//    first such child) or when a front end leaving some other way calls
//    endChildrenThatEndWithApplication(); other children are left to finish;
//  - the output handed over as it is read, in pieces of at most 64 KiB, none
//    of it kept here;
//  - the termination status: the exit code, or the signal's number.
// Leaves out: a pseudo-terminal, a different environment or working directory,
// and anything for the child to read. The host must not set SIGCHLD to be
// ignored, since that would let the kernel reap the child behind our back.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <memory>

namespace lintara::posix {

// Kills the group of every running child that ends with the application, and
// of any launched after this. For a way out that skips atexit handlers
// (_exit, a signal's default action), called just before it. Any thread.
void endChildrenThatEndWithApplication();

class SpawnProcessFactory final : public lintara::ProcessFactory {
public:
    SpawnProcessFactory() = default;
    // Pipes and processes made here work only with each other.
    std::shared_ptr<lintara::Process> makeProcess() override;
    std::shared_ptr<lintara::Pipe> makePipe() override;
};

} // namespace lintara::posix
