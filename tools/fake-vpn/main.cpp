// SPDX-License-Identifier: MIT
// fake-vpn: a stand-in for the VPN client's command-line tool, for tests and
// for trying Lintara out without the vendor's client.
//
// Provides:
//  - `state` prints the banner, the current state three times, a notice and
//    the prompt, in the shape of the real tool's captured output;
//  - `disconnect` prints the real disconnect sequence and leaves the state
//    Disconnected; `connect` does the reverse, for flipping the state by hand;
//  - a state file that keeps the state between runs, replaced atomically;
//  - a call log, one line per call, appended with O_APPEND;
//  - faults chosen by the environment or by a file: hang, ignore SIGTERM,
//    a grandchild that holds the pipe, a flood of output, invalid UTF-8, CR
//    or CR LF line ends, an exit status, death by a signal, a slow start, no
//    state line, an empty output, `Unknown` printed last, and a tool that
//    writes terminal escapes to its standard input or reads from it.
// Leaves out: the real tool's interactive mode, its other commands and any
// actual network.
//
// Built for Windows too, as vpncli.exe: there the grandchild is a second copy
// of the tool started with the hidden command `linger`, and `ignore-term`
// does nothing, since nothing on Windows sends SIGTERM to a process.
//
// The environment variables and the fault syntax are described in README.md
// beside this file.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#include <windows.h>
// Not inherited by children, like O_CLOEXEC; and binary, so that the line ends
// of a state file or log are the bytes written.
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
#endif

namespace {

constexpr int usageStatus = 2;
constexpr int stateFileStatus = 3;
constexpr long defaultFloodMiB = 300;

// ------------------------------------------------------------ small helpers

// Writes all of the bytes, or gives up quietly once the reader has gone: a
// test that stopped listening is no reason for the tool to report anything.
void writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Formats a non-negative number into the buffer without allocating, so that
// the signal handler can use it too. Returns the number of characters.
std::size_t formatUnsigned(char* out, std::uint64_t value)
{
    char digits[24];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    return count;
}

// "<event> <seconds since the epoch>.<milliseconds> <pid>\n", built and
// written with async-signal-safe calls only, in one write() so that lines from
// concurrent runs never interleave in an O_APPEND log.
void appendLogLine(const char* logPath, const char* event)
{
    if (logPath == nullptr || *logPath == '\0') {
        return;
    }
    const int fd = ::open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char line[160];
    std::size_t length = 0;
    for (const char* c = event; *c != '\0' && length < 100; ++c) {
        line[length++] = *c;
    }
    line[length++] = ' ';
    length += formatUnsigned(line + length, static_cast<std::uint64_t>(now.tv_sec));
    line[length++] = '.';
    const auto millis = static_cast<std::uint64_t>(now.tv_nsec / 1'000'000);
    line[length++] = static_cast<char>('0' + millis / 100);
    line[length++] = static_cast<char>('0' + millis / 10 % 10);
    line[length++] = static_cast<char>('0' + millis % 10);
    line[length++] = ' ';
    length += formatUnsigned(line + length, static_cast<std::uint64_t>(::getpid()));
    line[length++] = '\n';
    // One write, so calls never interleave; a log that cannot be written
    // leaves nothing for the test to find, which fails it there.
    if (::write(fd, line, length) < 0) {
        ::close(fd);
        return;
    }
    ::close(fd);
}

const char* environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::optional<double> parseNumber(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (errno != 0 || end != copy.c_str() + copy.size()) {
        return std::nullopt;
    }
    return value;
}

// ----------------------------------------------------------------- the state

enum class VpnState { connected, disconnected };

std::string stateFilePath()
{
    if (const char* path = environment("LINTARA_FAKE_VPN_STATE_FILE")) {
        return path;
    }
#ifdef _WIN32
    if (const char* local = environment("LOCALAPPDATA")) {
        return std::string(local) + "\\lintara-fake-vpn.state";
    }
#endif
    if (const char* runtime = environment("XDG_RUNTIME_DIR")) {
        return std::string(runtime) + "/lintara-fake-vpn.state";
    }
    if (const char* home = environment("HOME")) {
        return std::string(home) + "/.lintara-fake-vpn.state";
    }
    return "lintara-fake-vpn.state";
}

// A missing file means Disconnected, so a fresh machine starts down. Anything
// but the two words is an error, reported without a state line, the way a
// broken client would fail.
std::optional<VpnState> readState(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? std::optional(VpnState::disconnected) : std::nullopt;
    }
    char buffer[64];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (count < 0) {
        return std::nullopt;
    }
    std::string_view text(buffer, static_cast<std::size_t>(count));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    if (text == "Connected") {
        return VpnState::connected;
    }
    if (text == "Disconnected") {
        return VpnState::disconnected;
    }
    return std::nullopt;
}

