// hazelglow-render: the demo's frames without a terminal, a clock or a sound
// device. Frames 1..N are rendered with t = 40 n and frameTarget =
// startTick + t, carrying all effect state from frame to frame exactly as the
// live demo does; what becomes of each frame is chosen by the options.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "demo/pipeline.h"
#include "display/ascii_art.h"
#include "effects/buffers.h"
#include "tools/render/frame_audio.h"
#include "tools/render/frame_outputs.h"
#include "tools/render/frame_terminal.h"
#include "tools/render/frame_video.h"

namespace {

constexpr const char* Usage =
    "usage: hazelglow-render [options]\n"
    "Renders the demo's frames 1..N (t = 40 n) headless, with the same pipeline as the demo.\n"
    "  --data DIR        directory holding wipe.png and texts.png (default: the working directory)\n"
    "  --start-tick MS   tick count the demo started at (default 0); picks the greetings page\n"
    "  --frames N        frames to render (default 4450, up to t = 178 000)\n"
    "  --from N          first frame to output; earlier frames are still rendered (default 1)\n"
    "  --hashes          print '<n> <t> <framebuffer fnv1a64> <cells fnv1a64>' per frame\n"
    "  --dump DIR        write fb_<n>.raw and cells_<n>.raw per frame\n"
    "  --png DIR         write frame_<n>.png, the cells as a console shows them\n"
    "  --stats           print time per stage and scene (median, 99th percentile, maximum), then\n"
    "                    the terminal bytes per frame (changed cells or all, 16 or 24-bit colours)\n"
    "  --ansi FILE       write the bytes the demo sends an 80x50 terminal, frame after frame\n"
    "                    (24-bit colours when $COLORTERM is truecolor or 24bit, as in the demo)\n"
    "  --cast FILE       the same as an asciicast v2 recording, for 'asciinema play FILE'\n"
    "  --wav FILE        write the soundtrack's mix (DIR/hazelglow.ogg) as the sound device receives\n"
    "                    it: 16-bit stereo 44 100 Hz WAVE; no frames are rendered unless asked for\n"
    "  --video FILE      encode the frames as --png draws them, 25 per second, with the --wav mix:\n"
    "                    FILE.mp4 (H.264 + AAC), FILE.webm (VP9 + Opus) or FILE.mkv (FFV1 + FLAC,\n"
    "                    lossless); frame n is on screen from 40 n ms%s\n"
    "  --video-scale K   enlarge the video K times (1 to 4, default 1), pixels kept square and sharp\n"
    "  --version         print the version\n"
    "  --help            show this text\n";

// Usage has one %s: a note when --video cannot work in this build.
void printUsage(FILE* out) {
    std::fprintf(
        out, Usage,
        videoOutputAvailable() ? "" : "\n                    (not available: built without FFmpeg's libraries)");
}

struct Options {
    std::string dataDir = ".";
    uint32_t startTick = 0;
    int frames = 4450;
    int from = 1;
    bool hashes = false;
    bool stats = false;
    std::string dumpDir;
    std::string pngDir;
    std::string wavPath;
    std::string ansiPath;
    std::string castPath;
    std::string videoPath;
    int videoScale = 1;
};

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "hazelglow-render: %s\n", message.c_str());
    printUsage(stderr);
    std::exit(2);
}

long long parseNumber(const char* option, const char* text, long long low, long long high) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        usageError(std::string("bad value '") + text + "' for " + option + " (a whole number from " +
                   std::to_string(low) + " to " + std::to_string(high) + ")");
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("hazelglow-render %s\n", HAZELGLOW_VERSION);
            std::exit(0);
        } else if (arg == "--data") {
            options.dataDir = value();
        } else if (arg == "--start-tick") {
            options.startTick = static_cast<uint32_t>(parseNumber("--start-tick", value(), 0, UINT32_MAX));
        } else if (arg == "--frames") {
            options.frames = static_cast<int>(parseNumber("--frames", value(), 0, 1000000));
        } else if (arg == "--from") {
            options.from = static_cast<int>(parseNumber("--from", value(), 1, 1000000));
        } else if (arg == "--hashes") {
            options.hashes = true;
        } else if (arg == "--wav") {
            options.wavPath = value();
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--dump") {
            options.dumpDir = value();
        } else if (arg == "--ansi") {
            options.ansiPath = value();
        } else if (arg == "--cast") {
            options.castPath = value();
        } else if (arg == "--video") {
            options.videoPath = value();
        } else if (arg == "--video-scale") {
            options.videoScale = static_cast<int>(parseNumber("--video-scale", value(), 1, 4));
        } else if (arg == "--png") {
            options.pngDir = value();
        } else {
            usageError("unknown option '" + arg + "'");
        }
    }
    if (!options.videoPath.empty()) {
        if (!videoOutputAvailable())
            usageError("--video is not available: this hazelglow-render was built without FFmpeg's libraries");
        if (options.frames < options.from) usageError("--video needs at least one frame (--frames >= --from)");
    }
    return options;
}

