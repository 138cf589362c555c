// SPDX-License-Identifier: MIT
// What lintara-term-testing, the test build of lintara-term, changes in the
// program (see glib/ProgramHooks.hpp); linked into it alone. When
// LINTARA_TERM_TRACE names a file, it appends a line there for events that
// leave no mark of their own on the screen: "login1 owner <name>" once the
// wake registration is in place (and whenever login1's owner changes), and
// "wake" for each wake it delivers. Its clock may run faster than the wall
// clock (LINTARA_TESTING_CLOCK_SCALE), so that a test sees minutes pass in
// seconds.
#include "Lintara/platform/glib/ProgramHooks.hpp"
#include "Lintara/platform/glib/ScaledClock.hpp"

#include <cstdlib>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace lintara::terminal::testing {

namespace {

    void appendTraceLine(const std::string& path, const std::string& line)
    {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) {
            return;
        }
        const std::string text = line + "\n";
        (void)!write(fd, text.data(), text.size());
        close(fd);
    }

    class TracingCenter final : public NotificationCenter {
    public:
        TracingCenter(NotificationCenter& inner, std::string path)
            : inner_(inner)
            , path_(std::move(path))
        {
        }
        void addObserver(Notification name, std::function<void()> callback) override
        {
            inner_.addObserver(name, [path = path_, callback = std::move(callback)] {
                appendTraceLine(path, "wake");
                callback();
            });
        }

    private:
        NotificationCenter& inner_;
        std::string path_;
    };

    class Hooks final : public glib::ProgramHooks {
    public:
        Clock& clock(Clock& wallClock) override { return scaled_.emplace(wallClock, glib::testingClockScale()); }
        NotificationCenter& wake(glib::Login1Wake& wake) override
        {
            const char* path = std::getenv("LINTARA_TERM_TRACE");
            if (path == nullptr || *path == '\0') {
                return wake;
            }
            wake.setOnReady([path = std::string(path)](const std::string& owner) {
                appendTraceLine(path, "login1 owner " + (owner.empty() ? std::string("none") : owner));
            });
            return tracing_.emplace(wake, path);
        }

    private:
        std::optional<glib::ScaledClock> scaled_;
        std::optional<TracingCenter> tracing_;
    };

} // namespace

} // namespace lintara::terminal::testing

lintara::glib::ProgramHooks& lintara::glib::testingHooks()
{
    static terminal::testing::Hooks hooks;
    return hooks;
}
