// The generated soundtrack, decoded the way the demo decodes it (stb_vorbis):
// format, length, level, the form of the music and its silent ending.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {

constexpr int Rate = 44100;
constexpr unsigned ExpectedFrames = 7876260;  // 178.6 s
constexpr double GridStart = 0.080;           // first beat of the first bar

struct Decoded {
    bool opened = false;
    int channels = 0;
    unsigned rate = 0;
    unsigned declaredFrames = 0;
    std::string title;
    std::string artist;
    std::vector<float> left, right;
};

const Decoded& soundtrack() {
    static const Decoded decoded = [] {
        Decoded d;
        const std::string path = std::string(HAZELGLOW_BUILD_DATA_DIR) + "/hazelglow.ogg";
        int error = 0;
        stb_vorbis* vorbis = stb_vorbis_open_filename(path.c_str(), &error, nullptr);
        if (vorbis == nullptr) return d;
        d.opened = true;
        const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
        d.channels = info.channels;
        d.rate = info.sample_rate;
        d.declaredFrames = stb_vorbis_stream_length_in_samples(vorbis);
        const stb_vorbis_comment comment = stb_vorbis_get_comment(vorbis);
        for (int i = 0; i < comment.comment_list_length; ++i) {
            const std::string entry = comment.comment_list[i];
            if (entry.rfind("TITLE=", 0) == 0) d.title = entry.substr(6);
            if (entry.rfind("ARTIST=", 0) == 0) d.artist = entry.substr(7);
        }
        int channels = 0;
        float** output = nullptr;
        int got = 0;
        while ((got = stb_vorbis_get_frame_float(vorbis, &channels, &output)) > 0) {
            d.left.insert(d.left.end(), output[0], output[0] + got);
            d.right.insert(d.right.end(), output[channels > 1 ? 1 : 0], output[channels > 1 ? 1 : 0] + got);
        }
        stb_vorbis_close(vorbis);
        return d;
    }();
    return decoded;
}

size_t frameAt(double seconds) {
    return static_cast<size_t>(std::llround(seconds * Rate));
}

double rms(double from, double to) {
    const Decoded& d = soundtrack();
    const size_t first = std::min(frameAt(from), d.left.size());
    const size_t last = std::min(frameAt(to), d.left.size());
    double sum = 0.0;
    for (size_t i = first; i < last; ++i) sum += double(d.left[i]) * d.left[i] + double(d.right[i]) * d.right[i];
    return last > first ? std::sqrt(sum / (2.0 * double(last - first))) : 0.0;
}

double peak(double from, double to) {
    const Decoded& d = soundtrack();
    double top = 0.0;
    for (size_t i = std::min(frameAt(from), d.left.size()); i < std::min(frameAt(to), d.left.size()); ++i)
        top = std::max({top, double(std::fabs(d.left[i])), double(std::fabs(d.right[i]))});
    return top;
}

// RMS of the sample-to-sample differences: weighs the highs, so it measures
// how hard snares, claps and stabs hit rather than the kick's low thump.
double hitLevel(double from, double to) {
    const Decoded& d = soundtrack();
    const size_t first = std::max<size_t>(std::min(frameAt(from), d.left.size()), 1);
    const size_t last = std::min(frameAt(to), d.left.size());
    double sum = 0.0;
    for (size_t i = first; i < last; ++i) {
        const double l = double(d.left[i]) - d.left[i - 1];
        const double r = double(d.right[i]) - d.right[i - 1];
        sum += l * l + r * r;
    }
    return last > first ? std::sqrt(sum / (2.0 * double(last - first))) : 0.0;
}

// RMS of scene s (1..11): its 16 seconds on the beat grid.
double sceneRms(int scene) {
    const double start = GridStart + 16.0 * (scene - 1);
    return rms(start, start + 16.0);
}

