// SPDX-License-Identifier: MIT
// The URLs Lintara.app takes from other programs.
#include "Lintara/platform/appkit/RemoteUrl.hpp"

#include <gtest/gtest.h>

namespace lintara::appkit {
namespace {

    std::optional<std::int64_t> startMinutes(std::string_view url)
    {
        const std::optional<RemoteCommand> command = remoteCommandFromUrl(url);
        if (!command || command->verb != RemoteVerb::start) {
            return std::nullopt;
        }
        return command->minutes;
    }

    TEST(RemoteUrl, ReadsStartAndCancelAndNothingElse)
    {
        EXPECT_EQ(startMinutes("lintara://start?minutes=30"), 30);
        EXPECT_EQ(startMinutes("LINTARA://Start/?minutes=5"), 5);
        EXPECT_EQ(startMinutes("lintara://start?from=menu&minutes=10080&x=1"), 10080);
        // Left to the controller's range check, which refuses 0.
        for (const char* url : { "lintara://start", "lintara://start?minutes=abc", "lintara://start?minutes=",
                 "lintara://start?minutes=99999999999999999999", "lintara://start?xminutes=5" }) {
            EXPECT_EQ(startMinutes(url), 0) << url;
        }
        const std::optional<RemoteCommand> cancel = remoteCommandFromUrl("lintara://cancel");
        ASSERT_TRUE(cancel);
        EXPECT_EQ(cancel->verb, RemoteVerb::cancel);
        for (const char* url : { "lintara://quit", "lintara://", "http://start?minutes=5", "lintara:start", "",
                 "lintara://startx?minutes=5", "lintara://cancel/now" }) {
            EXPECT_FALSE(remoteCommandFromUrl(url)) << url;
        }
    }

} // namespace
} // namespace lintara::appkit
