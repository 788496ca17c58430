// --video with FFmpeg's libraries: libavformat writes the container,
// libavcodec encodes, libswscale turns the RGB pictures into the encoder's
// pixel format and libswresample the 16-bit mix into the encoder's samples.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "audio/aurix.h"
#include "demo/pipeline.h"
#include "display/cell_picture.h"
#include "effects/buffers.h"
#include "tools/render/frame_video.h"
#include "tools/render/output_file.h"

namespace {

constexpr int FramesPerSecond = 1000 / FramePeriod;
constexpr int MixRate = int(Aurix::AudioEngine::OutputRate);

struct Recipe {
    const char* extension;
    const char* container;
    const char* videoEncoder;
    AVPixelFormat pixels;
    const char* audioEncoder;
    int64_t audioBitRate;  // 0: lossless
};

// H.264 and VP9 take 4:2:0 pictures; at even scales every 2x2 chroma block
// covers one source pixel, so only scale 1 loses colour detail at edges.
constexpr Recipe Recipes[] = {
    {".mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, "aac", 192000},
    {".webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "libopus", 160000},
    {".mkv", "matroska", "ffv1", AV_PIX_FMT_0RGB32, "flac", 0},
};

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension;
}

std::string clockText(double seconds) {
    const int whole = static_cast<int>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
    return text;
}

class VideoOutput final : public FrameOutput {
public:
    explicit VideoOutput(VideoRequest request) : request_(std::move(request)), progress_(isatty(STDERR_FILENO) != 0) {}

    ~VideoOutput() override {
        closeFile();  // before the OutputFile removes what was not finished
        avcodec_free_context(&video_);
        avcodec_free_context(&audio_);
        av_frame_free(&picture_);
        av_frame_free(&sound_);
        av_packet_free(&packet_);
        sws_freeContext(scaler_);
        avformat_free_context(format_);
    }

    Result open();
    Result frame(int n, int32_t t) override;
    Result finish() override;

private:
    Result openVideo(const Recipe& recipe);
    Result openAudio(const Recipe& recipe);
    Result convertSound();
    Result encodePicture(int64_t pts);
    Result sendSoundUntil(int64_t endSample, bool last);
    Result drain(AVCodecContext* codec, AVStream* stream);
    void closeFile() {
        if (format_ != nullptr && format_->pb != nullptr) avio_closep(&format_->pb);
    }
    void showProgress(bool last);

    VideoRequest request_;
    bool progress_;
    std::unique_ptr<OutputFile> file_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> console_;  // 640x600 RGB
    std::vector<uint8_t> scaled_;   // width_ x height_ RGB
    // The sound of the whole video in the encoder's format, one vector per
    // plane (one for interleaved formats), and how much was sent so far.
    std::vector<std::vector<uint8_t>> soundPlanes_;
    int64_t soundSamples_ = 0;
    int64_t soundSent_ = 0;
    int soundFrameSize_ = 0;
    int64_t soundPtsOffset_ = 0;
    int64_t originFrame_ = 0;  // the video's t = 0 is 40 * originFrame_ ms of the demo
    int done_ = 0;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point shown_;
};

Result VideoOutput::open() {
    const std::string extension = lowerExtension(request_.path);
    const Recipe* recipe = nullptr;
    for (const Recipe& candidate : Recipes)
        if (extension == candidate.extension) recipe = &candidate;
    if (recipe == nullptr) return Result::failed(request_.path, "unknown video type (.mp4, .webm or .mkv)");

    originFrame_ = request_.firstFrame == 1 ? 0 : request_.firstFrame;
    width_ = ScreenshotWidth * request_.scale;
    height_ = ScreenshotHeight * request_.scale;
    console_.resize(size_t(ScreenshotWidth) * ScreenshotHeight * 3);
    scaled_.resize(size_t(width_) * size_t(height_) * 3);

    // The same rule as every output: a temporary name, put in place when complete.
    file_ = std::make_unique<OutputFile>(request_.path, OutputFile::Opening::Named);
    if (Result opened = file_->status(); !opened) return opened;
    const std::string& temporaryPath = file_->temporaryPath();
    if (avformat_alloc_output_context2(&format_, nullptr, recipe->container, temporaryPath.c_str()) < 0)
        return Result::failed(request_.path, std::string("no ") + recipe->container + " support in FFmpeg");
    if (Result result = openVideo(*recipe); !result) return result;
    if (Result result = openAudio(*recipe); !result) return result;
    if (Result result = convertSound(); !result) return result;

    packet_ = av_packet_alloc();
    if (packet_ == nullptr) return Result::failed(request_.path, "out of memory");
    if (const int error = avio_open(&format_->pb, temporaryPath.c_str(), AVIO_FLAG_WRITE); error < 0)
        return Result::failed(request_.path, ffmpegError(error));
    if (const int error = avformat_write_header(format_, nullptr); error < 0)
        return Result::failed(request_.path, ffmpegError(error));

    // Before frame 1 the demo's screen is blank.
    if (originFrame_ == 0) {
        std::fill(console_.begin(), console_.end(), uint8_t(0));
        if (Result result = encodePicture(0); !result) return result;
    }
    return Result::ok();
}

Result VideoOutput::openVideo(const Recipe& recipe) {
    const AVCodec* codec = avcodec_find_encoder_by_name(recipe.videoEncoder);
    if (codec == nullptr)
        return Result::failed(request_.path, std::string("FFmpeg has no ") + recipe.videoEncoder + " encoder");
    video_ = avcodec_alloc_context3(codec);
    if (video_ == nullptr) return Result::failed(request_.path, "out of memory");
    video_->width = width_;
    video_->height = height_;
    video_->pix_fmt = recipe.pixels;
    video_->time_base = AVRational{1, FramesPerSecond};
    video_->framerate = AVRational{FramesPerSecond, 1};
    video_->gop_size = 10 * FramesPerSecond;
    video_->sample_aspect_ratio = AVRational{1, 1};
    video_->thread_count = 0;  // as many as the encoder finds useful; FFmpeg's default is one
    if (recipe.pixels == AV_PIX_FMT_YUV420P) {
        // What libswscale's default RGB conversion produces: BT.601, limited range.
        video_->colorspace = AVCOL_SPC_SMPTE170M;
        video_->color_primaries = AVCOL_PRI_SMPTE170M;
        video_->color_trc = AVCOL_TRC_SMPTE170M;
        video_->color_range = AVCOL_RANGE_MPEG;
    }
    // Fast settings: the whole demo should encode faster than it plays.
    if (std::strcmp(recipe.videoEncoder, "libx264") == 0) {
        // Enlarged pictures are 4 to 16 times the work for no more detail.
        av_opt_set(video_->priv_data, "preset", request_.scale == 1 ? "veryfast" : "superfast", 0);
        av_opt_set(video_->priv_data, "crf", "18", 0);
    } else if (std::strcmp(recipe.videoEncoder, "libvpx-vp9") == 0) {
        video_->bit_rate = 0;  // constant quality
        av_opt_set(video_->priv_data, "crf", "24", 0);
        av_opt_set(video_->priv_data, "deadline", "realtime", 0);
        av_opt_set(video_->priv_data, "cpu-used", "8", 0);
        av_opt_set(video_->priv_data, "row-mt", "1", 0);
    } else {
        av_opt_set(video_->priv_data, "level", "3", 0);
        av_opt_set(video_->priv_data, "slices", "4", 0);
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int error = avcodec_open2(video_, codec, nullptr); error < 0)
        return Result::failed(request_.path, std::string(recipe.videoEncoder) + ": " + ffmpegError(error));

    videoStream_ = avformat_new_stream(format_, nullptr);
    if (videoStream_ == nullptr) return Result::failed(request_.path, "out of memory");
    videoStream_->time_base = video_->time_base;
    videoStream_->avg_frame_rate = video_->framerate;
    avcodec_parameters_from_context(videoStream_->codecpar, video_);

    picture_ = av_frame_alloc();
    if (picture_ == nullptr) return Result::failed(request_.path, "out of memory");
    picture_->format = video_->pix_fmt;
    picture_->width = width_;
    picture_->height = height_;
    if (av_frame_get_buffer(picture_, 0) < 0) return Result::failed(request_.path, "out of memory");
    scaler_ = sws_getContext(width_, height_, AV_PIX_FMT_RGB24, width_, height_, recipe.pixels,
                             SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return Result::failed(request_.path, "libswscale cannot convert the pictures");
    return Result::ok();
}

Result VideoOutput::openAudio(const Recipe& recipe) {
    const AVCodec* codec = avcodec_find_encoder_by_name(recipe.audioEncoder);
    if (codec == nullptr)
        return Result::failed(request_.path, std::string("FFmpeg has no ") + recipe.audioEncoder + " encoder");
    audio_ = avcodec_alloc_context3(codec);
    if (audio_ == nullptr) return Result::failed(request_.path, "out of memory");
    // The mix's own rate where the codec takes it; Opus only knows 48 kHz.
    int rate = MixRate;
    if (codec->supported_samplerates != nullptr) {
        rate = 0;
        for (const int* r = codec->supported_samplerates; *r != 0; ++r)
            if (*r == MixRate || (rate != MixRate && *r == 48000)) rate = *r;
        if (rate == 0) rate = codec->supported_samplerates[0];
    }
    audio_->sample_rate = rate;
    audio_->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&audio_->ch_layout, &stereo);
    audio_->bit_rate = recipe.audioBitRate;
    audio_->time_base = AVRational{1, rate};
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int error = avcodec_open2(audio_, codec, nullptr); error < 0)
        return Result::failed(request_.path, std::string(recipe.audioEncoder) + ": " + ffmpegError(error));
    soundFrameSize_ = audio_->frame_size > 0 ? audio_->frame_size : 4096;
    // Matroska keeps no negative times: the muxer would shift every stream by
    // the encoder's priming (6.5 ms for Opus), the pictures included. Starting
    // the sound's times there keeps the first picture and the first sample
    // both at 0; the file's codec delay takes the priming off again.
    if (std::strcmp(recipe.container, "mp4") != 0) soundPtsOffset_ = audio_->initial_padding;

    audioStream_ = avformat_new_stream(format_, nullptr);
    if (audioStream_ == nullptr) return Result::failed(request_.path, "out of memory");
    audioStream_->time_base = audio_->time_base;
    avcodec_parameters_from_context(audioStream_->codecpar, audio_);

    sound_ = av_frame_alloc();
    if (sound_ == nullptr) return Result::failed(request_.path, "out of memory");
    return Result::ok();
}

// The mix from the video's start to the end of the last frame, in the
// encoder's format and rate, exactly as long as the pictures last (silence
// past the end of the soundtrack).
Result VideoOutput::convertSound() {
    const int64_t startMs = originFrame_ * FramePeriod;
    const int64_t endMs = int64_t(request_.lastFrame + 1) * FramePeriod;
    const int64_t inFirst = startMs * MixRate / 1000;
    const int64_t inCount = (endMs - startMs) * MixRate / 1000;
    std::vector<int16_t> input(size_t(inCount) * 2, 0);
    const int64_t available = int64_t(request_.mix.size() / 2) - inFirst;
    if (available > 0)
        std::copy_n(request_.mix.begin() + inFirst * 2, size_t(std::min(available, inCount)) * 2, input.begin());

    const int rate = audio_->sample_rate;
    soundSamples_ = (endMs - startMs) * rate / 1000;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;  // not const: swr_alloc_set_opts2 takes it so
    SwrContext* resampler = nullptr;
    if (swr_alloc_set_opts2(&resampler, &stereo, audio_->sample_fmt, rate, &stereo, AV_SAMPLE_FMT_S16, MixRate, 0,
                            nullptr) < 0 ||
        swr_init(resampler) < 0) {
        swr_free(&resampler);
        return Result::failed(request_.path, "libswresample cannot convert the sound");
    }
    const bool planar = av_sample_fmt_is_planar(audio_->sample_fmt) != 0;
    const size_t sampleBytes = size_t(av_get_bytes_per_sample(audio_->sample_fmt)) * (planar ? 1 : 2);
    // Room for the converted sound plus what the resampler holds back.
    const int64_t room = soundSamples_ + 4096;
    soundPlanes_.assign(planar ? 2 : 1, std::vector<uint8_t>(size_t(room) * sampleBytes, 0));
    uint8_t* out[2] = {soundPlanes_[0].data(), planar ? soundPlanes_[1].data() : nullptr};
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(input.data())};
    int64_t produced = 0;
    const int first = swr_convert(resampler, out, int(room), in, int(inCount));
    if (first >= 0) {
        produced = first;
        for (auto& o : out)
            if (o != nullptr) o += size_t(first) * sampleBytes;
        const int rest = swr_convert(resampler, out, int(room - produced), nullptr, 0);
        if (rest >= 0) produced += rest;
    }
    swr_free(&resampler);
    if (first < 0) return Result::failed(request_.path, "libswresample cannot convert the sound");
    (void)produced;  // anything short of soundSamples_ stays silent
    return Result::ok();
}

