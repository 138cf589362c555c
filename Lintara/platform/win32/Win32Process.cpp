// SPDX-License-Identifier: MIT
#include "Win32Process.hpp"

#include "Lintara/platform/BindingSupport.hpp"

#include "Conversions.hpp"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <utility>

#include <windows.h>

namespace lintara::win32 {

namespace {

    using Clock = std::chrono::steady_clock;

    // How long, after the job is ended, output is still awaited. Only a
    // process outside the job can hold the pipe open past that; it cannot be
    // ended from here, so instead we stop listening to it.
    constexpr auto abandonDelay = std::chrono::seconds(2);
    // How often a blocked read looks whether it should give up.
    constexpr DWORD readPollMilliseconds = 250;
    constexpr DWORD readChunk = 64 * 1024;
    // The exit code of a child ended by terminate().
    constexpr UINT terminatedExitCode = 1;

    class Handle {
    public:
        Handle() = default;
        explicit Handle(HANDLE handle)
            : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle)
        {
        }
        ~Handle() { reset(); }
        Handle(Handle&& other) noexcept
            : handle_(std::exchange(other.handle_, nullptr))
        {
        }
        Handle& operator=(Handle&& other) noexcept
        {
            if (this != &other) {
                reset();
                handle_ = std::exchange(other.handle_, nullptr);
            }
            return *this;
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;

        [[nodiscard]] HANDLE get() const { return handle_; }
        explicit operator bool() const { return handle_ != nullptr; }
        void reset()
        {
            if (handle_ != nullptr) {
                ::CloseHandle(handle_);
                handle_ = nullptr;
            }
        }

    private:
        HANDLE handle_ = nullptr;
    };

    // A named pipe rather than CreatePipe's anonymous one: only a named pipe
    // can be read with a timeout (overlapped), which lets a read give up on a
    // writer that will never close. The child's end is a plain synchronous
    // handle, as any program expects of its standard output.
    class Win32Pipe final : public Pipe {
    public:
        Win32Pipe()
        {
            static std::atomic<unsigned long> made { 0 };
            const std::wstring name = L"\\\\.\\pipe\\lintara-" + std::to_wstring(::GetCurrentProcessId()) + L"-"
                + std::to_wstring(made.fetch_add(1)) + L"-" + std::to_wstring(::GetTickCount64());
            // One instance, made first by us: nobody else can take the name
            // or connect after our own client end has.
            readEnd_ = Handle(::CreateNamedPipeW(name.c_str(),
                PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, readChunk, 0,
                nullptr));
            if (!readEnd_) {
                creationError_ = ::GetLastError();
                return;
            }
            writeEnd_ = Handle(
                ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!writeEnd_) {
                creationError_ = ::GetLastError();
                readEnd_.reset();
            }
        }

        // Blocks until every writer has closed the pipe, handing over each
        // read as it comes. Also returns once the job writing here has been
        // ended and its output still has not ended after a grace period. A
        // pipe that no launched child writes to reads as empty rather than
        // blocking forever on our own write end.
        void readDataToEndOfFile(const std::function<void(std::string_view)>& consume) override
        {
            writeEnd_.reset();
            const Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (!event) {
                readEnd_.reset();
                return;
            }
            std::string chunk(readChunk, '\0');
            bool abandoned = false;
            while (readEnd_ && !abandoned) {
                OVERLAPPED request {};
                request.hEvent = event.get();
                if (!::ReadFile(readEnd_.get(), chunk.data(), readChunk, nullptr, &request)
                    && ::GetLastError() != ERROR_IO_PENDING) {
                    // ERROR_BROKEN_PIPE: every writer has closed.
                    break;
                }
                while (::WaitForSingleObject(event.get(), readPollMilliseconds) == WAIT_TIMEOUT) {
                    if (deadline_ && deadline_->passed()) {
                        ::CancelIoEx(readEnd_.get(), &request);
                        abandoned = true;
                        break;
                    }
                }
                DWORD count = 0;
                // Waits for the cancel, if any, to land: the buffer is ours
                // again only then.
                if (!::GetOverlappedResult(readEnd_.get(), &request, &count, TRUE)) {
                    break;
                }
                // A writer may write zero bytes, which is no end of file.
                if (count > 0) {
                    consume(std::string_view(chunk.data(), count));
                }
            }
            // Closing now rather than at destruction lets a writer that is
            // still going fail instead of blocking on a full pipe.
            readEnd_.reset();
        }

        [[nodiscard]] DWORD creationError() const { return creationError_; }
        [[nodiscard]] HANDLE writeEnd() const { return writeEnd_.get(); }
        // Called once the child holds its own copy of the write end: ours
        // must go, or the read would never see the end of the output.
        void handOver(std::shared_ptr<OutputDeadline> deadline)
        {
            writeEnd_.reset();
            deadline_ = std::move(deadline);
        }

    private:
        Handle readEnd_;
        Handle writeEnd_;
        DWORD creationError_ = 0;
        std::shared_ptr<OutputDeadline> deadline_;
    };

