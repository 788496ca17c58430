// hazelglow-render --video, read back with FFmpeg's own decoders: the
// pictures are the --png frames at 25 per second, the sound is the --wav mix
// over the same span, and an interrupted run leaves no file behind.
#include <gtest/gtest.h>

#if __has_include(<libavformat/avformat.h>)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <stb_image.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "audio/aurix.h"
#include "tests/support/files.h"
#include "tests/tools/data_files.h"
#include "tools/render/frame_audio.h"

namespace {

namespace fs = std::filesystem;

const std::string RenderTool = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render";
constexpr int Frames = 75;    // 3 s of the demo
constexpr int Compared = 50;  // the frame compared with its --png picture

int run(const std::string& arguments) {
    const std::string command = RenderTool + " --data " + DataDir + " " + arguments + " 2>/dev/null";
    return std::system(command.c_str());
}

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Everything a capture holds, decoded.
struct Decoded {
    AVRational frameRate{0, 1};
    int width = 0;
    int height = 0;
    std::vector<double> pictureTimes;  // seconds
    Picture compared;                  // the picture shown from 40 * Compared ms
    int sampleRate = 0;
    int channels = 0;
    double firstSampleTime = -1;
    std::vector<float> samples;  // interleaved stereo
};

Picture toRgb(const AVFrame* frame) {
    Picture picture{frame->width, frame->height, {}};
    picture.rgb.resize(size_t(frame->width) * size_t(frame->height) * 3);
    SwsContext* scaler = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                        frame->height, AV_PIX_FMT_RGB24,
                                        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    uint8_t* planes[1] = {picture.rgb.data()};
    const int strides[1] = {frame->width * 3};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(scaler);
    return picture;
}

Decoded decode(const std::string& path) {
    Decoded out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(format, nullptr);
    const int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoders[2] = {nullptr, nullptr};
    for (int which = 0; which < 2; ++which) {
        const int index = which == 0 ? videoIndex : audioIndex;
        if (index < 0) continue;
        const AVCodecParameters* parameters = format->streams[index]->codecpar;
        decoders[which] = avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id));
        avcodec_parameters_to_context(decoders[which], parameters);
        decoders[which]->pkt_timebase = format->streams[index]->time_base;
        avcodec_open2(decoders[which], nullptr, nullptr);
    }
    if (videoIndex >= 0) {
        out.frameRate = format->streams[videoIndex]->avg_frame_rate;
        out.width = decoders[0]->width;
        out.height = decoders[0]->height;
    }
    SwrContext* resampler = nullptr;
    if (audioIndex >= 0) {
        out.sampleRate = decoders[1]->sample_rate;
        out.channels = decoders[1]->ch_layout.nb_channels;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, out.sampleRate, &decoders[1]->ch_layout,
                            decoders[1]->sample_fmt, out.sampleRate, 0, nullptr);
        swr_init(resampler);
    }

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&](int which) {
        const AVRational base = format->streams[which == 0 ? videoIndex : audioIndex]->time_base;
        while (avcodec_receive_frame(decoders[which], frame) == 0) {
            const double time = double(frame->best_effort_timestamp) * av_q2d(base);
            if (which == 0) {
                if (std::lround(time * 25) == Compared) out.compared = toRgb(frame);
                out.pictureTimes.push_back(time);
            } else {
                if (out.firstSampleTime < 0) out.firstSampleTime = time;
                std::vector<float> interleaved(size_t(frame->nb_samples) * 2);
                uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(interleaved.data())};
                const int got = swr_convert(resampler, planes, frame->nb_samples,
                                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
                out.samples.insert(out.samples.end(), interleaved.begin(), interleaved.begin() + 2 * got);
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const int which = packet->stream_index == videoIndex ? 0 : packet->stream_index == audioIndex ? 1 : -1;
        if (which >= 0 && avcodec_send_packet(decoders[which], packet) == 0) receive(which);
        av_packet_unref(packet);
    }
    for (int which = 0; which < 2; ++which) {
        if (decoders[which] == nullptr) continue;
        avcodec_send_packet(decoders[which], nullptr);
        receive(which);
        avcodec_free_context(&decoders[which]);
    }
    swr_free(&resampler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return out;
}

// The --png picture of frame Compared, rendered by the tool once.
const Picture& pngPicture() {
    static const Picture picture = [] {
        const testfiles::TempDir scratch("video-png");
        const fs::path& dir = scratch.path();
        Picture p;
        if (run("--from " + std::to_string(Compared) + " --frames " + std::to_string(Compared) + " --png " +
                dir.string()) != 0)
            return p;
        int channels = 0;
        stbi_uc* pixels = stbi_load((dir / ("frame_" + std::to_string(Compared) + ".png")).c_str(), &p.width, &p.height,
                                    &channels, 3);
        if (pixels != nullptr) p.rgb.assign(pixels, pixels + size_t(p.width) * size_t(p.height) * 3);
        stbi_image_free(pixels);
        return p;
    }();
    return picture;
}

// The --wav mix, from the same function the tool uses.
const std::vector<int16_t>& wavMix() {
    static const std::vector<int16_t> mix = [] {
        static Aurix::Wav soundtrack;
        if (soundtrack.loadFromPath((DataDir + "/hazelglow.ogg").c_str()) != Aurix::Success)
            return std::vector<int16_t>();
        return mixSoundtrack(soundtrack);
    }();
    return mix;
}

double psnr(const Picture& decoded, const Picture& png, int scale) {
    double squares = 0;
    for (int y = 0; y < decoded.height; ++y)
        for (int x = 0; x < decoded.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double a = decoded.rgb[(size_t(y) * size_t(decoded.width) + size_t(x)) * 3 + size_t(c)];
                const double b = png.rgb[(size_t(y / scale) * size_t(png.width) + size_t(x / scale)) * 3 + size_t(c)];
                squares += (a - b) * (a - b);
            }
    const double mse = squares / (double(decoded.width) * decoded.height * 3);
    return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

// Loudness in 10 ms steps (RMS of both channels), so a 44 100 Hz mix and a
// 48 000 Hz decode compare step by step.
std::vector<double> envelope(const std::vector<float>& stereo, int rate, double seconds) {
    std::vector<double> steps;
    const int count = int(seconds * 100);
    for (int k = 0; k < count; ++k) {
        const size_t begin = size_t(k) * size_t(rate) / 100, end = size_t(k + 1) * size_t(rate) / 100;
        double sum = 0;
        for (size_t i = begin * 2; i < end * 2 && i < stereo.size(); ++i) sum += double(stereo[i]) * stereo[i];
        steps.push_back(std::sqrt(sum / double(2 * (end - begin))));
    }
    return steps;
}

// Pearson correlation of two envelopes, the second shifted by `lag` steps.
double correlation(const std::vector<double>& a, const std::vector<double>& b, int lag) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    int n = 0;
    for (int i = 5; i + 5 < int(a.size()); ++i) {
        const double x = a[size_t(i)], y = b[size_t(i + lag)];
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y, ++n;
    }
    const double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return cov / std::sqrt(va * vb);
}

struct Capture {
    const char* extension;
    int scale;
    int sampleRate;
    int codecFrame;      // the most samples one encoder frame may add at the end
    double minimumPsnr;  // INFINITY: lossless
};

void PrintTo(const Capture& capture, std::ostream* out) {
    *out << capture.extension << " x" << capture.scale;
}

class VideoCapture : public testing::TestWithParam<Capture> {};

TEST_P(VideoCapture, HoldsThePngFramesAndTheMix) {
    const Capture capture = GetParam();
    const testfiles::TempDir scratch("video-" + std::string(capture.extension + 1) + std::to_string(capture.scale));
    const fs::path& dir = scratch.path();
    const fs::path path = dir / (std::string("clip") + capture.extension);
    ASSERT_EQ(run("--frames " + std::to_string(Frames) + " --video-scale " + std::to_string(capture.scale) +
                  " --video " + path.string()),
              0);
    // Only the finished file is left, under its name.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    const Decoded video = decode(path.string());
    EXPECT_EQ(video.frameRate.num, 25);
    EXPECT_EQ(video.frameRate.den, 1);
    EXPECT_EQ(video.width, 640 * capture.scale);
    EXPECT_EQ(video.height, 600 * capture.scale);
    // The blank screen at 0, then frame n from 40 n ms: 3.04 s in all.
    ASSERT_EQ(video.pictureTimes.size(), size_t(Frames + 1));
    for (size_t i = 0; i < video.pictureTimes.size(); ++i) EXPECT_NEAR(video.pictureTimes[i], 0.04 * double(i), 1e-3);

    const Picture& png = pngPicture();
    ASSERT_EQ(png.width, 640);
    ASSERT_EQ(video.compared.width, 640 * capture.scale);
    EXPECT_GT(psnr(video.compared, png, capture.scale), capture.minimumPsnr == INFINITY ? 1e9 : capture.minimumPsnr);

    EXPECT_EQ(video.sampleRate, capture.sampleRate);
    EXPECT_EQ(video.channels, 2);
    EXPECT_NEAR(video.firstSampleTime, 0.0, 1e-3);
    const size_t expected = size_t(Frames + 1) * size_t(capture.sampleRate) / 25;
    EXPECT_GE(video.samples.size() / 2, expected);
    EXPECT_LE(video.samples.size() / 2, expected + size_t(capture.codecFrame));

    const std::vector<int16_t>& mix = wavMix();
    ASSERT_GE(mix.size(), size_t(Frames + 1) * 1764 * 2);
    std::vector<float> reference(mix.begin(), mix.begin() + std::ptrdiff_t(Frames + 1) * 1764 * 2);
    for (float& x : reference) x /= 32768.0f;
    if (capture.minimumPsnr == INFINITY) {
        // Lossless: the mix itself.
        for (size_t i = 0; i < reference.size(); i += 97) ASSERT_EQ(video.samples[i], reference[i]) << "sample " << i;
    }
    // The loudness follows the mix, and best with no shift: picture and sound in step.
    const std::vector<double> wanted = envelope(reference, 44100, 3.0);
    const std::vector<double> got = envelope(video.samples, capture.sampleRate, 3.0);
    const double inStep = correlation(wanted, got, 0);
    EXPECT_GT(inStep, 0.95);
    for (int lag : {-2, -1, 1, 2}) EXPECT_GT(inStep, correlation(wanted, got, lag)) << "lag " << lag;
}

INSTANTIATE_TEST_SUITE_P(Formats, VideoCapture,
                         testing::Values(Capture{".mp4", 1, 44100, 1024, 40.0}, Capture{".mp4", 2, 44100, 1024, 40.0},
                                         Capture{".webm", 1, 48000, 960, 40.0}, Capture{".mkv", 1, 44100, 0, INFINITY}),
                         [](const testing::TestParamInfo<Capture>& param) {
                             return std::string(param.param.extension + 1) + "_scale" +
                                    std::to_string(param.param.scale);
                         });

TEST(VideoCaptureRefusal, LeavesNothingForAnUnknownTypeOrScale) {
    const testfiles::TempDir scratch("video-refused");
    const fs::path& dir = scratch.path();
    EXPECT_NE(run("--frames 2 --video " + (dir / "clip.avi").string()), 0);
    EXPECT_NE(run("--frames 2 --video-scale 5 --video " + (dir / "clip.mp4").string()), 0);
    EXPECT_NE(run("--from 3 --frames 2 --video " + (dir / "clip.mp4").string()), 0);
    EXPECT_TRUE(fs::is_empty(dir));
}

// Ctrl+C or a kill while encoding: no file under the asked name, and the
// temporary one is gone too.
TEST(VideoCaptureInterrupted, LeavesNoFileBehind) {
    for (int signal : {SIGINT, SIGTERM}) {
        const testfiles::TempDir scratch("video-interrupted");
        const fs::path& dir = scratch.path();
        const std::string target = (dir / "demo.mp4").string();
        const std::string data = DataDir;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            freopen("/dev/null", "w", stderr);
            execl(RenderTool.c_str(), RenderTool.c_str(), "--data", data.c_str(), "--video", target.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait until the encoder is writing its temporary file.
        bool writing = false;
        for (int tries = 0; tries < 600 && !writing; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.path().filename().string().find(".partial-") != std::string::npos && entry.file_size() > 0)
                    writing = true;
        }
        EXPECT_TRUE(writing);
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
        EXPECT_TRUE(fs::is_empty(dir)) << fs::directory_iterator(dir)->path();
    }
}

}  // namespace

#else

TEST(VideoCapture, NeedsFFmpeg) {
    GTEST_SKIP() << "FFmpeg's development files are not installed";
}

#endif
