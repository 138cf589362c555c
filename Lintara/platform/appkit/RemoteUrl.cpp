// SPDX-License-Identifier: MIT
#include "RemoteUrl.hpp"

#include "Lintara/text.hpp"

#include <algorithm>
#include <cctype>

namespace lintara::appkit {

namespace {
    bool sameIgnoringCase(std::string_view a, std::string_view b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
        });
    }

    // The value of minutes= among the query's name=value pairs.
    std::optional<std::int64_t> minutesIn(std::string_view query)
    {
        while (!query.empty()) {
            const std::size_t end = std::min(query.find('&'), query.size());
            const std::string_view pair = query.substr(0, end);
            if (pair.substr(0, 8) == "minutes=") {
                return parseInt64(pair.substr(8));
            }
            query.remove_prefix(std::min(end + 1, query.size()));
        }
        return std::nullopt;
    }
} // namespace

std::optional<RemoteCommand> remoteCommandFromUrl(std::string_view url)
{
    constexpr std::string_view scheme = "lintara://";
    if (!sameIgnoringCase(url.substr(0, scheme.size()), scheme)) {
        return std::nullopt;
    }
    url.remove_prefix(scheme.size());
    const std::size_t queryAt = std::min(url.find('?'), url.size());
    std::string_view command = url.substr(0, queryAt);
    const std::string_view query = url.substr(std::min(queryAt + 1, url.size()));
    if (!command.empty() && command.back() == '/') {
        command.remove_suffix(1);
    }
    if (sameIgnoringCase(command, "cancel")) {
        return RemoteCommand { RemoteVerb::cancel };
    }
    if (sameIgnoringCase(command, "start")) {
        return RemoteCommand { RemoteVerb::start, minutesIn(query).value_or(0) };
    }
    return std::nullopt;
}

} // namespace lintara::appkit
