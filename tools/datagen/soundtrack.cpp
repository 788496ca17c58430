// The soundtrack "Hazel Glow": 120 BPM in A minor, eleven 16-second parts
// of 8 bars that follow the demo's scenes, all synthesized here.
//
// The beat grid starts 80 ms into the track (beat k at 0.08 + 0.5 k s): a
// sound device plays about 140 ms behind the mix, so the backbeats (beats 2
// and 4 of every bar) are heard 720 ms into each second of demo time, just
// when the whole-screen colour flashes fire. Those beats carry the accents.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "demo/pipeline.h"
#include "demo/schedule.h"
#include "tools/datagen/datagen.h"
#include "tools/datagen/synth.h"

namespace datagen {
namespace {

using namespace synth;

constexpr double GridStart = 0.080;
constexpr double BeatSeconds = 0.5;
constexpr int BarsPerScene = 8;
// The music follows the demo's timeline: one part per scene, each exactly
// one scene long, and the same fade-out, in seconds.
constexpr int Scenes = SceneCount;
static_assert(BarsPerScene * 4 * BeatSeconds * 1000.0 == SceneLength);
constexpr double FadeStart = FadeOutStart / 1000.0;
constexpr double FadeEnd = FadeOutEnd / 1000.0;
constexpr double TargetPeak = 0.8;

double beatTime(double beat) {
    return GridStart + beat * BeatSeconds;
}
double barTime(int bar, double beat = 0.0) {
    return beatTime(4.0 * bar + beat);
}
int64_t sampleAt(double seconds) {
    return static_cast<int64_t>(std::llround(seconds * Rate));
}

// Gain that takes the last 20 ms of a sound of `total` samples down to 0,
// so a decay cut short never clicks.
double tailFade(int64_t j, int64_t total) {
    const double left = static_cast<double>(total - j) / (0.02 * Rate);
    return left < 1.0 ? left : 1.0;
}

struct Sends {
    double delay = 0.0;
    double reverb = 0.0;
};

// The dry stereo mix and the mono sends to the delay and the reverb.
class Mixer {
public:
    explicit Mixer(int64_t length)
        : frames(length), dryL(size(length)), dryR(size(length)), delayIn(size(length)), reverbIn(size(length)) {}

    void add(int64_t i, double left, double right, const Sends& sends) {
        if (i < 0 || i >= frames) return;
        const auto k = static_cast<size_t>(i);
        dryL[k] += left;
        dryR[k] += right;
        const double mono = (left + right) * 0.5;
        delayIn[k] += mono * sends.delay;
        reverbIn[k] += mono * sends.reverb;
    }
    void addMono(int64_t i, double value, const Pan& pan, const Sends& sends) {
        add(i, value * pan.left, value * pan.right, sends);
    }

