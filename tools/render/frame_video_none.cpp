// --video in a build without FFmpeg's libraries (the Windows cross build).
#include "tools/render/frame_video.h"

bool videoOutputAvailable() {
    return false;
}

Result makeVideoOutput(VideoRequest, std::unique_ptr<FrameOutput>&) {
    return Result::failed("--video", "not available: this hazelglow-render was built without FFmpeg's libraries");
}
