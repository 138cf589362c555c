#include "TestingTrace.hpp"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace lintara::terminal {

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

TestingTrace::TestingTrace(glib::Login1Wake& wake)
    : wake_(wake)
{
#ifdef LINTARA_TERM_TESTING
    if (const char* path = std::getenv("LINTARA_TERM_TRACE"); path != nullptr && *path != '\0') {
        path_ = path;
        tracing_ = std::make_unique<TracingCenter>(wake_, path_);
        wake_.setOnReady([path = path_](const std::string& owner) {
            appendTraceLine(path, "login1 owner " + (owner.empty() ? std::string("none") : owner));
        });
    }
#endif
}

NotificationCenter& TestingTrace::notificationCenter()
{
    if (tracing_) {
        return *tracing_;
    }
    return wake_;
}

TestingTrace::TracingCenter::TracingCenter(NotificationCenter& inner, std::string path)
    : inner_(inner)
    , path_(std::move(path))
{
}

void TestingTrace::TracingCenter::addObserver(Notification name, std::function<void()> callback)
{
    inner_.addObserver(name, [path = path_, callback = std::move(callback)] {
        appendTraceLine(path, "wake");
        callback();
    });
}

} // namespace lintara::terminal
