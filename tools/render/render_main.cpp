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
#include <new>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <utility>
#include <vector>

#include "demo/data_files.h"
#include "demo/pipeline.h"
#include "display/ascii_art.h"
#include "effects/buffers.h"
#include "effects/result.h"
#include "tools/render/frame_audio.h"
#include "tools/render/frame_outputs.h"
#include "tools/render/frame_terminal.h"
#include "tools/render/frame_video.h"
#include "tools/render/output_file.h"

namespace {

// The frame numbers come from the pipeline, so the text cannot go stale.
const std::string Usage =
    "usage: hazelglow-render [options]\n"
    "Renders the demo's frames 1..N (t = " +
    std::to_string(FramePeriod) +
    " n) headless, with the same pipeline as the demo.\n"
    "  --data DIR        directory holding wipe.png and texts.png (default: the working directory)\n"
    "  --start-tick MS   tick count the demo started at (default 0); picks the greetings page\n"
    "  --frames N        frames to render (default " +
    std::to_string(TimelineFrames) + ", up to t = " + std::to_string(FadeOutEnd) +
    ")\n"
    "  --from N          first frame to output; earlier frames are still rendered (default 1)\n"
    "  --hashes          print '<n> <t> <framebuffer fnv1a64> <cells fnv1a64>' per frame\n"
    "  --dump DIR        write fb_<n>.raw and cells_<n>.raw per frame\n"
    "  --png DIR         write frame_<n>.png, the cells as a console shows them (with --size, as\n"
    "                    that terminal shows them: each cell drawn in its --cell-aspect shape)\n"
    "  --stats           print time per stage and scene (median, 99th percentile, maximum), then\n"
    "                    the terminal bytes per frame (changed cells or all, 16 or 24-bit colours)\n"
    "  --ansi FILE       write the bytes the demo sends the terminal (80x50, or --size), frame after frame\n"
    "                    (24-bit colours when $COLORTERM is truecolor or 24bit, as in the demo)\n"
    "  --cast FILE       the same as an asciicast v2 recording, for 'asciinema play FILE'\n"
    "  --size WxH        make --ansi, --cast, --png and --stats for a terminal of W x H cells\n"
    "                    (default: the console, 80x50 cells of 8x12): it gets what the demo shows\n"
    "                    there, the whole picture in its true shape as large as fits\n"
    "  --cell-aspect W:H the shape of that terminal's cells in pixels (default 1:2 with --size);\n"
    "                    cells of the console's 8:12 with room for 80x50 get the 80x50 cells\n"
    "  --fill            the demo's default, named\n"
    "  --exact           the 80x50 cells whatever the terminal's size and cell shape\n"
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
    std::string text = Usage;
    text.replace(
        text.find("%s"), 2,
        videoOutputAvailable() ? "" : "\n                    (not available: built without FFmpeg's libraries)");
    std::fputs(text.c_str(), out);
}

struct Options {
    enum class Action : uint8_t { Run, Help, Version };
    Action action = Action::Run;
    std::string dataDir = ".";
    uint32_t startTick = 0;
    int frames = TimelineFrames;
    int from = 1;
    bool fromGiven = false;
    bool hashes = false;
    bool stats = false;
    std::string dumpDir;
    std::string pngDir;
    std::string wavPath;
    std::string ansiPath;
    std::string castPath;
    TerminalSpec terminal;
    bool sizeGiven = false;
    bool aspectGiven = false;
    std::string videoPath;
    int videoScale = 1;
};

// A mistake in the options; main prints the usage after it.
Result usageError(const std::string& message) {
    return Result::failed("", message);
}