    const int64_t frames;
    std::vector<double> dryL, dryR, delayIn, reverbIn;

private:
    static size_t size(int64_t frames) { return static_cast<size_t>(frames); }
};

// ---------------------------------------------------------------- chords

struct Chord {
    int bass;                // root for the bass line
    std::array<int, 3> pad;  // close voicing around middle C
};

const Chord Am{45, {57, 60, 64}};
const Chord F{41, {57, 60, 65}};
const Chord C{48, {55, 60, 64}};
const Chord G{43, {55, 59, 62}};
const Chord Dm{38, {57, 62, 65}};
const Chord E{40, {56, 59, 64}};
const Chord Em{40, {55, 59, 64}};

// The main progression (i VI III VII i VI iv V) and the softer one of the
// breakdown.
const Chord MainProgression[BarsPerScene] = {Am, F, C, G, Am, F, Dm, E};
const Chord SoftProgression[BarsPerScene] = {F, G, Em, Am, F, G, E, E};

// Chord tone k of a chord, climbing through the octaves.
int chordTone(const Chord& chord, int k) {
    return chord.pad[static_cast<size_t>(k % 3)] + 12 * (k / 3);
}

// ---------------------------------------------------------------- melody

struct Note {
    int bar;
    double beat;
    double length;  // beats
    int pitch;
};

// The tune: a rising A minor arch answered by a falling line, over the main
// progression; the second half lands on the dominant to lead back home.
// clang-format off
const Note TuneA[] = {
    {0, 0, 1, 69}, {0, 1, 1, 72}, {0, 2, 1, 76}, {0, 3, 0.5, 74}, {0, 3.5, 0.5, 72},
    {1, 0, 3, 72}, {1, 3, 1, 69},
    {2, 0, 1, 67}, {2, 1, 1, 72}, {2, 2, 1, 76}, {2, 3, 1, 79},
    {3, 0, 1.5, 77}, {3, 1.5, 0.5, 76}, {3, 2, 2, 74},
    {4, 0, 1, 69}, {4, 1, 1, 72}, {4, 2, 1, 76}, {4, 3, 1, 81},
    {5, 0, 1.5, 79}, {5, 1.5, 0.5, 77}, {5, 2, 1, 76}, {5, 3, 1, 72},
    {6, 0, 1, 74}, {6, 1, 1, 77}, {6, 2, 1, 76}, {6, 3, 1, 74},
    {7, 0, 2, 71}, {7, 2, 1, 68}, {7, 3, 1, 64},
};
// clang-format on

// The variation: the same harmony, a stepwise descending answer.
// clang-format off
const Note TuneB[] = {
    {0, 0, 0.5, 76}, {0, 0.5, 0.5, 74}, {0, 1, 1, 72}, {0, 2, 0.5, 74}, {0, 2.5, 0.5, 72}, {0, 3, 1, 69},
    {1, 0, 2, 65}, {1, 2, 1, 69}, {1, 3, 1, 72},
    {2, 0, 0.5, 76}, {2, 0.5, 0.5, 74}, {2, 1, 1, 72}, {2, 2, 1, 67}, {2, 3, 1, 72},
    {3, 0, 3, 71}, {3, 3, 1, 74},
    {4, 0, 0.5, 76}, {4, 0.5, 0.5, 74}, {4, 1, 1, 72}, {4, 2, 0.5, 74}, {4, 2.5, 0.5, 72}, {4, 3, 1, 69},
    {5, 0, 1, 77}, {5, 1, 1, 76}, {5, 2, 1, 72}, {5, 3, 1, 69},
    {6, 0, 1, 74}, {6, 1, 0.5, 72}, {6, 1.5, 0.5, 71}, {6, 2, 2, 69},
    {7, 0, 2, 68}, {7, 2, 2, 71},
};
// clang-format on

// The harmony voice: the nearest tone of the chord at least a minor third
// below the tune, so the two voices never clash.
int harmonyBelow(int pitch, const Chord& chord) {
    for (int candidate = pitch - 3; candidate > pitch - 10; --candidate)
        for (int tone : chord.pad)
            if ((candidate - tone) % 12 == 0) return candidate;
    return pitch - 12;
}

// ---------------------------------------------------------------- instruments

// Pad: three detuned band-limited saws per note, spread left, centre and
// right, through a slowly breathing low-pass; slow attack and release.
void pad(Mixer& mix, const Chord& chord, double start, double length, double gain, double cutoff, double reverb) {
    const double attack = 0.45;
    const double release = 1.1;
    const int64_t first = sampleAt(start);
    const int64_t held = sampleAt(length);
    const int64_t total = held + sampleAt(release);
    const Sends sends{0.0, reverb};
    for (size_t n = 0; n < chord.pad.size(); ++n) {
        const double hz = midiToHz(chord.pad[n]);
        Oscillator osc[3];
        const double detune[3] = {-0.11, 0.0, 0.11};  // semitones
        for (int o = 0; o < 3; ++o) {
            osc[o].setFrequency(hz * std::pow(2.0, detune[o] / 12.0));
            osc[o].phase = 0.1 + 0.3 * o + 0.07 * static_cast<double>(n);
        }
        Filter left, right;
        for (int64_t j = 0; j < total; ++j) {
            const double t = static_cast<double>(j) / Rate;
            if (j % 32 == 0) {
                const double breathe = 1.0 + 0.25 * std::sin(2.0 * Pi * (0.21 * (start + t)) + static_cast<double>(n));
                left.set(cutoff * breathe, 0.7);
                right.set(cutoff * (2.0 - breathe), 0.7);
            }
            double env = t < attack ? t / attack : 1.0;
            if (j >= held) env *= 1.0 - static_cast<double>(j - held) / static_cast<double>(total - held);
            const double a = osc[0].saw();
            const double b = osc[1].saw();
            const double c = osc[2].saw();
            left.process(a * 0.8 + b * 0.5 + c * 0.2);
            right.process(a * 0.2 + b * 0.5 + c * 0.8);
            const double g = gain * env;
            mix.add(first + j, left.low * g, right.low * g, sends);
        }
    }
}

// Pluck: saw plus square with a snappy filter envelope (the arpeggios).
void pluck(Mixer& mix, int pitch, double start, double gain, double cutoff, double pan, const Sends& sends) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(0.4);
    Oscillator saw, square;
    saw.setFrequency(midiToHz(pitch));
    square.setFrequency(midiToHz(pitch) * 1.003);
    Filter filter;
    const double ampDecay = decayFactor(0.11);
    const double filterDecay = decayFactor(0.05);
    double amp = 1.0;
    double sweep = 1.0;
    const Pan position(pan);
    for (int64_t j = 0; j < total; ++j) {
        if (j % 16 == 0) filter.set(cutoff * (1.0 + 3.0 * sweep), 1.6);
        const double attack = j < 88 ? static_cast<double>(j) / 88.0 : 1.0;
        filter.process(saw.saw() * 0.6 + square.square() * 0.4);
        mix.addMono(first + j, filter.low * amp * attack * gain * tailFade(j, total), position, sends);
        amp *= ampDecay;
        sweep *= filterDecay;
    }
}

// Blip: a short square tone for the fast sixteenth-note figures.
void blip(Mixer& mix, int pitch, double start, double gain, double pan, const Sends& sends) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(0.22);
    Oscillator osc;
    osc.setFrequency(midiToHz(pitch));
    Filter filter;
    filter.set(3800.0, 0.9);
    const double decay = decayFactor(0.045);
    double amp = 1.0;
    const Pan position(pan);
    for (int64_t j = 0; j < total; ++j) {
        const double attack = j < 44 ? static_cast<double>(j) / 44.0 : 1.0;
        filter.process(osc.square());
        mix.addMono(first + j, filter.low * amp * attack * gain * tailFade(j, total), position, sends);
        amp *= decay;
    }
}

