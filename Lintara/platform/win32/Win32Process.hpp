// SPDX-License-Identifier: MIT
// Child processes and pipes for the seam, on Windows.
//
// Provides:
//  - launch with CreateProcessW, never through a shell, from the exact path
//    given (no search); the arguments quoted so that the child's C runtime
//    splits them back into exactly the strings given; no console window; the
//    environment and working directory are inherited; standard input is NUL;
//  - one pipe that may carry both standard output and standard error. The
//    child inherits that pipe's write end and NUL, and no other handle of
//    ours (PROC_THREAD_ATTRIBUTE_HANDLE_LIST);
//  - a launch failure as a LaunchError "<path>: <the system's text>";
//  - the child, created suspended, in a job object of its own before it runs
//    a single instruction, so that everything it starts is in the job too;
//  - terminate() ends the whole job at once, with exit code 1, as `taskkill
//    /f` would. There is no polite step: a console tool started without a
//    window has no window to close and no console we share for Ctrl+Break,
//    so nothing would reach it. Asked for before the child exists (from
//    another thread while launch() is under way), it acts once it does;
//  - a child whose lifetime ends with the application: its job is killed
//    when its last handle closes (JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE), and
//    that handle is held by the Process object, so the job ends with the run
//    or with Lintara, however Lintara ends, crash included. Such a child's
//    leftovers (a daemon it started) end with its Process too. A child that
//    outlives the application is in a job that is never killed on close, and
//    breaks away from a job Lintara itself may run in, where that job allows;
//  - the output handed over as it is read, in pieces of at most 64 KiB, none
//    of it kept here. Once the job is ended, a writer outside it (a process
//    that broke away) is waited for only 2 s more;
//  - the termination status: the exit code.
// Leaves out: a different environment or working directory, a pseudo-console,
// and anything for the child to read.
#pragma once

#include "Lintara/platform/Platform.hpp"

#include <memory>
#include <string>
#include <vector>

namespace lintara::win32 {

// The command line that CreateProcessW takes for this program and these
// arguments: the program in quotes, then each argument quoted by the rules
// of the Microsoft C runtime (and CommandLineToArgvW) where it needs to be.
[[nodiscard]] std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

class Win32ProcessFactory final : public lintara::ProcessFactory {
public:
    Win32ProcessFactory() = default;
    // Pipes and processes made here work only with each other.
    std::shared_ptr<lintara::Process> makeProcess() override;
    std::shared_ptr<lintara::Pipe> makePipe() override;
};

} // namespace lintara::win32
