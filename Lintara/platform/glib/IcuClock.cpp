// SPDX-License-Identifier: MIT
#include "IcuClock.hpp"

#include <glib.h>
#include <glib/gstdio.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace lintara::glib {

namespace {
    // What the zone was taken from: TZ as it was, and the host's zone link as
    // lstat sees it. timedatectl renames a new link over the old one, so the
    // inode changes even when the times stay within one clock tick.
    struct ZoneSource {
        std::optional<std::string> tz;
        bool linkExists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long changedSeconds = 0;
        long changedNanoseconds = 0;

        bool operator==(const ZoneSource&) const = default;
    };

    ZoneSource currentZoneSource(const std::string& localtimePath)
    {
        ZoneSource source;
        if (const char* tz = std::getenv("TZ")) {
            source.tz = tz;
        }
        GStatBuf status {};
        if (g_lstat(localtimePath.c_str(), &status) == 0) {
            source.linkExists = true;
            source.device = status.st_dev;
            source.inode = status.st_ino;
            source.size = status.st_size;
            source.changedSeconds = status.st_ctim.tv_sec;
            source.changedNanoseconds = status.st_ctim.tv_nsec;
        }
        return source;
    }

#ifdef __linux__
    // Whether the zone link may have changed since the last look, known
    // without a path lookup every second: a read of an inotify watch on the
    // link's directory, which has nothing to read while nothing happened
    // there. Where the directory cannot be watched, or the watch is lost, the
    // answer is always maybe, and the caller looks at the link itself.
    class ZoneLinkWatch {
    public:
        explicit ZoneLinkWatch(const std::string& linkPath)
            : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        {
            gchar* directory = g_path_get_dirname(linkPath.c_str());
            constexpr std::uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB
                | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
            if (fd_ >= 0 && inotify_add_watch(fd_, directory, events) < 0) {
                stop();
            }
            g_free(directory);
        }
        ~ZoneLinkWatch() { stop(); }
        ZoneLinkWatch(const ZoneLinkWatch&) = delete;
        ZoneLinkWatch& operator=(const ZoneLinkWatch&) = delete;

        bool mayHaveChanged()
        {
            if (fd_ < 0) {
                return true;
            }
            bool happened = false;
            alignas(inotify_event) char buffer[4096];
            for (;;) {
                const ssize_t count = read(fd_, buffer, sizeof buffer);
                if (count < 0 && errno == EINTR) {
                    continue;
                }
                if (count < 0 && errno == EAGAIN) {
                    return happened;
                }
                if (count <= 0) {
                    stop();
                    return true;
                }
                happened = true;
                for (ssize_t at = 0; at < count;) {
                    inotify_event event {};
                    std::memcpy(&event, buffer + at, sizeof event);
                    // The directory went, or events were dropped: nothing
                    // more can be trusted to arrive.
                    if ((event.mask & (IN_IGNORED | IN_Q_OVERFLOW)) != 0) {
                        stop();
                        return true;
                    }
                    at += static_cast<ssize_t>(sizeof event + event.len);
                }
            }
        }

    private:
        void stop()
        {
            if (fd_ >= 0) {
                close(fd_);
                fd_ = -1;
            }
        }
        int fd_;
    };
#else
    class ZoneLinkWatch {
    public:
        explicit ZoneLinkWatch(const std::string&) { }
        static bool mayHaveChanged() { return true; }
    };
#endif

    // The zone as ICU finds it, except that the host's link is read from
    // localtimePath, where ICU reads only /etc/localtime: the zone is the
    // link's name below "zoneinfo/", which is how ICU reads it too.
    icu::TimeZone* hostZone(const std::string& localtimePath, bool tzSet)
    {
        if (!tzSet) {
            if (gchar* target = g_file_read_link(localtimePath.c_str(), nullptr)) {
                const std::string_view link(target);
                constexpr std::string_view marker = "/zoneinfo/";
                icu::TimeZone* zone = nullptr;
                if (const std::size_t at = link.find(marker); at != std::string_view::npos) {
                    zone = icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(link.substr(at + marker.size())));
                }
                g_free(target);
                if (zone != nullptr && *zone != icu::TimeZone::getUnknown()) {
                    return zone;
                }
                delete zone;
            }
        }
        return icu::TimeZone::detectHostTimeZone();
    }
} // namespace

struct IcuClock::Formatter {
    std::unique_ptr<icu::DateFormat> format;
    std::string localtimePath;
    // Made before the link is first looked at, so that no change after that
    // goes unseen.
    std::optional<ZoneLinkWatch> linkWatch;
    std::optional<ZoneSource> zoneSource;
    // The last instant formatted and its text. A countdown asks for its
    // deadline on every render, and the text can change only with the zone.
    std::optional<UDate> lastMillis;
    std::string lastText;

    // Cheap enough for every render: one getenv, and one lstat only when the
    // link's directory has seen a change. The zone is looked for again only
    // when TZ or the link has changed.
    void followZone()
    {
        const char* tz = std::getenv("TZ");
        const bool sameTz = zoneSource && (tz == nullptr ? !zoneSource->tz : zoneSource->tz == tz);
        if (sameTz && !linkWatch->mayHaveChanged()) {
            return;
        }
        ZoneSource source = currentZoneSource(localtimePath);
        if (source == zoneSource) {
            return;
        }
        const bool tzSet = source.tz.has_value();
        zoneSource = std::move(source);
        format->adoptTimeZone(hostZone(localtimePath, tzSet));
        lastMillis.reset();
    }
};

std::string timeLocaleName(const std::function<const char*(const char*)>& lookup)
{
    std::string name;
    for (const char* variable : { "LC_ALL", "LC_TIME", "LANG" }) {
        const char* value = lookup(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return "en_US_POSIX";
    }
    return name;
}

IcuClock::IcuClock()
    : IcuClock(timeLocaleName([](const char* variable) { return std::getenv(variable); }))
{
}

IcuClock::IcuClock(const std::string& localeName, std::string localtimePath)
{
    // ICU makes a bogus locale of a name it cannot parse (one too long, say),
    // and a formatter built from one crashes.
    icu::Locale locale(localeName.c_str());
    if (locale.isBogus()) {
        locale = icu::Locale::getRoot();
    }
    format_ = std::make_unique<Formatter>();
    format_->localtimePath = std::move(localtimePath);
    format_->linkWatch.emplace(format_->localtimePath);
    format_->format.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
}

IcuClock::~IcuClock() = default;

Date IcuClock::now() { return Date { static_cast<double>(g_get_real_time()) / 1e6 - unixTimeOfReferenceDate }; }

std::string IcuClock::shortTimeString(Date date)
{
    const UDate millis = (date.timeIntervalSinceReferenceDate + unixTimeOfReferenceDate) * 1000.0;
    if (!format_->format) {
        // ICU could not build a formatter (no data for any locale): a plain
        // 24-hour time in UTC still tells the user when.
        const auto seconds = static_cast<long long>(millis / 1000.0);
        char buffer[16];
        std::snprintf(
            buffer, sizeof buffer, "%02lld:%02lld", (seconds / 3600 % 24 + 24) % 24, (seconds / 60 % 60 + 60) % 60);
        return buffer;
    }
    format_->followZone();
    if (format_->lastMillis != millis) {
        icu::UnicodeString text;
        format_->format->format(millis, text);
        format_->lastText.clear();
        text.toUTF8String(format_->lastText);
        format_->lastMillis = millis;
    }
    return format_->lastText;
}

} // namespace lintara::glib