// Lead: two detuned saws and a square with delayed vibrato, a touch of
// filter envelope and an ADSR.
void lead(Mixer& mix, int pitch, double start, double length, double gain, double brightness, double pan) {
    const double attack = 0.012, decay = 0.25, sustain = 0.72, release = 0.16;
    const int64_t first = sampleAt(start);
    const int64_t held = sampleAt(length);
    const int64_t total = held + sampleAt(release);
    const double hz = midiToHz(pitch);
    Oscillator a, b, c;
    a.phase = 0.0;
    b.phase = 0.37;
    c.phase = 0.71;
    Filter filter;
    const Pan position(pan);
    const Sends sends{0.3, 0.22};
    double releaseFrom = 0.0;
    for (int64_t j = 0; j < total; ++j) {
        const double t = static_cast<double>(j) / Rate;
        if (j % 8 == 0) {
            const double depth = 0.18 * std::fmin(std::fmax((t - 0.22) / 0.3, 0.0), 1.0);
            const double vibrato = std::pow(2.0, depth * std::sin(2.0 * Pi * 5.4 * t) / 12.0);
            a.setFrequency(hz * vibrato * 1.0035);
            b.setFrequency(hz * vibrato / 1.0035);
            c.setFrequency(hz * vibrato);
            filter.set(brightness * (0.7 + 0.9 * std::exp(-t / 0.12)), 1.1);
        }
        double env;
        if (j < held) {
            env = t < attack ? t / attack : sustain + (1.0 - sustain) * std::exp(-(t - attack) / decay);
            releaseFrom = env;
        } else {
            env = releaseFrom * (1.0 - static_cast<double>(j - held) / static_cast<double>(total - held));
        }
        filter.process(a.saw() * 0.45 + b.saw() * 0.45 + c.square() * 0.3);
        mix.addMono(first + j, filter.low * env * gain, position, sends);
    }
}