Result VideoOutput::encodePicture(int64_t pts) {
    const size_t scale = size_t(request_.scale);
    const size_t row = size_t(width_) * 3;
    for (size_t y = 0; y < ScreenshotHeight; ++y) {
        const uint8_t* from = console_.data() + y * ScreenshotWidth * 3;
        uint8_t* to = scaled_.data() + y * scale * row;
        for (size_t x = 0; x < size_t(width_); ++x) {
            const uint8_t* pixel = from + x / scale * 3;
            to[x * 3] = pixel[0], to[x * 3 + 1] = pixel[1], to[x * 3 + 2] = pixel[2];
        }
        for (size_t copy = 1; copy < scale; ++copy) std::memcpy(to + copy * row, to, row);
    }
    if (av_frame_make_writable(picture_) < 0) return Result::failed(request_.path, "out of memory");
    const uint8_t* source[1] = {scaled_.data()};
    const int stride[1] = {width_ * 3};
    sws_scale(scaler_, source, stride, 0, height_, picture_->data, picture_->linesize);
    picture_->pts = pts;
    if (const int error = avcodec_send_frame(video_, picture_); error < 0)
        return Result::failed(request_.path, ffmpegError(error));
    if (Result result = drain(video_, videoStream_); !result) return result;
    // Sound up to the end of this picture, so the file stays interleaved.
    return sendSoundUntil((pts + 1) * audio_->sample_rate / FramesPerSecond, false);
}

