// --stats: how long each stage of the pipeline takes, per scene.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

#include "demo/schedule.h"
#include "tools/render/frame_outputs.h"
#include "tools/render/output_file.h"

namespace {

std::string cpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) return line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

// Scenes 1..11, and a twelfth group for the frames after the last scene.
constexpr int GroupCount = SceneCount + 1;

class Stats final : public StatsOutput {
public:
    explicit Stats(FILE* out) : out_(out) {}

    void frameStarting() override { last_ = Clock::now(); }

    void stageDone(Stage stage) override {
        const auto now = Clock::now();
        current_[static_cast<int>(stage)] = std::chrono::duration<double, std::micro>(now - last_).count();
        last_ = now;
    }

    Result frame(int, int32_t t) override {
        const int scene = sceneIndexAt(t);
        const int group = scene >= 0 ? scene : SceneCount;
        for (int s = 0; s < StageCount; ++s) samples_[group][s].push_back(current_[s]);
        return Result::ok();
    }

    Result finish() override {
        std::fprintf(out_, "cpu: %s\n", cpuModel().c_str());
        std::fprintf(out_, "%-6s %-10s %7s %10s %10s %10s\n", "scene", "stage", "frames", "median_us", "p99_us",
                     "max_us");
        for (int g = 0; g < GroupCount; ++g) {
            for (int s = 0; s < StageCount; ++s) {
                std::vector<double>& v = samples_[g][s];
                if (v.empty()) continue;
                std::sort(v.begin(), v.end());
                const double median = v[(v.size() - 1) / 2];
                const double p99 = v[std::min(v.size() - 1, static_cast<size_t>(0.99 * static_cast<double>(v.size())))];
                char scene[8];
                if (g < SceneCount)
                    std::snprintf(scene, sizeof scene, "%d", g + 1);
                else
                    std::snprintf(scene, sizeof scene, "end");
                std::fprintf(out_, "%-6s %-10s %7zu %10.1f %10.1f %10.1f\n", scene, StageNames[s], v.size(), median,
                             p99, v.back());
            }
        }
        return flushStream(out_, "standard output");
    }

private:
    using Clock = std::chrono::steady_clock;
    FILE* out_;
    Clock::time_point last_{};
    double current_[StageCount] = {};
    std::vector<double> samples_[GroupCount][StageCount];
};

}  // namespace

std::unique_ptr<StatsOutput> makeStatsOutput(FILE* out) {
    return std::make_unique<Stats>(out);
}