    // What CreateProcessW takes to start a child with exactly these standard
    // handles inheritable, and no other.
    class InheritedHandles {
    public:
        explicit InheritedHandles(std::vector<HANDLE> handles)
            : handles_(std::move(handles))
        {
            SIZE_T size = 0;
            ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
            storage_.resize(size);
            auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
            if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
                error_ = ::GetLastError();
                return;
            }
            list_ = list;
            if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                    handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
                error_ = ::GetLastError();
            }
        }
        ~InheritedHandles()
        {
            if (list_ != nullptr) {
                ::DeleteProcThreadAttributeList(list_);
            }
        }
        InheritedHandles(const InheritedHandles&) = delete;
        InheritedHandles& operator=(const InheritedHandles&) = delete;

        [[nodiscard]] DWORD error() const { return error_; }
        [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

    private:
        std::vector<HANDLE> handles_;
        std::vector<std::byte> storage_;
        LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
        DWORD error_ = 0;
    };

    Handle inheritableCopy(HANDLE handle)
    {
        HANDLE copy = nullptr;
        if (!::DuplicateHandle(
                ::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
            return {};
        }
        return Handle(copy);
    }

    // The child's life as seen from here. A terminate asked for before the
    // child exists is kept until it does.
    enum class Phase { configured, launching, running, reaped };

    class Win32Process final : public Process {
    public:
        Win32Process() = default;
        Win32Process(const Win32Process&) = delete;
        Win32Process& operator=(const Win32Process&) = delete;

        // A child that nobody waited for is ended here, with its job.
        ~Win32Process() override
        {
            const std::scoped_lock lock(mutex_);
            if (phase_ == Phase::running) {
                endLocked();
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
            // Asked before the end, there is no status yet.
            return phase_ == Phase::reaped ? status_ : -1;
        }

        // True from launch until waitUntilExit has seen the end. A child
        // that has exited while something it started still holds its pipe
        // thus still counts as running, so a watchdog still ends the job
        // that keeps the read open.
        bool isRunning() override
        {
            const std::scoped_lock lock(mutex_);
            return phase_ == Phase::running;
        }

        void terminate() override
        {
            const std::scoped_lock lock(mutex_);
            if (phase_ == Phase::configured || phase_ == Phase::launching) {
                terminatePending_ = true;
            } else if (phase_ == Phase::running) {
                endLocked();
            }
        }

    private:
        [[nodiscard]] LaunchError failure(DWORD error) const
        {
            return LaunchError { path_ + ": " + systemErrorText(error) };
        }
        // Starts the child, suspended, in its job, then lets it run; the
        // phase is `launching` meanwhile.
        [[nodiscard]] std::optional<LaunchError> spawn(Handle& process, Handle& job);
        // Ends the job, or the child alone where it could not be put in one,
        // and starts the grace period for the output. With the lock held.
        void endLocked()
        {
            if (job_) {
                ::TerminateJobObject(job_.get(), terminatedExitCode);
            } else {
                ::TerminateProcess(process_.get(), terminatedExitCode);
            }
            deadline_->abandonAfter(abandonDelay);
        }

        std::string path_;
        std::vector<std::string> arguments_;
        std::shared_ptr<Pipe> output_;
        std::shared_ptr<Pipe> error_;
        ChildLifetime lifetime_ = ChildLifetime::outlivesApplication;

        std::mutex mutex_;
        Phase phase_ = Phase::configured;
        Handle process_;
        // Closed with this object; for a child that ends with the
        // application, that ends whatever is left in it.
        Handle job_;
        std::int32_t status_ = -1;
        bool terminatePending_ = false;
        std::shared_ptr<OutputDeadline> deadline_ = std::make_shared<OutputDeadline>();
    };

    std::optional<LaunchError> Win32Process::launch()
    {
        {
            const std::scoped_lock lock(mutex_);
            if (phase_ != Phase::configured) {
                return failure(ERROR_BUSY);
            }
            phase_ = Phase::launching;
        }
        Handle process;
        Handle job;
        std::optional<LaunchError> error = spawn(process, job);
        const std::scoped_lock lock(mutex_);
        if (error) {
            // Nothing runs, so there is nothing left to end either.
            phase_ = Phase::configured;
            terminatePending_ = false;
            return error;
        }
        process_ = std::move(process);
        job_ = std::move(job);
        phase_ = Phase::running;
        // spawn() has checked that both pipes are ours.
        for (const auto& pipe : { output_, error_ }) {
            if (pipe) {
                std::static_pointer_cast<Win32Pipe>(pipe)->handOver(deadline_);
            }
        }
        if (terminatePending_) {
            endLocked();
        }
        return std::nullopt;
    }

    std::optional<LaunchError> Win32Process::spawn(Handle& process, Handle& job)
    {
        auto outputPipe = std::dynamic_pointer_cast<Win32Pipe>(output_);
        auto errorPipe = std::dynamic_pointer_cast<Win32Pipe>(error_);
        if ((output_ && !outputPipe) || (error_ && !errorPipe)) {
            return failure(ERROR_INVALID_PARAMETER);
        }
        for (const auto& pipe : { outputPipe, errorPipe }) {
            if (pipe && pipe->creationError() != 0) {
                return failure(pipe->creationError());
            }
            if (pipe && pipe->writeEnd() == nullptr) {
                // Handed to an earlier child already; its end is gone.
                return failure(ERROR_INVALID_HANDLE);
            }
        }

        // Nothing of ours to read; and where no pipe is given, nowhere to
        // write either.
        SECURITY_ATTRIBUTES inheritable { sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE };
        const Handle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!nul) {
            return failure(::GetLastError());
        }
        // Our pipe ends are never inheritable, so that no other child started
        // meanwhile can take one; the child gets inheritable copies.
        const Handle output = outputPipe ? inheritableCopy(outputPipe->writeEnd()) : Handle();
        const Handle error = errorPipe == outputPipe ? Handle()
            : errorPipe                              ? inheritableCopy(errorPipe->writeEnd())
                                                     : Handle();
        if ((outputPipe && !output) || (errorPipe && errorPipe != outputPipe && !error)) {
            return failure(::GetLastError());
        }
        STARTUPINFOEXW startup {};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = nul.get();
        startup.StartupInfo.hStdOutput = output ? output.get() : nul.get();
        startup.StartupInfo.hStdError = error ? error.get() : errorPipe ? output.get() : nul.get();
        std::vector<HANDLE> handles { nul.get() };
        for (const Handle* handle : { &output, &error }) {
            if (*handle) {
                handles.push_back(handle->get());
            }
        }
        const InheritedHandles inherited(std::move(handles));
        if (inherited.error() != 0) {
            return failure(inherited.error());
        }
        startup.lpAttributeList = inherited.list();

        job = Handle(::CreateJobObjectW(nullptr, nullptr));
        if (job && lifetime_ == ChildLifetime::endsWithApplication) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
                return failure(::GetLastError());
            }
        }