// Bass: a saw through a plucked low-pass, with a sine an octave below.
void bass(Mixer& mix, int pitch, double start, double length, double gain, double bite) {
    const int64_t first = sampleAt(start);
    const int64_t held = sampleAt(length);
    const int64_t total = held + sampleAt(0.03);
    Oscillator saw, sub;
    saw.setFrequency(midiToHz(pitch));
    sub.setFrequency(midiToHz(pitch) * 0.5);
    Filter filter;
    const double filterDecay = decayFactor(0.09);
    double sweep = 1.0;
    const Pan centre(0.0);
    for (int64_t j = 0; j < total; ++j) {
        if (j % 16 == 0) filter.set(150.0 + bite * sweep, 1.3);
        double env = j < 176 ? static_cast<double>(j) / 176.0 : 1.0;
        if (j >= held) env *= 1.0 - static_cast<double>(j - held) / static_cast<double>(total - held);
        filter.process(saw.saw());
        mix.addMono(first + j, (filter.low * 0.75 + sub.sine() * 0.6) * env * gain, centre, Sends{});
        sweep *= filterDecay;
    }
}

// Kick: a sine falling from about 170 Hz to 46 Hz, with a click.
void kick(Mixer& mix, double start, double gain, Noise& noise) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(0.6);
    double phase = 0.0;
    const double ampDecay = decayFactor(0.22);
    const double pitchDecay = decayFactor(0.032);
    const double clickDecay = decayFactor(0.0025);
    double amp = 1.0, bend = 1.0, click = 1.0;
    const Pan centre(0.0);
    for (int64_t j = 0; j < total; ++j) {
        const double hz = 46.0 + 125.0 * bend;
        const double body = std::sin(2.0 * Pi * phase) * amp;
        phase += hz / Rate;
        if (phase >= 1.0) phase -= 1.0;
        const double attack = j < 22 ? static_cast<double>(j) / 22.0 : 1.0;
        const double value = std::tanh(1.4 * (body * attack + noise.next() * click * 0.3)) / std::tanh(1.4);
        mix.addMono(first + j, value * gain * tailFade(j, total), centre, Sends{});
        amp *= ampDecay;
        bend *= pitchDecay;
        click *= clickDecay;
    }
}

// Snare: two damped tones and a band of noise.
void snare(Mixer& mix, double start, double gain, Noise& noise) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(0.35);
    Oscillator low, high;
    low.setFrequency(185.0);
    high.setFrequency(330.0);
    Filter filter;
    filter.set(4200.0, 0.6);
    const double toneDecay = decayFactor(0.045);
    const double noiseDecay = decayFactor(0.1);
    double tone = 1.0, hiss = 1.0;
    const Pan centre(0.05);
    const Sends sends{0.0, 0.25};
    for (int64_t j = 0; j < total; ++j) {
        filter.process(noise.next());
        const double value =
            (low.sine() * 0.55 + high.sine() * 0.3) * tone + (filter.band * 1.1 + filter.high * 0.35) * hiss;
        mix.addMono(first + j, value * gain * tailFade(j, total), centre, sends);
        tone *= toneDecay;
        hiss *= noiseDecay;
    }
}

// Clap: three quick bursts of band-passed noise and a short tail.
void clap(Mixer& mix, double start, double gain, Noise& noise) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(0.3);
    Filter filter;
    filter.set(1200.0, 1.4);
    const Pan position(-0.1);
    const Sends sends{0.05, 0.35};
    for (int64_t j = 0; j < total; ++j) {
        const double t = static_cast<double>(j) / Rate;
        double env = std::exp(-t / 0.08) * 0.7;
        for (int burst = 0; burst < 3; ++burst) {
            const double since = t - 0.009 * burst;
            if (since >= 0.0) env = std::fmax(env, std::exp(-since / 0.004));
        }
        filter.process(noise.next());
        mix.addMono(first + j, filter.band * env * gain * 2.2 * tailFade(j, total), position, sends);
    }
}

