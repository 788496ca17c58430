#include "demo/frame_log.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

FILE* frameLog = nullptr;
// A whole run (4 450 frames of about 45 bytes) fits: no write while frames run.
char logBuffer[1 << 18];

}  // namespace

void openFrameLog() {
    const char* path = std::getenv("HAZELGLOW_FRAME_LOG");
    if (path == nullptr || *path == '\0' || frameLog != nullptr) return;
    frameLog = std::fopen(path, "w");
    if (frameLog != nullptr) std::setvbuf(frameLog, logBuffer, _IOFBF, sizeof logBuffer);
}

void logFrame(int32_t t, uint64_t start, uint64_t late, uint32_t lead) {
    if (frameLog != nullptr)
        std::fprintf(frameLog, "frame %" PRId32 " %" PRIu64 " %" PRIu64 " %" PRIu32 "\n", t, start, late, lead);
}

void logClockShift(int32_t moved, int32_t total) {
    if (frameLog != nullptr) std::fprintf(frameLog, "shift %" PRId32 " %" PRId32 "\n", moved, total);
}

void closeFrameLog() {
    if (frameLog == nullptr) return;
    std::fclose(frameLog);
    frameLog = nullptr;
}