// Write to a temporary name beside the file, then rename over it: a reader
// sees the old state or the new one, never half a file.
bool writeState(const std::string& path, VpnState state)
{
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    // No fsync: readers need the rename to be atomic, not the file to
    // survive a power cut, and tests write the state thousands of times.
    writeAll(fd, state == VpnState::connected ? "Connected\n" : "Disconnected\n");
    ::close(fd);
#ifdef _WIN32
    // The C library's rename() refuses to replace a file on Windows; this one
    // replaces it in one step.
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
#else
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
#endif
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- the faults

struct Faults {
    bool hang = false;
    bool ignoreTerm = false;
    bool grandchild = false;
    long floodMiB = 0;
    bool invalidUtf8 = false;
    std::string_view lineEnd = "\n";
    std::optional<int> exitStatus;
    std::optional<int> signal;
    double sleepSeconds = 0;
    bool noState = false;
    bool silent = false;
    bool unknownLast = false;
    bool writeStdin = false;
    bool readStdin = false;

    // Whether a disconnect run failed, so that the state stays as it was.
    [[nodiscard]] bool disconnectFails() const
    {
        return hang || noState || silent || signal || (exitStatus && *exitStatus != 0);
    }
};

// Applies one item of the form `[word:]name[=value]`. Returns false for an
// item it does not know, so that a typo in a test fails loudly.
bool applyFault(Faults& faults, std::string_view item, std::string_view word)
{
    if (const std::size_t colon = item.find(':'); colon != std::string_view::npos) {
        if (item.substr(0, colon) != word) {
            return true;
        }
        item.remove_prefix(colon + 1);
    }
    std::string_view name = item;
    std::optional<double> value;
    if (const std::size_t equals = item.find('='); equals != std::string_view::npos) {
        name = item.substr(0, equals);
        value = parseNumber(item.substr(equals + 1));
        if (!value) {
            return false;
        }
    }
    if (name == "hang") {
        faults.hang = true;
    } else if (name == "ignore-term") {
        faults.ignoreTerm = true;
    } else if (name == "grandchild") {
        faults.grandchild = true;
    } else if (name == "flood") {
        faults.floodMiB = value ? static_cast<long>(*value) : defaultFloodMiB;
    } else if (name == "invalid-utf8") {
        faults.invalidUtf8 = true;
    } else if (name == "cr") {
        faults.lineEnd = "\r";
    } else if (name == "crlf") {
        faults.lineEnd = "\r\n";
    } else if (name == "exit" && value) {
        faults.exitStatus = static_cast<int>(*value);
    } else if (name == "signal" && value) {
        faults.signal = static_cast<int>(*value);
    } else if (name == "sleep" && value) {
        faults.sleepSeconds = *value;
    } else if (name == "no-state") {
        faults.noState = true;
    } else if (name == "silent") {
        faults.silent = true;
    } else if (name == "unknown-last") {
        faults.unknownLast = true;
    } else if (name == "write-stdin") {
        faults.writeStdin = true;
    } else if (name == "read-stdin") {
        faults.readStdin = true;
    } else {
        return false;
    }
    return true;
}

bool applyFaultList(Faults& faults, std::string_view list, std::string_view word, std::string& unknown)
{
    constexpr std::string_view separators = ", \t\r\n";
    while (!list.empty()) {
        const std::size_t start = list.find_first_not_of(separators);
        if (start == std::string_view::npos) {
            break;
        }
        list.remove_prefix(start);
        const std::size_t end = std::min(list.find_first_of(separators), list.size());
        const std::string_view item = list.substr(0, end);
        if (!applyFault(faults, item, word)) {
            unknown = item;
            return false;
        }
        list.remove_prefix(end);
    }
    return true;
}

std::string readSmallFile(const char* path)
{
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return text;
}

// ------------------------------------------------------------------- output

const char* logPath = nullptr;

extern "C" void noteTermAndCarryOn(int /*signal*/) { appendLogLine(logPath, "SIGTERM"); }

// Collects one run's output with the line end the faults ask for.
class Output {
public:
    explicit Output(const Faults& faults)
        : faults_(faults)
    {
    }

    void line(std::string_view text)
    {
        text_ += text;
        text_ += faults_.lineEnd;
    }
    void banner()
    {
        line("Cisco AnyConnect Secure Mobility Client (version 4.10.04071) .");
        line("");
        line("Copyright (c) 2004 - 2021 Cisco Systems, Inc.  All Rights Reserved.");
        line("");
        line("");
    }
    void stateLines(VpnState state, int times)
    {
        for (int i = 0; i < times; ++i) {
            line(state == VpnState::connected ? "  >> state: Connected" : "  >> state: Disconnected");
        }
    }
    void prompt() { text_ += "VPN>" + std::string(faults_.lineEnd); }
    void flush()
    {
        writeAll(STDOUT_FILENO, text_);
        text_.clear();
    }

private:
    const Faults& faults_;
    std::string text_;
};

// Writes `mebibytes` MiB of notice lines as fast as the pipe takes them.
void flood(long mebibytes)
{
    constexpr std::size_t blockSize = 1 << 20;
    constexpr std::string_view floodLine = "  >> notice: Connection statistics follow, please wait...\n";
    std::string block;
    block.reserve(blockSize);
    while (block.size() + floodLine.size() <= blockSize) {
        block += floodLine;
    }
    block.append(blockSize - block.size(), '\n');
    for (long i = 0; i < mebibytes; ++i) {
        writeAll(STDOUT_FILENO, block);
    }
}

void sleepFor(double seconds)
{
    timespec remaining {};
    remaining.tv_sec = static_cast<time_t>(seconds);
    remaining.tv_nsec = static_cast<long>((seconds - static_cast<double>(remaining.tv_sec)) * 1e9);
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) { }
}

