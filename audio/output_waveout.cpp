// The device output on Windows: waveOut ("WinMM"), 16-bit stereo at 44 100 Hz,
// two blocks of 4096 frames queued on the device. The mixing thread sleeps on
// the device's buffer-done event, refills every block the device has handed
// back with renderBlock and queues it again. A device that refuses a block
// hands over to silent pacing, so the voices keep their clock.
#include <windows.h>
// mmsystem.h needs the types windows.h declares, so it comes second.
#include <mmsystem.h>

#include <string>

#include "audio/output.h"

namespace Aurix {

namespace {

constexpr uint32_t Channels = 2;
constexpr int BlockCount = 2;

struct WaveOutBackend : BoundOutput {
    using BoundOutput::BoundOutput;
    float* mixBuffer = nullptr;
    int16_t* blocks[BlockCount] = {};
    WAVEHDR headers[BlockCount] = {};
    HWAVEOUT device = nullptr;
    HANDLE bufferDoneEvent = nullptr;  // auto-reset; the device sets it when it hands a block back
    HANDLE exitEvent = nullptr;        // auto-reset; set to stop the thread
    uint32_t bufferFrames = 0;
    ThreadHandle* thread = nullptr;
    // What else exists, so a failed open releases exactly what it made.
    uint32_t rate = 0;
    bool prepared[BlockCount] = {};
};

std::string describe(const char* call, MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) text[0] = '\0';
    return std::string("WinMM ") + call + ": " + (text[0] != '\0' ? text : "error " + std::to_string(result));
}

std::string describeLastError(const char* call) {
    const DWORD error = GetLastError();
    return std::string(call) + " failed, error " + std::to_string(error);
}

bool exitRequested(const WaveOutBackend& backend, DWORD timeout) {
    return WaitForSingleObject(backend.exitEvent, timeout) == WAIT_OBJECT_0;
}

// After the device failed: pull renderBlock at the device's pace until told to stop.
void paceUntilExit(WaveOutBackend& backend) {
    const uint64_t start = monotonicNanoseconds();
    for (uint64_t block = 1;; ++block) {
        // From the start each time, so the pace never drifts.
        const uint64_t due = start + block * backend.bufferFrames * 1000000000u / backend.rate;
        for (uint64_t now = monotonicNanoseconds(); now < due; now = monotonicNanoseconds())
            if (exitRequested(backend, DWORD((due - now + 999999u) / 1000000u))) return;
        if (exitRequested(backend, 0)) return;
        backend.engine.renderBlock(backend.mixBuffer, backend.bufferFrames);
    }
}

void waveOutMixLoop(void* state) {
    auto& backend = *static_cast<WaveOutBackend*>(state);
    for (;;) {
        if (exitRequested(backend, 0)) return;
        for (int i = 0; i < BlockCount; ++i) {
            // The device clears WHDR_INQUEUE when it hands the block back.
            const volatile DWORD& flags = backend.headers[i].dwFlags;
            if ((flags & WHDR_INQUEUE) != 0) continue;
            backend.engine.renderBlock(backend.mixBuffer, backend.bufferFrames);
            const DWORD samples = backend.headers[i].dwBufferLength / 2;
            for (DWORD s = 0; s < samples; ++s) backend.blocks[i][s] = toPcm16(backend.mixBuffer[s]);
            const MMRESULT written = waveOutWrite(backend.device, &backend.headers[i], sizeof(WAVEHDR));
            if (written != MMSYSERR_NOERROR) {
                outputGaveUp(backend, describe("waveOutWrite", written) + " while playing");
                paceUntilExit(backend);
                return;
            }
        }
        WaitForSingleObject(backend.bufferDoneEvent, INFINITE);
    }
}

// Releases what exists; used by a failed open and by close. The thread goes
// first (both events set, so a thread asleep on the device wakes and sees the
// exit), then the binding, the device's blocks and the device. The events are
// closed last: the device signals its callback event up to waveOutClose.
void releaseWaveOut(BoundOutput& bound) {
    auto* backend = static_cast<WaveOutBackend*>(&bound);
    if (backend->thread != nullptr) {
        SetEvent(backend->exitEvent);
        SetEvent(backend->bufferDoneEvent);
        joinThread(backend->thread);
    }
    unbindOutput(*backend);
    if (backend->device != nullptr) waveOutReset(backend->device);
    for (int i = 0; i < BlockCount; ++i) {
        if (backend->prepared[i]) waveOutUnprepareHeader(backend->device, &backend->headers[i], sizeof(WAVEHDR));
        delete[] backend->blocks[i];
    }
    delete[] backend->mixBuffer;
    if (backend->device != nullptr) waveOutClose(backend->device);
    if (backend->exitEvent != nullptr) CloseHandle(backend->exitEvent);
    if (backend->bufferDoneEvent != nullptr) CloseHandle(backend->bufferDoneEvent);
    delete backend;
}

// waveOut says where the device is only in its own units, not counted here.
constexpr OutputBackend WaveOut{"WinMM", "WinMM", true, releaseWaveOut, nullptr};

}  // namespace

AudioStatus openWaveOut(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    auto* backend = new WaveOutBackend(engine, WaveOut);
    backend->bufferFrames = blockFrames;
    backend->rate = rate;

    backend->bufferDoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (backend->bufferDoneEvent == nullptr) return failOutput(*backend, describeLastError("CreateEventW"));
    backend->exitEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (backend->exitEvent == nullptr) return failOutput(*backend, describeLastError("CreateEventW"));

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = Channels;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = rate * Channels * 2;
    format.nBlockAlign = Channels * 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    const MMRESULT opened = waveOutOpen(&backend->device, WAVE_MAPPER, &format,
                                        reinterpret_cast<DWORD_PTR>(backend->bufferDoneEvent), 0, CALLBACK_EVENT);
    if (opened != MMSYSERR_NOERROR) {
        backend->device = nullptr;
        return failOutput(*backend, describe("waveOutOpen", opened));
    }

    backend->mixBuffer = new float[Channels * size_t(blockFrames)]();
    for (int i = 0; i < BlockCount; ++i) {
        backend->blocks[i] = new int16_t[Channels * size_t(blockFrames)]();
        WAVEHDR& header = backend->headers[i];
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(backend->blocks[i]);
        header.dwBufferLength = DWORD(Channels * blockFrames * 2);
        const MMRESULT prepared = waveOutPrepareHeader(backend->device, &header, sizeof(WAVEHDR));
        if (prepared != MMSYSERR_NOERROR) return failOutput(*backend, describe("waveOutPrepareHeader", prepared));
        backend->prepared[i] = true;
    }

    if (!bindOutput(*backend, rate, blockFrames)) return GeneralFailure;

    backend->thread = startThread(waveOutMixLoop, backend);
    if (backend->thread == nullptr) return failOutput(*backend, describeLastError("CreateThread"));
    return Success;
}

}  // namespace Aurix