Result parseNumber(const std::string& option, const char* text, long long low, long long high, long long& value) {
    errno = 0;
    char* end = nullptr;
    // Digits only: strtoll would also take leading blanks and a sign.
    const bool digits = text[0] >= '0' && text[0] <= '9';
    value = digits ? std::strtoll(text, &end, 10) : 0;
    if (!digits || errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return usageError(std::string("bad value '") + text + "' for " + option + " (a whole number from " +
                          std::to_string(low) + " to " + std::to_string(high) + ")");
    return Result::ok();
}

// Two outputs into one file would interleave or overwrite each other: refused
// before anything is rendered, whatever the spelling ("x", "./x", a link).
// --dump and --png may share a folder: their file names differ.
Result refuseSharedOutputs(const Options& options) {
    std::vector<std::pair<std::string, std::string>> outputs;
    for (const auto& [option, path] : {std::pair{"--wav", &options.wavPath},
                                       {"--ansi", &options.ansiPath},
                                       {"--cast", &options.castPath},
                                       {"--video", &options.videoPath},
                                       {"--dump", &options.dumpDir},
                                       {"--png", &options.pngDir}})
        if (!path->empty()) outputs.emplace_back(option, *path);
    if (options.hashes) outputs.emplace_back("--hashes", "-");
    if (options.stats) outputs.emplace_back("--stats", "-");
    for (size_t i = 0; i < outputs.size(); ++i)
        for (size_t j = i + 1; j < outputs.size(); ++j) {
            const auto& [first, a] = outputs[i];
            const auto& [second, b] = outputs[j];
            if ((first == "--dump" && second == "--png") || (first == "--hashes" && second == "--stats")) continue;
            if (sameOutput(a, b))
                return Result::failed("", first + " " + a + " and " + second + " " + b + " write to the same file");
        }
    return Result::ok();
}

// The options naming a file or folder, and where each name goes.
const std::pair<const char*, std::string Options::*> NameOptions[] = {
    {"--data", &Options::dataDir},  {"--wav", &Options::wavPath},   {"--dump", &Options::dumpDir},
    {"--ansi", &Options::ansiPath}, {"--cast", &Options::castPath}, {"--video", &Options::videoPath},
    {"--png", &Options::pngDir}};
// The options taking any other value.
const char* const ValueOptions[] = {"--start-tick", "--frames", "--from", "--video-scale", "--size", "--cell-aspect"};

// Stops at --help or --version: what comes after them is not looked at.
Result parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string Options::*name = nullptr;
        for (const auto& [option, member] : NameOptions)
            if (arg == option) name = member;
        bool takesValue = name != nullptr;
        for (const char* option : ValueOptions) takesValue = takesValue || arg == option;
        const char* text = nullptr;
        if (takesValue) {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            text = argv[++i];
        }
        long long number = 0;
        if (name != nullptr) {
            // A file or folder name: '' would be read as no option at all, or as "/".
            if (text[0] == '\0') return usageError(arg + " needs a name, not ''");
            options.*name = text;
        } else if (arg == "--help" || arg == "-h") {
            options.action = Options::Action::Help;
            return Result::ok();
        } else if (arg == "--version") {
            options.action = Options::Action::Version;
            return Result::ok();
        } else if (arg == "--start-tick") {
            if (Result parsed = parseNumber(arg, text, 0, UINT32_MAX, number); !parsed) return parsed;
            options.startTick = static_cast<uint32_t>(number);
        } else if (arg == "--frames") {
            if (Result parsed = parseNumber(arg, text, 0, 1000000, number); !parsed) return parsed;
            options.frames = static_cast<int>(number);
        } else if (arg == "--from") {
            if (Result parsed = parseNumber(arg, text, 1, 1000000, number); !parsed) return parsed;
            options.from = static_cast<int>(number);
            options.fromGiven = true;
        } else if (arg == "--video-scale") {
            if (Result parsed = parseNumber(arg, text, 1, 4, number); !parsed) return parsed;
            options.videoScale = static_cast<int>(number);
        } else if (arg == "--hashes") {
            options.hashes = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--size") {
            if (!parseSize(text, 'x', 1, 65535, options.terminal.columns, options.terminal.rows))
                return usageError(std::string("bad value '") + text + "' for --size (columns x rows, such as 80x24)");
            options.sizeGiven = true;
        } else if (arg == "--cell-aspect") {
            int width = 0, height = 0;
            if (!parseSize(text, ':', 1, 10000, width, height))
                return usageError(std::string("bad value '") + text +
                                  "' for --cell-aspect (width:height, such as 1:2)");
            options.terminal.shape = {width, height};
            options.aspectGiven = true;
        } else if (arg == "--fill" || arg == "--exact") {
            const FitMode mode = arg == "--fill" ? FitMode::Fill : FitMode::Exact;
            if (options.terminal.fit != FitMode::Auto && options.terminal.fit != mode)
                return usageError("--fill and --exact exclude each other");
            options.terminal.fit = mode;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    // A terminal named by its size alone has the cells most terminals have.
    if (options.sizeGiven && !options.aspectGiven) options.terminal.shape = DefaultCellShape;
    if (options.fromGiven && options.from > options.frames)
        return usageError("--from " + std::to_string(options.from) + " is past the last frame (--frames " +
                          std::to_string(options.frames) + "): nothing would be output");
    return Result::ok();
}

// Checked after the outputs are known to be apart.
Result checkVideoOptions(const Options& options) {
    if (options.videoPath.empty()) return Result::ok();
    if (!videoOutputAvailable())
        return usageError("--video is not available: this hazelglow-render was built without FFmpeg's libraries");
    if (options.frames < options.from) return usageError("--video needs at least one frame (--frames >= --from)");
    return Result::ok();
}

// Makes the output directory the user named if it is not there yet.
// std::filesystem rather than mkdir(2): the same code builds on Windows.
Result ensureDirectory(const std::string& dir) {
    std::error_code error;
    if (std::filesystem::is_directory(dir, error)) return Result::ok();
    if (std::filesystem::exists(dir, error)) return Result::failed(dir, "not a directory");
    if (!std::filesystem::create_directory(dir, error))
        return Result::failed(dir, error ? error.message() : "cannot create the directory");
    return Result::ok();
}

// The demo's check, before anything opens the file: a FIFO would block the
// open, and "missing" or "Permission denied" says more than a failed decode.
Result dataFileUsable(const std::string& path, const std::string& what) {
    const Result readable = dataFileReadable(path);
    return readable ? readable : Result::failed(path, what + readable.problem());
}

Result loadStrip(const std::string& path, ImageStrip& strip) {
    if (Result usable = dataFileUsable(path, ""); !usable) return usable;
    return loadImageStrip(path.c_str(), strip);
}

Result loadStrips(const std::string& dir) {
    if (Result loaded = loadStrip(dir + "/wipe.png", wipeStrip); !loaded) return loaded;
    return loadStrip(dir + "/texts.png", textStrip);
}

Result loadSoundtrack(const std::string& path, Aurix::Wav& soundtrack) {
    const std::string what = "cannot load the soundtrack: ";
    if (Result usable = dataFileUsable(path, what); !usable) return usable;
    const Aurix::AudioStatus status = soundtrack.loadFromPath(path.c_str());
    if (status == Aurix::Success) return Result::ok();
    const std::string problem = status == Aurix::CannotOpenFile ? std::strerror(errno)
                                : soundtrack.loadProblem.empty()
                                    ? "not a soundtrack the demo can play (Ogg Vorbis or PCM WAVE expected)"
                                    : soundtrack.loadProblem;
    return Result::failed(path, what + problem);
}

// The one place the program turns a failed step into its message.
int fail(const Result& result, int status) {
    std::fprintf(stderr, "hazelglow-render: %s\n", result.message().c_str());
    return status;
}

// A mistake in the options: what it is, then how they go.
int failWithUsage(const Result& result) {
    fail(result, 2);
    printUsage(stderr);
    return 2;
}

int run(int argc, char** argv) {
    Options options;
    if (const Result parsed = parseOptions(argc, argv, options); !parsed) return failWithUsage(parsed);
    // What was asked for, written in full or a failure (a full standard output).
    if (options.action != Options::Action::Run) {
        if (options.action == Options::Action::Help)
            printUsage(stdout);
        else
            std::printf("hazelglow-render %s\n", HAZELGLOW_VERSION);
        const Result flushed = flushStream(stdout, "standard output");
        return flushed ? 0 : fail(flushed, 1);
    }
    if (const Result apart = refuseSharedOutputs(options); !apart) return fail(apart, 2);
    if (const Result video = checkVideoOptions(options); !video) return failWithUsage(video);
    // Standard output closed: say so now, before a file opened later takes
    // its number and the hashes land in it.
    struct stat standardOutput {};
    if ((options.hashes || options.stats) && fstat(fileno(stdout), &standardOutput) != 0)
        return fail(Result::failed("standard output", std::strerror(errno)), 1);
    static PKR_AsciiArt converter;  // its tables are built before the first frame

    std::vector<std::unique_ptr<FrameOutput>> outputs;
    if (options.hashes) outputs.push_back(makeHashOutput(stdout));
    if (!options.dumpDir.empty()) {
        if (const Result made = ensureDirectory(options.dumpDir); !made) return fail(made, 1);
        outputs.push_back(makeDumpOutput(options.dumpDir));
    }
    if (!options.pngDir.empty()) {
        if (const Result made = ensureDirectory(options.pngDir); !made) return fail(made, 1);
        outputs.push_back(makePngOutput(options.pngDir, options.terminal, &converter));
    }
    StatsOutput* stats = nullptr;
    if (options.stats) {
        auto output = makeStatsOutput(stdout);
        stats = output.get();
        outputs.push_back(std::move(output));
        outputs.push_back(makeTerminalBytesOutput(stdout, options.terminal, &converter));
    }
    const ColourMode terminalColours = colourModeFor(std::getenv("COLORTERM"));
    if (!options.ansiPath.empty())
        outputs.push_back(makeAnsiOutput(options.ansiPath, terminalColours, options.terminal, &converter));
    if (!options.castPath.empty())
        outputs.push_back(makeCastOutput(options.castPath, terminalColours, options.terminal, &converter));

    if (!options.wavPath.empty() || !options.videoPath.empty()) {
        static Aurix::Wav soundtrack;
        if (const Result loaded = loadSoundtrack(options.dataDir + "/hazelglow.ogg", soundtrack); !loaded)
            return fail(loaded, 2);
        std::vector<int16_t> mix = mixSoundtrack(soundtrack);
        if (!options.wavPath.empty())
            if (const Result written = writeWaveFile(options.wavPath, mix); !written) return fail(written, 1);
        if (!options.videoPath.empty()) {
            VideoRequest request;
            request.path = options.videoPath;
            request.scale = options.videoScale;
            request.firstFrame = options.from;
            request.lastFrame = options.frames;
            request.mix = std::move(mix);
            std::unique_ptr<FrameOutput> video;
            if (const Result made = makeVideoOutput(std::move(request), video); !made) return fail(made, 1);
            outputs.push_back(std::move(video));
        }
        if (outputs.empty()) return 0;
    }

    if (const Result loaded = loadStrips(options.dataDir); !loaded) return fail(loaded, 2);

    converter.init();

    for (int n = 1; n <= options.frames; ++n) {
        const int32_t t = FramePeriod * n;
        const uint32_t frameTarget = options.startTick + static_cast<uint32_t>(t);
        const bool output = n >= options.from;
        if (output && stats != nullptr) stats->frameStarting();
        renderFrame(t, frameTarget, converter, output ? stats : nullptr);
        if (!output) continue;
        for (auto& sink : outputs)
            if (const Result shown = sink->frame(n, t); !shown) return fail(shown, 1);
    }
    for (auto& sink : outputs)
        if (const Result finished = sink->finish(); !finished) return fail(finished, 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The libraries' allocations are the only source of exceptions: one line, not an abort.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("hazelglow-render: out of memory\n", stderr);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "hazelglow-render: %s\n", error.what());
    }
    return 1;
}