// Hi-hat: high-passed noise, closed (short) or open (long).
void hat(Mixer& mix, double start, double gain, bool open, Noise& noise) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(open ? 0.4 : 0.09);
    Filter filter;
    filter.set(7500.0, 0.9);
    const double decay = decayFactor(open ? 0.13 : 0.022);
    double amp = 1.0;
    const Pan position(0.3);
    const Sends sends{0.0, open ? 0.1 : 0.0};
    for (int64_t j = 0; j < total; ++j) {
        filter.process(noise.next());
        mix.addMono(first + j, filter.high * amp * gain * tailFade(j, total), position, sends);
        amp *= decay;
    }
}

// Crash: wide, long, high-passed noise, a separate stream per side.
void crash(Mixer& mix, double start, double gain, Noise& noise) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(2.5);
    Filter left, right;
    left.set(5200.0, 0.7);
    right.set(5600.0, 0.7);
    const double decay = decayFactor(0.75);
    double amp = 1.0;
    const Sends sends{0.0, 0.2};
    for (int64_t j = 0; j < total; ++j) {
        left.process(noise.next());
        right.process(noise.next());
        const double g = amp * gain * tailFade(j, total);
        mix.add(first + j, left.high * g, right.high * g, sends);
        amp *= decay;
    }
}

// Stab: the chord, short and bright, on the backbeat.
void stab(Mixer& mix, const Chord& chord, double start, double gain) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(0.4);
    const Sends sends{0.25, 0.3};
    for (size_t n = 0; n < chord.pad.size(); ++n) {
        Oscillator osc;
        osc.setFrequency(midiToHz(chord.pad[n] + 12));
        osc.phase = 0.23 * static_cast<double>(n);
        Filter filter;
        const Pan position(-0.4 + 0.4 * static_cast<double>(n));
        const double ampDecay = decayFactor(0.12);
        const double sweepDecay = decayFactor(0.06);
        double amp = 1.0, sweep = 1.0;
        for (int64_t j = 0; j < total; ++j) {
            if (j % 16 == 0) filter.set(500.0 + 3500.0 * sweep, 1.2);
            const double attack = j < 66 ? static_cast<double>(j) / 66.0 : 1.0;
            filter.process(osc.saw());
            mix.addMono(first + j, filter.low * amp * attack * gain * tailFade(j, total), position, sends);
            amp *= ampDecay;
            sweep *= sweepDecay;
        }
    }
}

// Riser: noise through a band-pass sweeping up, swelling into the next part.
void riser(Mixer& mix, double start, double length, double gain, Noise& noise) {
    const int64_t first = sampleAt(start);
    const int64_t total = sampleAt(length);
    Filter left, right;
    const Sends sends{0.2, 0.3};
    for (int64_t j = 0; j < total; ++j) {
        const double x = static_cast<double>(j) / static_cast<double>(total);
        if (j % 32 == 0) {
            left.set(300.0 * std::pow(20.0, x), 2.0);
            right.set(320.0 * std::pow(20.0, x), 2.0);
        }
        left.process(noise.next());
        right.process(noise.next());
        const double env = x * x * gain;
        mix.add(first + j, left.band * env, right.band * env, sends);
    }
}

// ---------------------------------------------------------------- effects

// Ping-pong delay of a dotted eighth, damped in the loop.
void applyDelay(const std::vector<double>& in, std::vector<double>& outL, std::vector<double>& outR) {
    const size_t length = static_cast<size_t>(sampleAt(0.375));
    std::vector<double> lineL(length), lineR(length);
    const double feedback = 0.45;
    double dampL = 0.0, dampR = 0.0;
    size_t pos = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const double fromL = lineL[pos];
        const double fromR = lineR[pos];
        dampL += (fromL - dampL) * 0.45;
        dampR += (fromR - dampR) * 0.45;
        lineL[pos] = in[i] + dampR * feedback;
        lineR[pos] = dampL * feedback;
        outL[i] += fromL;
        outR[i] += fromR;
        if (++pos == length) pos = 0;
    }
}