        const std::wstring application = widen(path_);
        std::vector<std::wstring> arguments;
        arguments.reserve(arguments_.size());
        for (const std::string& argument : arguments_) {
            arguments.push_back(widen(argument));
        }
        std::wstring line = commandLine(application, arguments);
        DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT;
        // A child that outlives us must not go down with a job that Lintara
        // itself was started in. Only a job that allows it can be left;
        // any other refuses the flag, and then the child stays in it.
        if (lifetime_ == ChildLifetime::outlivesApplication) {
            flags |= CREATE_BREAKAWAY_FROM_JOB;
        }
        PROCESS_INFORMATION started {};
        BOOL created = ::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
            nullptr, &startup.StartupInfo, &started);
        if (!created && ::GetLastError() == ERROR_ACCESS_DENIED && (flags & CREATE_BREAKAWAY_FROM_JOB) != 0) {
            created = ::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                flags & ~static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), nullptr, nullptr, &startup.StartupInfo,
                &started);
        }
        if (!created) {
            return failure(::GetLastError());
        }
        process = Handle(started.hProcess);
        const Handle thread(started.hThread);
        // Without its job (a system that refuses one here), terminate ends
        // only the child itself.
        if (job && !::AssignProcessToJobObject(job.get(), process.get())) {
            job.reset();
        }
        ::ResumeThread(thread.get());
        return std::nullopt;
    }

    void Win32Process::waitUntilExit()
    {
        HANDLE process = nullptr;
        {
            const std::scoped_lock lock(mutex_);
            if (phase_ != Phase::running) {
                return;
            }
            // Closed only when this object goes, which cannot happen while
            // one of its calls runs.
            process = process_.get();
        }
        ::WaitForSingleObject(process, INFINITE);
        const std::scoped_lock lock(mutex_);
        if (phase_ != Phase::running) {
            return;
        }
        DWORD code = 0;
        status_ = ::GetExitCodeProcess(process, &code) ? static_cast<std::int32_t>(code) : -1;
        phase_ = Phase::reaped;
    }

} // namespace

std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    // A path cannot hold a quote, and the runtime takes the program's name up
    // to the closing quote with no escapes at all.
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) {
        line += L' ';
        if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += argument;
            continue;
        }
        // Backslashes are literal unless they come before a quote; then each
        // pair gives one, and an odd one escapes the quote. So a run of them
        // is doubled before a quote and before the closing quote.
        line += L'"';
        std::size_t backslashes = 0;
        for (const wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            if (c == L'"') {
                line.append(backslashes * 2 + 1, L'\\');
            } else {
                line.append(backslashes, L'\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, L'\\');
        line += L'"';
    }
    return line;
}

std::shared_ptr<lintara::Process> Win32ProcessFactory::makeProcess() { return std::make_shared<Win32Process>(); }

std::shared_ptr<lintara::Pipe> Win32ProcessFactory::makePipe() { return std::make_shared<Win32Pipe>(); }

} // namespace lintara::win32
