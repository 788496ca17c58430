// Shared by the effect benchmarks: the demo times at which an effect runs,
// and a timer that reports, besides Google Benchmark's mean, the 99th
// percentile and the maximum of the per-frame time (p99_ms, max_ms). The
// times are CPU time of the running thread, so other programs on a shared
// machine do not inflate them.
#pragma once

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <vector>

#include <benchmark/benchmark.h>

#include "demo/pipeline.h"
#include "demo/schedule.h"

// Demo times in the given scenes (1-based), in frame order.
inline std::vector<int32_t> timesInScenes(std::initializer_list<int> scenes) {
    std::vector<int32_t> times;
    for (int32_t t = FramePeriod; t <= LastSceneEnd; t += FramePeriod)
        for (int scene : scenes)
            if (sceneIndexAt(t) == scene - 1) times.push_back(t);
    return times;
}

// Demo times of the scenes that run `effect`, in frame order, so pictures
// carried from frame to frame look as in the demo.
inline std::vector<int32_t> timesOfEffect(SceneEffect effect) {
    std::vector<int32_t> times;
    for (int32_t t = FramePeriod; t <= LastSceneEnd; t += FramePeriod) {
        const int scene = sceneIndexAt(t);
        if (scene >= 0 && Timeline[scene].effect == effect) times.push_back(t);
    }
    return times;
}

// Times each iteration on its own.
class FrameTimer {
public:
    explicit FrameTimer(benchmark::State& state) : state_(state) { samples_.reserve(1 << 16); }

    template <typename Draw>
    void run(Draw&& draw) {
        run(
            draw, [] {}, false);
    }

    // `prepare` runs before each frame, outside both the benchmark's and
    // the percentile's timing.
    template <typename Draw, typename Prepare>
    void run(Draw&& draw, Prepare&& prepare, bool pause = true) {
        size_t i = 0;
        for (auto _ : state_) {
            if (pause) {
                state_.PauseTiming();
                prepare();
                state_.ResumeTiming();
            }
            const double start = threadMilliseconds();
            draw(i++);
            const double end = threadMilliseconds();
            if (samples_.size() < samples_.capacity()) samples_.push_back(end - start);
        }
        if (samples_.empty()) return;
        std::sort(samples_.begin(), samples_.end());
        state_.counters["p99_ms"] = samples_[std::min(samples_.size() - 1, samples_.size() * 99 / 100)];
        state_.counters["max_ms"] = samples_.back();
    }

private:
    static double threadMilliseconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
    }

    benchmark::State& state_;
    std::vector<double> samples_;
};
