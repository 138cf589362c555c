// SPDX-License-Identifier: MIT
// Figures for the controller's steady work, printed by Google Benchmark. They
// are for reading, not pass or fail: see bench/heap_growth.cpp and
// bench/poll_loop.cpp for the checks.
#include "Lintara/platform/fake/FakePlatform.hpp"
#include "Lintara/text.hpp"
#include "Lintara/toolOutput.hpp"
#include "Scenario.hpp"

#include <benchmark/benchmark.h>

namespace lintara::bench {
namespace {

    void tickWithRender(benchmark::State& state, Countdown countdown)
    {
        Scenario scenario(countdown);
        for (auto _ : state) {
            scenario.tick();
        }
        benchmark::DoNotOptimize(scenario.platform.title());
        if (scenario.controller->snapshot().deadline.has_value() != (countdown == Countdown::running)) {
            state.SkipWithError("the countdown changed during the run");
        }
    }
    BENCHMARK_CAPTURE(tickWithRender, no_countdown, Countdown::none);
    BENCHMARK_CAPTURE(tickWithRender, countdown_running, Countdown::running);

    // The same through the fake platform the unit tests use, timer and queues
    // included. It records every title and menu, so its runs are kept short.
    void tickThroughFakePlatform(benchmark::State& state, Countdown countdown)
    {
        fake::FakePlatform fake;
        fake.settings()["durationMinutes"] = std::int64_t { 7 * 24 * 60 };
        fake.scriptDefault("state", fake::ScriptedRun::printing(stateOutput(countdown == Countdown::running)));
        fake.start();
        fake.settle();
        for (auto _ : state) {
            fake.advance(1.0);
            fake.settle();
        }
        benchmark::DoNotOptimize(fake.title());
    }
    BENCHMARK_CAPTURE(tickThroughFakePlatform, no_countdown, Countdown::none)->Iterations(20000);
    BENCHMARK_CAPTURE(tickThroughFakePlatform, countdown_running, Countdown::running)->Iterations(20000);

    // The menu and title alone: reopening the application renders and does
    // nothing else.
    void render(benchmark::State& state, Countdown countdown)
    {
        Scenario scenario(countdown);
        for (auto _ : state) {
            benchmark::DoNotOptimize(scenario.controller->applicationShouldHandleReopen());
        }
    }
    BENCHMARK_CAPTURE(render, no_countdown, Countdown::none);
    BENCHMARK_CAPTURE(render, countdown_running, Countdown::running);

    void parseState(benchmark::State& state)
    {
        const std::string output = mebibyteOfOutput();
        for (auto _ : state) {
            benchmark::DoNotOptimize(parseStateOutput(output));
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * output.size()));
    }
    BENCHMARK(parseState)->Name("parseStateOutput/1MiB")->Unit(benchmark::kMillisecond);

    // What a state query does with the output on its worker: decode, then parse.
    void decodeAndParse(benchmark::State& state)
    {
        const std::string output = mebibyteOfOutput();
        for (auto _ : state) {
            benchmark::DoNotOptimize(parseStateOutput(decodeUtf8(output)));
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * output.size()));
    }
    BENCHMARK(decodeAndParse)->Name("decodeUtf8+parseStateOutput/1MiB")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lintara::bench

BENCHMARK_MAIN();