Result VideoOutput::sendSoundUntil(int64_t endSample, bool last) {
    endSample = std::min(endSample, soundSamples_);
    const bool planar = soundPlanes_.size() == 2;
    const size_t sampleBytes = size_t(av_get_bytes_per_sample(audio_->sample_fmt)) * (planar ? 1 : 2);
    while (soundSent_ < endSample) {
        const int64_t count = std::min<int64_t>(soundFrameSize_, endSample - soundSent_);
        if (count < soundFrameSize_ && !last) break;
        av_frame_unref(sound_);
        sound_->format = audio_->sample_fmt;
        sound_->sample_rate = audio_->sample_rate;
        av_channel_layout_copy(&sound_->ch_layout, &audio_->ch_layout);
        sound_->nb_samples = int(count);
        if (av_frame_get_buffer(sound_, 0) < 0) return Result::failed(request_.path, "out of memory");
        for (size_t p = 0; p < soundPlanes_.size(); ++p)
            std::memcpy(sound_->data[p], soundPlanes_[p].data() + size_t(soundSent_) * sampleBytes,
                        size_t(count) * sampleBytes);
        sound_->pts = soundSent_ + soundPtsOffset_;
        soundSent_ += count;
        if (const int error = avcodec_send_frame(audio_, sound_); error < 0)
            return Result::failed(request_.path, ffmpegError(error));
        if (Result result = drain(audio_, audioStream_); !result) return result;
    }
    return Result::ok();
}