// Makes the output directory the user named if it is not there yet.
// std::filesystem rather than mkdir(2): the same code builds on Windows.
bool ensureDirectory(const std::string& dir) {
    std::error_code error;
    if (std::filesystem::is_directory(dir, error)) return true;
    if (std::filesystem::exists(dir, error)) {
        std::fprintf(stderr, "hazelglow-render: %s: not a directory\n", dir.c_str());
        return false;
    }
    if (!std::filesystem::create_directory(dir, error)) {
        std::fprintf(stderr, "hazelglow-render: %s: %s\n", dir.c_str(),
                     error ? error.message().c_str() : "cannot create the directory");
        return false;
    }
    return true;
}

bool loadStrip(const std::string& dir, const char* name, ImageStrip& strip) {
    const std::string path = dir + "/" + name;
    std::string error;
    if (loadImageStrip(path.c_str(), strip, error)) return true;
    std::fprintf(stderr, "hazelglow-render: %s: %s\n", path.c_str(), error.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);

    std::vector<std::unique_ptr<FrameOutput>> outputs;
    if (options.hashes) outputs.push_back(makeHashOutput(stdout));
    if (!options.dumpDir.empty()) {
        if (!ensureDirectory(options.dumpDir)) return 1;
        outputs.push_back(makeDumpOutput(options.dumpDir));
    }
    if (!options.pngDir.empty()) {
        if (!ensureDirectory(options.pngDir)) return 1;
        outputs.push_back(makePngOutput(options.pngDir));
    }
    StatsOutput* stats = nullptr;
    if (options.stats) {
        auto output = makeStatsOutput(stdout);
        stats = output.get();
        outputs.push_back(std::move(output));
        outputs.push_back(makeTerminalBytesOutput(stdout));
    }
    const ColourMode terminalColours = colourModeFor(std::getenv("COLORTERM"));
    if (!options.ansiPath.empty()) outputs.push_back(makeAnsiOutput(options.ansiPath, terminalColours));
    if (!options.castPath.empty()) outputs.push_back(makeCastOutput(options.castPath, terminalColours));

    if (!options.wavPath.empty() || !options.videoPath.empty()) {
        const std::string soundtrackPath = options.dataDir + "/hazelglow.ogg";
        static Aurix::Wav soundtrack;
        if (soundtrack.loadFromPath(soundtrackPath.c_str()) != Aurix::Success) {
            std::fprintf(stderr, "hazelglow-render: %s: cannot load the soundtrack\n", soundtrackPath.c_str());
            return 2;
        }
        std::vector<int16_t> mix = mixSoundtrack(soundtrack);
        if (!options.wavPath.empty() && !writeWaveFile(options.wavPath, mix)) return 1;
        if (!options.videoPath.empty()) {
            VideoRequest request;
            request.path = options.videoPath;
            request.scale = options.videoScale;
            request.firstFrame = options.from;
            request.lastFrame = options.frames;
            request.mix = std::move(mix);
            std::unique_ptr<FrameOutput> video;
            if (Result result = makeVideoOutput(std::move(request), video); !result) {
                std::fprintf(stderr, "hazelglow-render: %s\n", result.message().c_str());
                return 1;
            }
            outputs.push_back(std::move(video));
        }
        if (outputs.empty()) return 0;
    }

    if (!loadStrip(options.dataDir, "wipe.png", wipeStrip) || !loadStrip(options.dataDir, "texts.png", textStrip))
        return 2;

    static PKR_AsciiArt converter;
    converter.init();

    for (int n = 1; n <= options.frames; ++n) {
        const int32_t t = 40 * n;
        const uint32_t frameTarget = options.startTick + static_cast<uint32_t>(t);
        const bool output = n >= options.from;
        if (output && stats != nullptr) stats->frameStarting();
        renderFrame(t, frameTarget, converter, output ? stats : nullptr);
        if (!output) continue;
        for (auto& sink : outputs)
            if (!sink->frame(n, t)) return 1;
    }
    for (auto& sink : outputs)
        if (!sink->finish()) return 1;
    return 0;
}
