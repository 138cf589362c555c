// SPDX-License-Identifier: MIT
#include "TerminalMode.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace lintara::terminal {

namespace {
    // Leave the alternate screen, show the cursor, reset attributes, wrap at
    // the margin again. While Lintara holds the screen nothing wraps: a row
    // that a terminal draws wider than counted is cut at the edge instead of
    // scrolling the screen. Kept as plain bytes, for the signal handlers.
    struct Bytes {
        char data[512] = {};
        std::size_t length = 0;

        void set(const std::string& text)
        {
            length = std::min(text.size(), sizeof data);
            std::memcpy(data, text.data(), length);
        }
    };
    Bytes enterSequence;
    Bytes leaveSequence;

    int savedInput = -1;
    int savedOutput = -1;
    termios savedModes {};
    std::atomic<bool> active { false };
    // Set while stopped by SIGTSTP with the terminal handed back.
    std::atomic<bool> stopped { false };
    int continuedPipe[2] = { -1, -1 };

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

    // Raw input and the full screen, from the saved modes. Async-signal-safe.
    void takeTerminal()
    {
        termios raw = savedModes;
        raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
        raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
        raw.c_cflag |= CS8;
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active = true;
        tcsetattr(savedInput, TCSAFLUSH, &raw);
        writeRaw(savedOutput, enterSequence.data, enterSequence.length);
    }

    // After a stop the shell has had the terminal, and may have left it in
    // any mode, so raw mode and the screen are set up again and the front
    // end told to repaint. When we handed it back ourselves, the modes found
    // are the ones to restore next.
    void takeTerminalAgain(bool handedBack)
    {
        if (handedBack) {
            tcgetattr(savedInput, &savedModes);
        }
        takeTerminal();
        const char byte = 0;
        (void)!write(continuedPipe[1], &byte, 1);
    }

    void onContinue(int)
    {
        const int savedErrno = errno;
        if (stopped.exchange(false)) {
            takeTerminalAgain(true);
        } else if (active) {
            takeTerminalAgain(false); // stopped by SIGSTOP, which no handler sees
        }
        errno = savedErrno;
    }

    void installStopHandler();

    // Ctrl-Z or SIGTSTP: the shell gets its terminal back as it gave it, then
    // the process stops as it would have without this handler.
    void onStop(int)
    {
        const int savedErrno = errno;
        if (active) {
            restoreTerminal();
            stopped = true;
        }
        std::signal(SIGTSTP, SIG_DFL);
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGTSTP);
        pthread_sigmask(SIG_UNBLOCK, &mask, nullptr);
        raise(SIGTSTP);
        // Continued, and SIGCONT's handler has taken the terminal again; or
        // not stopped at all, in a process group no shell controls.
        installStopHandler();
        if (stopped.exchange(false)) {
            takeTerminalAgain(true);
        }
        errno = savedErrno;
    }

    void installStopHandler()
    {
        struct sigaction action { };
        action.sa_handler = onStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTSTP, &action, nullptr);
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

        if (pipe(continuedPipe) == 0) {
            for (const int fd : continuedPipe) {
                fcntl(fd, F_SETFD, FD_CLOEXEC);
                fcntl(fd, F_SETFL, O_NONBLOCK);
            }
        }
        installStopHandler();
        action.sa_handler = onContinue;
        action.sa_flags = SA_RESTART;
        sigaction(SIGCONT, &action, nullptr);
    }
} // namespace

void enterFullScreen(int inputFd, int outputFd, const Sequences& sequences)
{
    enterSequence.set(sequences.enterScreen + sequences.hideCursor + sequences.wrapOff + sequences.clearScreen);
    leaveSequence.set(sequences.reverseOff + sequences.showCursor + sequences.wrapOn + sequences.leaveScreen);
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
    takeTerminal();
}

void restoreTerminal()
{
    if (!active.exchange(false)) {
        return;
    }
    writeRaw(savedOutput, leaveSequence.data, leaveSequence.length);
    tcsetattr(savedInput, TCSAFLUSH, &savedModes);
}

int continuedFd() { return continuedPipe[0]; }

void writeToTerminal(std::string_view bytes)
{
    if (savedOutput >= 0) {
        writeRaw(savedOutput, bytes.data(), bytes.size());
    }
}

} // namespace lintara::terminal