Result VideoOutput::drain(AVCodecContext* codec, AVStream* stream) {
    for (;;) {
        const int status = avcodec_receive_packet(codec, packet_);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return Result::ok();
        if (status < 0) return Result::failed(request_.path, ffmpegError(status));
        av_packet_rescale_ts(packet_, codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        if (const int error = av_interleaved_write_frame(format_, packet_); error < 0)
            return Result::failed(request_.path, ffmpegError(error));
    }
}

void VideoOutput::showProgress(bool last) {
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - shown_ < std::chrono::milliseconds(250)) return;
    shown_ = now;
    const int total = request_.lastFrame - request_.firstFrame + 1;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const double left = done_ > 0 ? elapsed / done_ * (total - done_) : 0.0;
    std::fprintf(stderr, "\rhazelglow-render: frame %d of %d, %s elapsed, %s left  ", done_, total,
                 clockText(elapsed).c_str(), clockText(left).c_str());
    if (last) std::fputc('\n', stderr);
    std::fflush(stderr);
}

Result VideoOutput::frame(int n, int32_t) {
    drawCellsAsConsole(CellBuffer, console_.data());
    if (Result result = encodePicture(n - originFrame_); !result) return result;
    ++done_;
    if (progress_) showProgress(false);
    return Result::ok();
}

Result VideoOutput::finish() {
    if (Result result = sendSoundUntil(soundSamples_, true); !result) return result;
    for (auto [codec, stream] : {std::pair{video_, videoStream_}, std::pair{audio_, audioStream_}}) {
        avcodec_send_frame(codec, nullptr);
        if (Result result = drain(codec, stream); !result) return result;
    }
    if (const int error = av_write_trailer(format_); error < 0)
        return Result::failed(request_.path, ffmpegError(error));
    if (const int error = avio_closep(&format_->pb); error < 0)
        return Result::failed(request_.path, ffmpegError(error));
    if (Result committed = file_->commit(); !committed) return committed;
    if (progress_) showProgress(true);
    return Result::ok();
}

}  // namespace

bool videoOutputAvailable() {
    return true;
}

Result makeVideoOutput(VideoRequest request, std::unique_ptr<FrameOutput>& output) {
    av_log_set_level(AV_LOG_ERROR);
    auto video = std::make_unique<VideoOutput>(std::move(request));
    if (Result result = video->open(); !result) return result;
    output = std::move(video);
    return Result::ok();
}