// Leaves a process in our group that keeps our standard output and error open
// long after we have exited, as a daemon started carelessly by a tool would.
#ifdef _WIN32
// A second copy of the tool, running `linger`, that inherits our standard
// handles and stays in our job.
void leaveGrandchild()
{
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return;
    }
    std::wstring commandLine = L"\"" + std::wstring(self, length) + L"\" linger";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process {};
    if (::CreateProcessW(
            self, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}
#else
void leaveGrandchild()
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        sleepFor(3600);
        ::_exit(0);
    }
}
#endif

[[noreturn]] void finish(const Faults& faults, Output& output)
{
    output.flush();
    if (faults.floodMiB > 0) {
        flood(faults.floodMiB);
    }
    if (faults.unknownLast) {
        output.line("  >> state: Unknown");
    }
    if (!faults.noState && !faults.silent) {
        output.prompt();
    }
    output.flush();
    if (faults.grandchild) {
        leaveGrandchild();
    }
    if (faults.hang) {
        for (;;) {
#ifdef _WIN32
            ::Sleep(INFINITE);
#else
            ::pause();
#endif
        }
    }
    if (faults.signal) {
        std::signal(*faults.signal, SIG_DFL);
        ::raise(*faults.signal);
    }
    std::exit(faults.exitStatus.value_or(0));
}

