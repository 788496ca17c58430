// hazelglow-render --video: the frames as the console shows them and the
// soundtrack's mix, encoded into one video file. The container and codecs
// follow the file's extension: .mp4 (H.264 + AAC), .webm (VP9 + Opus), .mkv
// (FFV1 + FLAC, both lossless).
//
// Timing: frame n is on screen from t = 40 n ms, 25 frames per second. From
// frame 1 the video starts at t = 0 with the blank screen the demo shows
// before its first frame; from a later frame N (--from) it starts at that
// frame, t = 40 N. The sound runs from the same start to the end of the last
// frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "effects/result.h"
#include "tools/render/frame_outputs.h"

struct VideoRequest {
    std::string path;
    int scale = 1;             // whole-number enlargement, nearest neighbour (1 to 4)
    int firstFrame = 1;        // the first frame the run hands over (--from)
    int lastFrame = 1;         // the last one (--frames)
    std::vector<int16_t> mix;  // the --wav mix: interleaved stereo 44 100 Hz from t = 0
};

// False in a build without FFmpeg's libraries.
bool videoOutputAvailable();

// Sets up the encoders (and a progress line when stderr is a terminal) and starts the file under a temporary name
// beside `path`; finish() gives it its name. A run that fails or is interrupted (SIGINT, SIGTERM) removes the temporary
// file, so nothing is ever left under `path` but a whole video.
Result makeVideoOutput(VideoRequest request, std::unique_ptr<FrameOutput>& output);
