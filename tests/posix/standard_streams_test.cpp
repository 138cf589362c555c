// SPDX-License-Identifier: MIT
// A front end started with standard descriptors closed (`2>&-`): they are
// opened on /dev/null before anything else can take them.
#include "Lintara/platform/posix/StandardStreams.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lintara::posix::test {
namespace {

    bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

    bool onDevNull(int fd)
    {
        struct stat null { };
        struct stat actual { };
        return ::stat("/dev/null", &null) == 0 && ::fstat(fd, &actual) == 0 && sameFile(null, actual);
    }

    TEST(StandardStreams, ClosedOnesAreOpenedOnDevNullAndOpenOnesKept)
    {
        // In a child, so that the test keeps its own descriptors. Other
        // threads may hold locks there, so the child makes only
        // async-signal-safe calls, and answers through its exit status.
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            struct stat outputBefore { };
            ::fstat(STDOUT_FILENO, &outputBefore);
            ::close(STDIN_FILENO);
            ::close(STDERR_FILENO);
            openClosedStandardStreams();
            struct stat outputAfter { };
            int faults = 0;
            faults |= onDevNull(STDIN_FILENO) ? 0 : 1;
            faults |= onDevNull(STDERR_FILENO) ? 0 : 2;
            faults |= ::fstat(STDOUT_FILENO, &outputAfter) == 0 && sameFile(outputBefore, outputAfter) ? 0 : 4;
            faults |= ::open("/dev/null", O_RDONLY) > STDERR_FILENO ? 0 : 8;
            ::_exit(faults);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: stdin, 2: stderr not on /dev/null; 4: stdout changed; "
                                             "8: the next file took a standard descriptor";
    }

} // namespace
} // namespace lintara::posix::test