// A small Schroeder-Moorer reverb: damped combs in parallel, then allpasses.
class ReverbChannel {
public:
    explicit ReverbChannel(int spread) {
        for (int length : {1557, 1617, 1491, 1422, 1277, 1356})
            combs.push_back(Comb{std::vector<double>(static_cast<size_t>(length + spread)), 0, 0.0});
        for (int length : {556, 441, 341})
            allpasses.push_back(Allpass{std::vector<double>(static_cast<size_t>(length + spread)), 0});
    }
    double process(double input) {
        double sum = 0.0;
        for (Comb& comb : combs) {
            const double out = comb.line[comb.pos];
            comb.damp = out * 0.7 + comb.damp * 0.3;
            comb.line[comb.pos] = input + comb.damp * 0.82;
            if (++comb.pos == comb.line.size()) comb.pos = 0;
            sum += out;
        }
        for (Allpass& allpass : allpasses) {
            const double delayed = allpass.line[allpass.pos];
            const double out = delayed - sum;
            allpass.line[allpass.pos] = sum + delayed * 0.5;
            if (++allpass.pos == allpass.line.size()) allpass.pos = 0;
            sum = out;
        }
        return sum;
    }

private:
    struct Comb {
        std::vector<double> line;
        size_t pos;
        double damp;
    };
    struct Allpass {
        std::vector<double> line;
        size_t pos;
    };
    std::vector<Comb> combs;
    std::vector<Allpass> allpasses;
};

void applyReverb(const std::vector<double>& in, std::vector<double>& outL, std::vector<double>& outR) {
    ReverbChannel left(0), right(23);
    for (size_t i = 0; i < in.size(); ++i) {
        const double x = in[i] * 0.05;
        outL[i] += left.process(x);
        outR[i] += right.process(x);
    }
}

// ---------------------------------------------------------------- the score

void drumsBar(Mixer& mix, int bar, int scene, int barInScene, Noise& noise) {
    const bool flashScene = scene == 2 || scene == 3 || scene == 4 || scene == 8;
    const bool lastBar = barInScene == BarsPerScene - 1;
    // Four on the floor, with a pickup before a new part.
    const bool peak = scene == 8 || scene == 9 || scene == 11;
    for (int beat = 0; beat < 4; ++beat) kick(mix, barTime(bar, beat), peak ? 0.95 : 0.82, noise);
    if (lastBar && scene != 11) kick(mix, barTime(bar, 3.5), 0.7, noise);
    if (scene == 2) return;
    // Backbeats: heard with the whole-screen flashes.
    for (int beat : {1, 3}) {
        snare(mix, barTime(bar, beat), flashScene ? 1.15 : 0.85, noise);
        if (flashScene || peak) clap(mix, barTime(bar, beat), flashScene ? 0.7 : 0.45, noise);
    }
    if (scene == 4 || scene >= 8) {
        snare(mix, barTime(bar, 3.75), 0.18, noise);  // ghost note
    }
    if (lastBar) {  // fill
        for (double beat : {3.25, 3.5, 3.75}) snare(mix, barTime(bar, beat), 0.25 + 0.1 * (beat - 3.0), noise);
    }
    const bool sixteenths = scene != 3;
    for (int step = 0; step < 16; ++step) {
        const double beat = step * 0.25;
        if (step % 4 == 2)
            hat(mix, barTime(bar, beat), peak ? 0.4 : 0.32, scene == 3 || step == 14, noise);
        else if (sixteenths)
            hat(mix, barTime(bar, beat), (step % 2 == 0 ? 0.2 : 0.12) * (peak ? 1.25 : 1.0), false, noise);
    }
}

void bassBar(Mixer& mix, int bar, const Chord& chord, double gain) {
    static const int Octave[8] = {0, 0, 12, 0, 0, 0, 12, 0};
    for (int eighth = 0; eighth < 8; ++eighth)
        bass(mix, chord.bass + Octave[eighth], barTime(bar, eighth * 0.5), 0.22, gain, 1500.0);
}

