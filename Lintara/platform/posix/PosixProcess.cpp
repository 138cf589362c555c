// SPDX-License-Identifier: MIT
#include "PosixProcess.hpp"

#include "Lintara/platform/BindingSupport.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lintara::posix {

namespace {

    using Clock = std::chrono::steady_clock;

    // How long a group asked to end gets before it is killed.
    constexpr auto killDelay = std::chrono::seconds(2);
    // How long, after the kill, output is still awaited. Only a descendant that
    // left the group can hold the pipe open past a SIGKILL; it cannot be
    // signalled safely, so instead we stop listening to it.
    constexpr auto abandonDelay = std::chrono::seconds(2);
    // How often the wait looks again at a child that is only stopped.
    constexpr auto stoppedPollInterval = std::chrono::milliseconds(100);
    // How often a blocked read looks whether it should give up.
    constexpr int readPollMilliseconds = 250;
    // Read into a buffer on the worker's stack, whose pages stay with the
    // thread: a heap buffer was zeroed and faulted in afresh on every run of
    // the tool, which cost more than the rest of a run.
    constexpr std::size_t readChunk = 16 * 1024;

    // strerror is not thread-safe; strerror_r is, in two forms. Overloads on
    // the result let the compiler type-check only the form this libc has.
    // The XSI form, the only one on macOS, fills the buffer and returns 0.
    [[maybe_unused]] std::string strerrorText(int result, const char* buffer, int error)
    {
        return result == 0 ? std::string(buffer) : "Unknown error " + std::to_string(error);
    }
    // The GNU form returns the text, which need not be in the buffer.
    [[maybe_unused]] std::string strerrorText(const char* result, const char*, int) { return result; }

    std::string describeError(int error)
    {
        std::array<char, 256> buffer {};
        return strerrorText(::strerror_r(error, buffer.data(), buffer.size()), buffer.data(), error);
    }

    // Puts the child in a process group of its own, so that terminate
    // reaches whatever it starts, and where the system can, in a session of
    // its own: no controlling terminal, so it can neither write to the user's
    // terminal nor be stopped reading it. The session's leader leads its
    // group too, and may not be asked to join one. Returns the spawn flag.
    short ownGroup([[maybe_unused]] posix_spawnattr_t& attributes)
    {
#ifdef POSIX_SPAWN_SETSID
        return POSIX_SPAWN_SETSID;
#else
        posix_spawnattr_setpgroup(&attributes, 0);
        return POSIX_SPAWN_SETPGROUP;
#endif
    }

    // Gives the child descriptors 0, 1 and 2 and no others, whatever this
    // process holds without close-on-exec: Lintara may have been started with
    // more open. Returns the spawn flags it needs.
    short keepOnlyStandardDescriptors(posix_spawn_file_actions_t& actions)
    {
#if defined(__APPLE__)
        // Everything not named here closes on exec, including pipe ends that
        // another thread has made and not yet marked close-on-exec.
        for (const int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO }) {
            posix_spawn_file_actions_addinherit_np(&actions, fd);
        }
        return POSIX_SPAWN_CLOEXEC_DEFAULT;
#elif defined(__linux__) && defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        return 0;
#else
        // Without a way to close a range in the child, close each inheritable
        // descriptor that is open now. The scan stops at the limit on open
        // files, and at 65536 where that limit is higher or unlimited.
        constexpr long scanLimit = 1L << 16;
        const long openMax = ::sysconf(_SC_OPEN_MAX);
        const long last = openMax > 0 && openMax < scanLimit ? openMax : scanLimit;
        for (int fd = STDERR_FILENO + 1; fd < last; ++fd) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
                posix_spawn_file_actions_addclose(&actions, fd);
            }
        }
        return 0;
