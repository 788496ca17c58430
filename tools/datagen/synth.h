// Building blocks of the soundtrack synthesizer: band-limited oscillators,
// a state-variable filter, noise and small helpers. All double precision and
// all state explicit, so a render is the same on every run.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

namespace datagen::synth {

inline constexpr double Rate = 44100.0;
inline constexpr double Pi = std::numbers::pi;

inline double midiToHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Smooths the discontinuity of a naive waveform at phase 0 over one sample
// on each side (polyBLEP), which removes most of the aliasing.
inline double polyBlep(double phase, double increment) {
    if (phase < increment) {
        const double t = phase / increment;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - increment) {
        const double t = (phase - 1.0) / increment;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct Oscillator {
    double phase = 0.0;
    double increment = 0.0;  // cycles per sample

    void setFrequency(double hz) { increment = hz / Rate; }
    void advance() {
        phase += increment;
        if (phase >= 1.0) phase -= 1.0;
    }
    double saw() {
        const double value = 2.0 * phase - 1.0 - polyBlep(phase, increment);
        advance();
        return value;
    }
    double square() {
        double shifted = phase + 0.5;
        if (shifted >= 1.0) shifted -= 1.0;
        const double value = (phase < 0.5 ? 1.0 : -1.0) + polyBlep(phase, increment) - polyBlep(shifted, increment);
        advance();
        return value;
    }
    double sine() {
        const double value = std::sin(2.0 * Pi * phase);
        advance();
        return value;
    }
};

// Topology-preserving-transform state-variable filter (two poles).
struct Filter {
    double a1 = 0.0, a2 = 0.0, a3 = 0.0, k = 1.0;
    double ic1 = 0.0, ic2 = 0.0;
    double low = 0.0, band = 0.0, high = 0.0;

    void set(double cutoffHz, double q) {
        const double fc = std::fmin(std::fmax(cutoffHz, 20.0), Rate * 0.45);
        const double g = std::tan(Pi * fc / Rate);
        k = 1.0 / q;
        a1 = 1.0 / (1.0 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    void process(double input) {
        const double v3 = input - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0 * v1 - ic1;
        ic2 = 2.0 * v2 - ic2;
        low = v2;
        band = v1;
        high = input - k * v1 - v2;
    }
};

// White noise from a 32-bit xorshift generator with a fixed seed.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed != 0 ? seed : 0x9E3779B9u) {}
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state >> 8) * (2.0 / 16777216.0) - 1.0;
    }
};

// Equal-power pan: -1 left, 0 centre, +1 right.
struct Pan {
    double left, right;
    explicit Pan(double position)
        : left(std::cos((position + 1.0) * Pi * 0.25)), right(std::sin((position + 1.0) * Pi * 0.25)) {}
};

// Per-sample factor of an exponential decay with time constant `seconds`.
inline double decayFactor(double seconds) {
    return std::exp(-1.0 / (seconds * Rate));
}

}  // namespace datagen::synth