void arpeggioBar(Mixer& mix, int bar, const Chord& chord, double gain, double cutoffStart, double cutoffEnd) {
    static const int Climb[16] = {0, 1, 2, 3, 4, 5, 6, 7, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int step = 0; step < 16; ++step) {
        const double x = static_cast<double>(step) / 16.0;
        const double cutoff = cutoffStart * std::pow(cutoffEnd / cutoffStart, x);
        pluck(mix, chordTone(chord, Climb[step]) + 12, barTime(bar, step * 0.25), gain, cutoff,
              step % 2 == 0 ? -0.35 : 0.35, Sends{0.35, 0.15});
    }
}

void figureBar(Mixer& mix, int bar, const Chord& chord, double gain) {
    static const int Figure[16] = {0, 2, 4, 1, 3, 5, 2, 4, 6, 4, 5, 3, 4, 2, 3, 1};
    for (int step = 0; step < 16; ++step)
        blip(mix, chordTone(chord, Figure[step]) + 12, barTime(bar, step * 0.25), gain * (step % 4 == 0 ? 1.0 : 0.75),
             step % 2 == 0 ? -0.5 : 0.5, Sends{0.25, 0.1});
}

void tune(Mixer& mix, int firstBar, const Note* notes, size_t count, double gain, double brightness, int transpose,
          bool harmony) {
    for (size_t i = 0; i < count; ++i) {
        const Note& note = notes[i];
        const double start = barTime(firstBar + note.bar, note.beat);
        const double length = note.length * BeatSeconds * 0.92;
        lead(mix, note.pitch + transpose, start, length, gain, brightness, 0.0);
        if (harmony)
            lead(mix, harmonyBelow(note.pitch, MainProgression[note.bar]) + transpose, start, length, gain * 0.55,
                 brightness * 0.8, 0.35);
    }
}

template <size_t N>
void tune(Mixer& mix, int firstBar, const Note (&notes)[N], double gain, double brightness, int transpose = 0,
          bool harmony = false) {
    tune(mix, firstBar, notes, N, gain, brightness, transpose, harmony);
}

