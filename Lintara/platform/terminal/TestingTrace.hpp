// What the test build of lintara-term tells its end-to-end tests about events
// that leave no mark of their own on the screen: when the wake registration
// is in place, and each wake it delivers. Only in lintara-term-testing, and
// only when LINTARA_TERM_TRACE names a file; in lintara-term this passes the
// wake registration through untouched.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "Lintara/platform/glib/Login1Wake.hpp"

#include <string>

namespace lintara::terminal {

class TestingTrace {
public:
    explicit TestingTrace(glib::Login1Wake& wake);
    TestingTrace(const TestingTrace&) = delete;
    TestingTrace& operator=(const TestingTrace&) = delete;

    // The wake registration the controller should use.
    [[nodiscard]] NotificationCenter& notificationCenter();

private:
    class TracingCenter final : public NotificationCenter {
    public:
        TracingCenter(NotificationCenter& inner, std::string path);
        void addObserver(Notification name, std::function<void()> callback) override;

    private:
        NotificationCenter& inner_;
        std::string path_;
    };

    glib::Login1Wake& wake_;
    std::string path_;
    std::unique_ptr<TracingCenter> tracing_;
};

// Appends one line to the trace file.
void appendTraceLine(const std::string& path, const std::string& line);

} // namespace lintara::terminal