int usage()
{
    writeAll(STDERR_FILENO,
        "usage: fake-vpn state | connect | disconnect\n"
        "See tools/fake-vpn/README.md for the environment it reads.\n");
    return usageStatus;
}

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Text mode would turn each LF into CR LF, and the line-end faults must
    // come out as written.
    ::_setmode(STDOUT_FILENO, _O_BINARY);
    ::_setmode(STDERR_FILENO, _O_BINARY);
    if (argc == 2 && std::string_view(argv[1]) == "linger") {
        // Logged once it holds the handles, so a test knows it is there.
        appendLogLine(environment("LINTARA_FAKE_VPN_LOG"), "linger");
        sleepFor(3600);
        return 0;
    }
#endif
    if (argc < 2) {
        return usage();
    }
    const std::string_view word = argv[1];
    if (word != "state" && word != "connect" && word != "disconnect") {
        return usage();
    }
    logPath = environment("LINTARA_FAKE_VPN_LOG");
    appendLogLine(logPath, argv[1]);

    Faults faults;
    std::string unknown;
    const char* faultList = environment("LINTARA_FAKE_VPN_FAULTS");
    const char* faultFile = environment("LINTARA_FAKE_VPN_FAULTS_FILE");
    if ((faultList != nullptr && !applyFaultList(faults, faultList, word, unknown))
        || (faultFile != nullptr && !applyFaultList(faults, readSmallFile(faultFile), word, unknown))) {
        writeAll(STDERR_FILENO, "fake-vpn: unknown fault: " + unknown + "\n");
        return usageStatus;
    }

#ifndef _WIN32
    if (faults.ignoreTerm) {
        struct sigaction action { };
        action.sa_handler = noteTermAndCarryOn;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
    }
#endif
    if (faults.sleepSeconds > 0) {
        sleepFor(faults.sleepSeconds);
    }
    // A tool that treats its standard input as the user's terminal: it sets
    // the window title and leaves the alternate screen, then waits for a key.
    // Given a terminal, the first would wreck the caller's screen and the
    // second stop the tool (SIGTTIN) when it is not in the foreground.
    if (faults.writeStdin) {
        writeAll(STDIN_FILENO, "\x1b]2;fake-vpn wrote this title\x07\x1b[?1049l");
    }
    if (faults.readStdin) {
        char key = 0;
        while (::read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) { }
    }

    Output output(faults);
    if (faults.silent) {
        finish(faults, output);
    }
    output.banner();
    const std::string path = stateFilePath();
    const std::optional<VpnState> current = readState(path);
    if (!current) {
        output.line("  >> error: Cannot read the state file " + path + ".");
        output.flush();
        return stateFileStatus;
    }
    if (faults.noState) {
        output.line("  >> The VPN Service is not available.  Exiting.");
        finish(faults, output);
    }
    if (faults.invalidUtf8) {
        output.line("  >> notice: \xC3\x28 \xFF\xFE");
    }

    if (word == "state") {
        output.stateLines(*current, 3);
        if (*current == VpnState::disconnected) {
            output.line("  >> notice: Ready to connect.");
        }
        output.line("  >> registered with local VPN subsystem.");
    } else if (word == "disconnect") {
        output.stateLines(*current, 2);
        output.line("  >> registered with local VPN subsystem.");
        if (*current == VpnState::connected) {
            output.line("  >> state: Disconnecting");
            output.line("  >> notice: Disconnect in progress, please wait...");
        }
        // A failed disconnect leaves the tunnel as it was.
        if (!faults.disconnectFails()) {
            if (!writeState(path, VpnState::disconnected)) {
                output.line("  >> error: Cannot write the state file " + path + ".");
                output.flush();
                return stateFileStatus;
            }
            output.line("  >> state: Disconnected");
            output.line("  >> notice: Ready to connect.");
        }
    } else {
        output.stateLines(*current, 1);
        output.line("  >> contacting host (fake.example) for login information...");
        output.line("  >> state: Connecting");
        if (!writeState(path, VpnState::connected)) {
            output.line("  >> error: Cannot write the state file " + path + ".");
            output.flush();
            return stateFileStatus;
        }
        output.line("  >> state: Connected");
        output.line("  >> notice: Connected to fake.example.");
    }
    finish(faults, output);
}