TEST(Soundtrack, IsStereo44100OfTheIntendedLength) {
    const Decoded& d = soundtrack();
    ASSERT_TRUE(d.opened) << "hazelglow.ogg missing or not Ogg Vorbis";
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.rate, 44100u);
    EXPECT_EQ(d.declaredFrames, ExpectedFrames);
    EXPECT_EQ(d.left.size(), size_t{ExpectedFrames});
    EXPECT_EQ(d.title, "Hazel Glow");
    EXPECT_EQ(d.artist, "V\xC3\xB6rnik\xC3\xB6");
}

TEST(Soundtrack, PeaksStayBelowTheLimiter) {
    ASSERT_TRUE(soundtrack().opened);
    const double top = peak(0.0, 179.0);
    EXPECT_LE(top, 0.85);
    EXPECT_GE(top, 0.7) << "far quieter than intended";
}

TEST(Soundtrack, LoudnessFollowsTheForm) {
    ASSERT_TRUE(soundtrack().opened);
    double level[12] = {};
    for (int scene = 1; scene <= 11; ++scene) {
        level[scene] = sceneRms(scene);
        if (std::getenv("HAZELGLOW_SHOW_LEVELS") != nullptr)
            std::printf("scene %2d  rms %.4f  (%.1f dBFS)  peak %.3f\n", scene, level[scene],
                        20.0 * std::log10(level[scene]),
                        peak(GridStart + 16.0 * (scene - 1), GridStart + 16.0 * scene));
        EXPECT_GT(level[scene], 0.01) << "scene " << scene << " is silent";
    }
    // A quiet intro, quiet breakdown and calm parts, the peak in scenes 8-9.
    EXPECT_LT(level[1], 0.5 * level[3]);
    EXPECT_LT(level[6], 0.5 * level[5]);
    EXPECT_LT(level[6], 0.5 * level[7]);
    EXPECT_LT(level[10], 0.5 * level[9]);
    const double top = std::max(level[8], level[9]);
    for (int scene : {1, 2, 3, 4, 5, 6, 7, 10})
        EXPECT_GE(top, level[scene]) << "scene " << scene << " is louder than the peak";
    // The intro swells under the picture's fade-in.
    EXPECT_LT(rms(GridStart, GridStart + 4.0), 0.7 * rms(GridStart + 12.0, GridStart + 16.0));
}

TEST(Soundtrack, BackbeatsAreAccentedWhereTheScreenFlashes) {
    // Every second beat (beat k odd, at 0.08 + 0.5 k s) is heard with the
    // whole-screen flashes in scenes 2, 3, 4 and 8: it must hit harder than
    // the beats between.
    ASSERT_TRUE(soundtrack().opened);
    for (int scene : {2, 3, 4, 8}) {
        double onBackbeat = 0.0, between = 0.0;
        for (int beat = 0; beat < 32; ++beat) {
            const double at = GridStart + 16.0 * (scene - 1) + 0.5 * beat;
            (beat % 2 == 1 ? onBackbeat : between) += hitLevel(at, at + 0.1);
        }
        if (std::getenv("HAZELGLOW_SHOW_LEVELS") != nullptr)
            std::printf("scene %d  backbeats %.4f  other beats %.4f\n", scene, onBackbeat / 16, between / 16);
        EXPECT_GT(onBackbeat, 1.5 * between) << "scene " << scene;
    }
}

TEST(Soundtrack, BeatsStartOnTheGrid) {
    // Scene 2 opens with kick and bass: the level jumps at every beat of the
    // grid, not between.
    ASSERT_TRUE(soundtrack().opened);
    int sharpOnsets = 0;
    for (int beat = 0; beat < 32; ++beat) {
        const double at = GridStart + 16.0 + 0.5 * beat;
        if (rms(at, at + 0.03) > 2.0 * rms(at - 0.03, at)) ++sharpOnsets;
    }
    EXPECT_GE(sharpOnsets, 28);
}

TEST(Soundtrack, FadesOutAndIsSilentFrom178Seconds) {
    ASSERT_TRUE(soundtrack().opened);
    EXPECT_LT(rms(176.0, 178.0), 0.1 * rms(162.0, 170.0));
    EXPECT_LT(peak(178.0, 179.0), 1e-3);
}

}  // namespace
