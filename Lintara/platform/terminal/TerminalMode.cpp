#include "TerminalMode.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <termios.h>
#include <unistd.h>

namespace lintara::terminal {

namespace {
    // Leave the alternate screen, show the cursor, reset attributes.
    constexpr char leaveSequence[] = "\x1b[0m\x1b[?25h\x1b[?1049l";
    constexpr char enterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J";

    int savedInput = -1;
    int savedOutput = -1;
    termios savedModes {};
    std::atomic<bool> active { false };

    void writeRaw(int fd, const char* bytes, std::size_t length)
    {
        while (length > 0) {
            const ssize_t written = write(fd, bytes, length);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            bytes += written;
            length -= static_cast<std::size_t>(written);
        }
    }

    void onFatalSignal(int signal)
    {
        restoreTerminal();
        // SA_RESETHAND has put the default action back; raising again ends
        // the process the way the signal would have.
        raise(signal);
    }

    void installRestorers()
    {
        std::atexit(restoreTerminal);
        std::set_terminate([] {
            restoreTerminal();
            std::abort();
        });
        struct sigaction action { };
        action.sa_handler = onFatalSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        for (const int signal : { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT }) {
            sigaction(signal, &action, nullptr);
        }
        // A terminal that has gone away reports errors on write; the signal
        // would end us before the restore could run.
        std::signal(SIGPIPE, SIG_IGN);
    }
} // namespace

void enterFullScreen(int inputFd, int outputFd)
{
    savedInput = inputFd;
    savedOutput = outputFd;
    if (tcgetattr(inputFd, &savedModes) != 0) {
        return;
    }
    static bool installed = false;
    if (!installed) {
        installRestorers();
        installed = true;
    }
    termios raw = savedModes;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active = true;
    tcsetattr(inputFd, TCSAFLUSH, &raw);
    writeRaw(outputFd, enterSequence, sizeof enterSequence - 1);
}

void restoreTerminal()
{
    if (!active.exchange(false)) {
        return;
    }
    writeRaw(savedOutput, leaveSequence, sizeof leaveSequence - 1);
    tcsetattr(savedInput, TCSAFLUSH, &savedModes);
}

void writeToTerminal(std::string_view bytes)
{
    if (savedOutput >= 0) {
        writeRaw(savedOutput, bytes.data(), bytes.size());
    }
}

} // namespace lintara::terminal