void scorePart(Mixer& mix, int scene, Noise& noise) {
    const int firstBar = (scene - 1) * BarsPerScene;
    const Chord* progression = scene == 6 ? SoftProgression : MainProgression;
    const bool drums = !(scene == 1 || scene == 6 || scene == 10);

    if (scene == 3 || scene == 5 || scene == 7 || scene == 8 || scene == 9 || scene == 11)
        crash(mix, barTime(firstBar), 0.35, noise);

    for (int b = 0; b < BarsPerScene; ++b) {
        const int bar = firstBar + b;
        const Chord& chord = progression[b];
        const double x = static_cast<double>(b) / BarsPerScene;
        switch (scene) {
        case 1:  // intro: the pad opens up with the picture, the arpeggio rises
            pad(mix, chord, barTime(bar), 2.0, 0.05 + 0.1 * x, 500.0 * std::pow(4.0, x), 0.4);
            arpeggioBar(mix, bar, chord, 0.05 + 0.1 * x, 250.0 * std::pow(12.0, x), 250.0 * std::pow(12.0, x + 0.125));
            break;
        case 2:  // kick and bass enter; stabs mark the backbeat
            pad(mix, chord, barTime(bar), 2.0, 0.13, 1500.0, 0.35);
            arpeggioBar(mix, bar, chord, 0.09, 2500.0, 2500.0);
            bassBar(mix, bar, chord, 0.38);
            stab(mix, chord, barTime(bar, 1), 0.35);
            stab(mix, chord, barTime(bar, 3), 0.35);
            break;
        case 3:  // full groove and the tune
        case 8:
        case 11:
            pad(mix, chord, barTime(bar), 2.0, 0.11, 1800.0, 0.3);
            bassBar(mix, bar, chord, 0.38);
            if (scene != 3) arpeggioBar(mix, bar, chord, 0.1, 2200.0, 2200.0);
            break;
        case 4:  // variation
        case 9:
            pad(mix, chord, barTime(bar), 2.0, 0.11, 1800.0, 0.3);
            bassBar(mix, bar, chord, 0.38);
            if (scene == 9)
                figureBar(mix, bar, chord, 0.14);
            else
                arpeggioBar(mix, bar, chord, 0.1, 2000.0, 2000.0);
            break;
        case 5:  // fast figures under the block flashes
        case 7:
            pad(mix, chord, barTime(bar), 2.0, 0.1, 1600.0, 0.3);
            bassBar(mix, bar, chord, 0.38);
            figureBar(mix, bar, chord, 0.2);
            break;
        case 6:   // breakdown: pads, a soft arpeggio, no drums
        case 10:  // calm
            pad(mix, chord, barTime(bar), 2.0, 0.11, 900.0 + 600.0 * x, 0.5);
            arpeggioBar(mix, bar, chord, 0.035, 900.0, 900.0);
            bass(mix, chord.bass, barTime(bar), 1.8, 0.22, 100.0);
            break;
        default:
            break;
        }
        if (drums) drumsBar(mix, bar, scene, b, noise);
    }

    switch (scene) {
    case 1:
        riser(mix, barTime(firstBar + 6), 4.0, 0.12, noise);
        break;
    case 3:
        tune(mix, firstBar, TuneA, 0.34, 2600.0);
        break;
    case 4:
        tune(mix, firstBar, TuneB, 0.34, 2800.0);
        break;
    case 6:
        riser(mix, barTime(firstBar + 6), 4.0, 0.12, noise);
        break;
    case 8:
        tune(mix, firstBar, TuneA, 0.34, 3400.0, 0, true);
        break;
    case 9:
        tune(mix, firstBar, TuneB, 0.34, 3400.0, 0, true);
        break;
    case 10:
        tune(mix, firstBar, TuneA, 0.17, 1200.0, -12);
        riser(mix, barTime(firstBar + 6), 4.0, 0.1, noise);
        break;
    case 11:
        tune(mix, firstBar, TuneA, 0.34, 3000.0, 0, true);
        // The last chord rings into the fade.
        pad(mix, Am, barTime(firstBar + BarsPerScene), 1.4, 0.12, 1500.0, 0.4);
        break;
    default:
        break;
    }
}

}  // namespace

std::vector<float> synthesizeSoundtrack() {
    Mixer mix(SoundtrackFrames);
    Noise noise(0x48617A65u);  // fixed seed: the same drums on every run
    for (int scene = 1; scene <= Scenes; ++scene) scorePart(mix, scene, noise);

    // Taken, not copied: two tracks of 63 MB each.
    std::vector<double> left = std::move(mix.dryL);
    std::vector<double> right = std::move(mix.dryR);
    applyDelay(mix.delayIn, left, right);
    applyReverb(mix.reverbIn, left, right);

    // The finale fades out from 170 s and everything is silent from 178 s.
    const int64_t fadeFirst = sampleAt(FadeStart);
    const int64_t fadeLast = sampleAt(FadeEnd);
    double peak = 0.0;
    for (int64_t i = 0; i < SoundtrackFrames; ++i) {
        double gain = 1.0;
        if (i >= fadeLast) {
            gain = 0.0;
        } else if (i > fadeFirst) {
            const double x = static_cast<double>(fadeLast - i) / static_cast<double>(fadeLast - fadeFirst);
            gain = x * x;
        }
        const auto k = static_cast<size_t>(i);
        left[k] *= gain;
        right[k] *= gain;
        peak = std::fmax(peak, std::fmax(std::fabs(left[k]), std::fabs(right[k])));
    }

    const double scale = peak > 0.0 ? TargetPeak / peak : 1.0;
    std::vector<float> interleaved(static_cast<size_t>(SoundtrackFrames) * 2);
    for (size_t k = 0; k < left.size(); ++k) {
        interleaved[2 * k] = static_cast<float>(left[k] * scale);
        interleaved[2 * k + 1] = static_cast<float>(right[k] * scale);
    }
    return interleaved;
}

}  // namespace datagen