#endif
    }

    void closeDescriptor(int& fd)
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

    class PosixPipe final : public Pipe {
    public:
        PosixPipe()
        {
            std::array<int, 2> ends {};
#ifdef __linux__
            const bool made = ::pipe2(ends.data(), O_CLOEXEC) == 0;
#else
            // Without pipe2 a child spawned by another thread could slip in
            // between pipe() and the flags; ours cannot, since they keep only
            // descriptors 0, 1 and 2.
            bool made = ::pipe(ends.data()) == 0;
            made = made && ::fcntl(ends[0], F_SETFD, FD_CLOEXEC) == 0 && ::fcntl(ends[1], F_SETFD, FD_CLOEXEC) == 0;
#endif
            if (made) {
                readEnd_ = ends[0];
                writeEnd_ = ends[1];
            } else {
                creationError_ = errno;
            }
        }
        ~PosixPipe() override
        {
            closeDescriptor(readEnd_);
            closeDescriptor(writeEnd_);
        }
        PosixPipe(const PosixPipe&) = delete;
        PosixPipe& operator=(const PosixPipe&) = delete;

        // Blocks until every writer has closed the pipe, handing over each
        // read as it comes. Also returns once the process writing here has
        // been killed and its output still has not ended after a grace
        // period. A pipe that no launched child writes to reads as empty
        // rather than blocking forever on our own write end.
        void readDataToEndOfFile(const std::function<void(std::string_view)>& consume) override
        {
            closeDescriptor(writeEnd_);
            std::array<char, readChunk> chunk; // filled by each read, never zeroed
            while (readEnd_ >= 0) {
                pollfd request { readEnd_, POLLIN, 0 };
                const int ready = ::poll(&request, 1, readPollMilliseconds);
                if (ready < 0 && errno != EINTR) {
                    break;
                }
                if (ready <= 0) {
                    if (deadline_ && deadline_->passed()) {
                        break;
                    }
                    continue;
                }
                const ssize_t count = ::read(readEnd_, chunk.data(), chunk.size());
                if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
                    continue;
                }
                if (count <= 0) {
                    break;
                }
                consume(std::string_view(chunk.data(), static_cast<std::size_t>(count)));
            }
            // Closing now rather than at destruction lets a descendant that is
            // still writing fail with SIGPIPE instead of blocking.
            closeDescriptor(readEnd_);
        }

        [[nodiscard]] int creationError() const { return creationError_; }
        [[nodiscard]] int writeEnd() const { return writeEnd_; }
        // Called once the child holds its own copy of the write end: ours
        // must go, or the read would never see the end of the output.
        void handOver(std::shared_ptr<OutputDeadline> deadline)
        {
            closeDescriptor(writeEnd_);
            deadline_ = std::move(deadline);
        }

    private:
        int readEnd_ = -1;
        int writeEnd_ = -1;
        int creationError_ = 0;
        std::shared_ptr<OutputDeadline> deadline_;
    };

    // The groups of the running children that end with the application. A
    // pid leaves before it is reaped, under its process's lock, so every pid
    // here is unreaped, and a signal to its group reaches no stranger.
    class ChildrenEndingWithApplication {
    public:
        static ChildrenEndingWithApplication& instance()
        {
            // Never destroyed: worker threads may still launch and reap while
            // the process exits.
            static auto* const children = new ChildrenEndingWithApplication;
            return *children;
        }

        void add(pid_t pid)
        {
            const std::scoped_lock lock(mutex_);
            if (ended_) {
                // Launched while the application ends.
                ::kill(-pid, SIGKILL);
            } else {
                pids_.push_back(pid);
            }
        }

        void remove(pid_t pid)
        {
            const std::scoped_lock lock(mutex_);
            std::erase(pids_, pid);
        }

        void endAll()
        {
            const std::scoped_lock lock(mutex_);
            ended_ = true;
            for (const pid_t pid : pids_) {
                ::kill(-pid, SIGKILL);
            }
        }

    private:
        ChildrenEndingWithApplication()
        {
            std::atexit([] { instance().endAll(); });
        }

        std::mutex mutex_;
        std::vector<pid_t> pids_;
        bool ended_ = false;
    };

    // The child's life as seen from here. The pid is signalled only while the
    // child is `running`, which lasts until we reap it; an unreaped child
    // keeps its pid (and so its group id) from being reused, so a signal can
    // never reach a stranger. A terminate asked for before that is kept until
    // the child exists.
    enum class Phase { configured, launching, running, reaped };

    class PosixProcess final : public Process {
    public:
        PosixProcess() = default;
        PosixProcess(const PosixProcess&) = delete;
        PosixProcess& operator=(const PosixProcess&) = delete;

        // Never leaves a zombie or a follow-up thread behind: a child that
        // nobody waited for is killed and reaped here.
        ~PosixProcess() override
        {
            std::thread escalation;
            {
                const std::scoped_lock lock(mutex_);
                destroying_ = true;
                escalation = std::move(escalation_);
                if (phase_ == Phase::running) {
                    forgetForExit();
                    ::kill(-pid_, SIGKILL);
                }
            }
            changed_.notify_all();
            if (escalation.joinable()) {
                escalation.join();
            }
            if (phase_ == Phase::running) {
                int status = 0;
                while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) { }
            }
        }

        void setExecutablePath(std::string path) override { path_ = std::move(path); }
        void setArguments(std::vector<std::string> arguments) override { arguments_ = std::move(arguments); }
        void setStandardOutput(std::shared_ptr<Pipe> pipe) override { output_ = std::move(pipe); }
        void setStandardError(std::shared_ptr<Pipe> pipe) override { error_ = std::move(pipe); }
        void setLifetime(ChildLifetime lifetime) override { lifetime_ = lifetime; }

        std::optional<LaunchError> launch() override;
        void waitUntilExit() override;

        std::int32_t terminationStatus() override
        {
            const std::scoped_lock lock(mutex_);
            // Asked before the end, there is no status yet; -1 is no exit code
            // and no signal number, so it cannot be mistaken for either.
            return phase_ == Phase::reaped ? status_ : -1;
        }

        // True from launch until the child has been reaped. A child that has
        // exited while a descendant still holds its pipe thus still counts as
        // running, so a watchdog still ends the group that keeps the read open.
        bool isRunning() override
        {
            const std::scoped_lock lock(mutex_);
            return phase_ == Phase::running;
        }

        void terminate() override;

    private:
        [[nodiscard]] LaunchError failure(int error) const
        {
            return LaunchError { path_ + ": " + describeError(error) };
        }
        // Checks what posix_spawn would only report from the child on some
        // systems, so that a bad path is always a launch failure.
        [[nodiscard]] int checkExecutable() const;
        // Starts the child; the phase is `launching` meanwhile.
        [[nodiscard]] std::optional<LaunchError> spawn(pid_t& pid);
        // Signals the group to end, and arranges the kill that follows. Called
        // with the lock held, while the child is unreaped.
        void terminateLocked();
        // Takes the child out of what the application ends on its way out;
        // called with the lock held, before the reap.
        void forgetForExit()
        {
            if (lifetime_ == ChildLifetime::endsWithApplication) {
                ChildrenEndingWithApplication::instance().remove(pid_);
            }
        }
        // Waits out the kill delay on its own thread, then kills the group if
        // the child is still unreaped.
        void escalate();
        // Kills the group and starts the grace period for its output. Called
        // with the lock held, while the child is unreaped.
        void killLocked();

        std::string path_;
        std::vector<std::string> arguments_;
        std::shared_ptr<Pipe> output_;
        std::shared_ptr<Pipe> error_;
        ChildLifetime lifetime_ = ChildLifetime::outlivesApplication;

        std::mutex mutex_;
        std::condition_variable changed_;
        Phase phase_ = Phase::configured;
        pid_t pid_ = -1;
        std::int32_t status_ = -1;
        // Asked for while launching, to be done once the child exists.
        bool terminatePending_ = false;
        bool terminateRequested_ = false;
        bool destroying_ = false;
        std::thread escalation_;
        std::shared_ptr<OutputDeadline> deadline_ = std::make_shared<OutputDeadline>();
    };

    int PosixProcess::checkExecutable() const
    {
        struct stat info { };
        if (::stat(path_.c_str(), &info) != 0) {
            return errno;
        }
        if (S_ISDIR(info.st_mode)) {
            return EISDIR;
        }
        if (!S_ISREG(info.st_mode)) {
            return EACCES;
        }
        if (::access(path_.c_str(), X_OK) != 0) {
            return errno;
        }
        return 0;
    }

    std::optional<LaunchError> PosixProcess::launch()
    {
        {
            const std::scoped_lock lock(mutex_);
            if (phase_ != Phase::configured) {
                return failure(EALREADY);
            }
            phase_ = Phase::launching;
        }
        pid_t pid = -1;
        std::optional<LaunchError> error = spawn(pid);
        const std::scoped_lock lock(mutex_);
        if (error) {
            // Nothing runs, so there is nothing left to end either.
            phase_ = Phase::configured;
            terminatePending_ = false;
            return error;
        }
        pid_ = pid;
        phase_ = Phase::running;
        if (lifetime_ == ChildLifetime::endsWithApplication) {
            ChildrenEndingWithApplication::instance().add(pid_);
        }
        // spawn() has checked that both pipes are ours.
        for (const auto& pipe : { output_, error_ }) {
            if (pipe) {
                std::static_pointer_cast<PosixPipe>(pipe)->handOver(deadline_);
            }
        }
        if (terminatePending_) {
            terminateLocked();
        }
        return std::nullopt;
    }

    std::optional<LaunchError> PosixProcess::spawn(pid_t& pid)
    {
        auto outputPipe = std::dynamic_pointer_cast<PosixPipe>(output_);
        auto errorPipe = std::dynamic_pointer_cast<PosixPipe>(error_);
        if ((output_ && !outputPipe) || (error_ && !errorPipe)) {
            return failure(EINVAL);
        }
        for (const auto& pipe : { outputPipe, errorPipe }) {
            if (pipe && pipe->creationError() != 0) {
                return failure(pipe->creationError());
            }
            if (pipe && pipe->writeEnd() < 0) {
                // Handed to an earlier child already; its end is gone.
                return failure(EBADF);
            }
        }
        if (const int error = checkExecutable(); error != 0) {
            return failure(error);
        }

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        // Nothing of ours to read: a tool that reads its input gets the end
        // at once, and never our terminal.
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (outputPipe) {
            posix_spawn_file_actions_adddup2(&actions, outputPipe->writeEnd(), STDOUT_FILENO);
        }
        if (errorPipe) {
            posix_spawn_file_actions_adddup2(&actions, errorPipe->writeEnd(), STDERR_FILENO);
        }
        // No blocked signals and default handlers, whatever the thread that
        // launches it has set up for itself.
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        // Not ours to reset, and some systems refuse the whole set if asked.
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        const int descriptorFlags = keepOnlyStandardDescriptors(actions);
        posix_spawnattr_setflags(&attributes,
            static_cast<short>(
                ownGroup(attributes) | descriptorFlags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);

        std::vector<char*> argv;
        argv.push_back(path_.data());
        for (std::string& argument : arguments_) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);

        const int error = ::posix_spawn(&pid, path_.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (error != 0) {
            return failure(error);
        }
        return std::nullopt;
    }

    void PosixProcess::waitUntilExit()
    {
        pid_t pid = -1;
        {
            const std::scoped_lock lock(mutex_);
            if (phase_ != Phase::running) {
                return;
            }
            pid = pid_;
        }
        // Wait for the end without reaping, so that the pid stays ours until
        // the reap below, made under the lock that terminate() signals under.
        // Darwin may answer with a child that has only stopped, and goes on
        // answering so while it stays stopped: that is no end, so look again
        // a little later.
        int waited = 0;
        for (;;) {
            siginfo_t info {};
            waited = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
            if (waited != 0 && errno == EINTR) {
                continue;
            }
            const bool ended = info.si_code == CLD_EXITED || info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
            if (waited != 0 || ended) {
                break;
            }
            std::this_thread::sleep_for(stoppedPollInterval);
        }
        const std::scoped_lock lock(mutex_);
        if (phase_ != Phase::running) {
            return;
        }
        forgetForExit();
        // The child has ended, so the reap cannot block while the lock is held.
        int status = 0;
        if (waited == 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
            status_ = WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
        } else {
            // Reaped by someone else, which only a host that ignores SIGCHLD
            // can cause; there is no status to report.
            status_ = -1;
        }
        phase_ = Phase::reaped;
        changed_.notify_all();
    }

    void PosixProcess::terminate()
    {
        const std::scoped_lock lock(mutex_);
        if (phase_ == Phase::configured || phase_ == Phase::launching) {
            terminatePending_ = true;
        } else if (phase_ == Phase::running) {
            terminateLocked();
        }
    }

    void PosixProcess::terminateLocked()
    {
        ::kill(-pid_, SIGTERM);
        // A member stopped by job control would hold SIGTERM pending forever.
        ::kill(-pid_, SIGCONT);
        if (!terminateRequested_) {
            terminateRequested_ = true;
            try {
                escalation_ = std::thread([this] { escalate(); });
            } catch (const std::system_error&) {
                // No thread to keep time for the grace period: kill now rather
                // than risk a group that never ends.
                killLocked();
            }
        }
    }

    void PosixProcess::escalate()
    {
        std::unique_lock lock(mutex_);
        const bool ended
            = changed_.wait_for(lock, killDelay, [this] { return phase_ != Phase::running || destroying_; });
        if (!ended) {
            killLocked();
        }
    }

    void PosixProcess::killLocked()
    {
        ::kill(-pid_, SIGKILL);
        deadline_->abandonAfter(abandonDelay);
    }

} // namespace

void endChildrenThatEndWithApplication() { ChildrenEndingWithApplication::instance().endAll(); }

std::shared_ptr<lintara::Process> SpawnProcessFactory::makeProcess() { return std::make_shared<PosixProcess>(); }

std::shared_ptr<lintara::Pipe> SpawnProcessFactory::makePipe() { return std::make_shared<PosixPipe>(); }

} // namespace lintara::posix
