// SPDX-License-Identifier: MIT
#include "StandardStreams.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace lintara::posix {

void openClosedStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor is this one, since those below it
            // are open by now. Without /dev/null there is nothing better to
            // put there.
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened > STDERR_FILENO) {
                ::close(opened);
            }
        }
    }
}

} // namespace lintara::posix
