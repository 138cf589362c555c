// SPDX-License-Identifier: MIT
// Runs the real tick timer on the default main loop for a number of seconds
// (60 unless given) and prints, for the whole run, how late each firing came
// after its grid point: the drift-free schedule means these do not add up.
#include "Lintara/platform/glib/GlibRunLoop.hpp"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    lintara::glib::ModalLoop modalLoop;
    lintara::glib::GlibRunLoop runLoop(modalLoop);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    std::vector<double> lateMillis;
    const std::int64_t start = g_get_monotonic_time();
    lintara::Timer timer = runLoop.scheduledTimer(
        1.0,
        [&] {
            const std::int64_t now = g_get_monotonic_time();
            const std::int64_t n = static_cast<std::int64_t>(lateMillis.size()) + 1;
            lateMillis.push_back(static_cast<double>(now - start - n * 1'000'000) / 1000.0);
            if (static_cast<int>(lateMillis.size()) >= seconds) {
                g_main_loop_quit(loop);
            }
        },
        lintara::Repeats::yes);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    std::vector<double> sorted = lateMillis;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (const double late : sorted) {
        sum += late;
    }
    std::printf("firings %zu, lateness ms: min %.3f, median %.3f, mean %.3f, max %.3f; last firing %.3f ms late\n",
        sorted.size(), sorted.front(), sorted[sorted.size() / 2], sum / static_cast<double>(sorted.size()),
        sorted.back(), lateMillis.back());
    return 0;
}
