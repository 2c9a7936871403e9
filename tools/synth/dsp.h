// Small signal-processing building blocks shared by the voices and the mix.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace synth {

constexpr int sampleRate = 44100;
constexpr double pi = 3.14159265358979323846;

// A stereo signal, one float vector per channel.
struct Stereo {
    explicit Stereo(std::size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    std::size_t size() const { return left.size(); }
    std::vector<float> left, right;
};

inline std::size_t toFrames(double seconds) {
    return seconds <= 0.0 ? 0 : std::size_t(std::llround(seconds * sampleRate));
}

inline double midiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// sin(2 pi cycles) from a table with linear interpolation: accurate to
// about 3e-7, and far cheaper than std::sin for oscillators that run at
// audio rate across thousands of notes.
inline double sineCycles(double cycles) {
    constexpr int size = 4096;
    static const std::vector<double> table = [] {
        std::vector<double> t(size + 1);
        for (int i = 0; i <= size; ++i) t[std::size_t(i)] = std::sin(2.0 * pi * i / size);
        return t;
    }();
    double x = (cycles - std::floor(cycles)) * size;
    if (x >= size) x = 0.0;  // a tiny negative phase rounds up to a whole cycle
    const int i = int(x);
    const double f = x - i;
    return table[std::size_t(i)] + f * (table[std::size_t(i) + 1] - table[std::size_t(i)]);
}

// xorshift32: a fixed generator, so every build renders the same noise.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    std::uint32_t nextBits() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [-1, 1).
    double noise() { return double(nextBits()) / 2147483648.0 - 1.0; }

private:
    std::uint32_t state;
};

// Topology-preserving state-variable filter: stays stable while its cutoff
// is swept, which the filter envelopes rely on. tune() costs a tan(), so
// swept filters retune at control rate (every controlStep samples).
class Svf {
public:
    struct Out {
        double low, band, high;
    };
    void tune(double cutoffHz, double resonance) {
        cutoffHz = std::fmin(std::fmax(cutoffHz, 10.0), sampleRate * 0.45);
        g = std::tan(pi * cutoffHz / sampleRate);
        k = 2.0 - 2.0 * std::fmin(std::fmax(resonance, 0.0), 0.98);
        a1 = 1.0 / (1.0 + g * (g + k));
    }
    Out process(double x) {
        const double v3 = x - ic2;
        const double v1 = a1 * ic1 + g * a1 * v3;
        const double v2 = ic2 + g * v1;
        ic1 = 2.0 * v1 - ic1;
        ic2 = 2.0 * v2 - ic2;
        return {v2, v1, x - k * v1 - v2};
    }
    // Retunes on the first call and then every controlStep calls.
    Out process(double x, double cutoffHz, double resonance) {
        if (countdown-- == 0) {
            tune(cutoffHz, resonance);
            countdown = controlStep - 1;
        }
        return process(x);
    }
    static constexpr int controlStep = 16;

private:
    double ic1 = 0.0, ic2 = 0.0;
    double g = 0.0, k = 2.0, a1 = 1.0;
    int countdown = 0;
};

// Band-limited sawtooth and pulse by polyBLEP: cheap, and without the
// aliasing whine of naive waveforms in the upper octaves.
class Oscillator {
public:
    explicit Oscillator(double startPhase = 0.0) : phase(startPhase) {}
    double saw(double hz) {
        const double dt = hz / sampleRate;
        const double value = 2.0 * phase - 1.0 - blep(phase, dt);
        advance(dt);
        return value;
    }
    double pulse(double hz, double width = 0.5) {
        const double dt = hz / sampleRate;
        double shifted = phase + (1.0 - width);
        shifted -= std::floor(shifted);
        const double value = (phase < width ? 1.0 : -1.0) + blep(phase, dt) - blep(shifted, dt);
        advance(dt);
        return value - (2.0 * width - 1.0);  // centred: a narrow pulse has no DC either
    }
    double sine(double hz) {
        const double value = sineCycles(phase);
        advance(hz / sampleRate);
        return value;
    }

private:
    static double blep(double t, double dt) {
        if (t < dt) {
            t /= dt;
            return t + t - t * t - 1.0;
        }
        if (t > 1.0 - dt) {
            t = (t - 1.0) / dt;
            return t * t + t + t + 1.0;
        }
        return 0.0;
    }
    void advance(double dt) {
        phase += dt;
        phase -= std::floor(phase);
    }
    double phase;
};

// Attack-decay-sustain-release level at time t of a note held for `held` seconds.
struct Adsr {
    double attack, decay, sustain, release;
    double level(double t, double held) const {
        auto holding = [&](double u) {
            if (u < attack) return u / attack;
            if (u < attack + decay) return 1.0 - (1.0 - sustain) * (u - attack) / decay;
            return sustain;
        };
        if (t < held) return holding(t);
        const double fromRelease = t - held;
        if (fromRelease >= release) return 0.0;
        return holding(held) * (1.0 - fromRelease / release);
    }
    double length(double held) const { return held + release; }
};

// Equal-power pan: -1 left, 0 centre, +1 right.
inline void panGains(double pan, double& left, double& right) {
    const double angle = (pan + 1.0) * pi / 4.0;
    left = std::cos(angle);
    right = std::sin(angle);
}

}  // namespace synth
