#include "tools/synth/voices.h"

#include <cmath>

namespace synth {
namespace {

// Fills `frames` stereo frames from a mono generator placed at the note's pan.
template <typename Gen>
Stereo mono(const Note& n, double seconds, Gen gen) {
    Stereo out(toFrames(seconds));
    double gl, gr;
    panGains(n.pan, gl, gr);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double s = gen(double(i) / sampleRate) * n.velocity;
        out.left[i] = float(s * gl);
        out.right[i] = float(s * gr);
    }
    return out;
}

double decay(double t, double tau) { return std::exp(-t / tau); }

// exp(-t / tau) for t = 0, 1/rate, 2/rate, ...: one multiplication per
// sample instead of an exp(), for the envelopes of the busiest voices.
class Decay {
public:
    explicit Decay(double tau) : step(std::exp(-1.0 / (tau * sampleRate))) {}
    double next() {
        const double v = value;
        value *= step;
        return v;
    }

private:
    double value = 1.0;
    double step;
};

// A short linear fade over the last milliseconds so no voice ends on a click.
double tailFade(double t, double length, double fade = 0.01) {
    return t > length - fade ? std::fmax(0.0, (length - t) / fade) : 1.0;
}

// The note's length chokes the drum, as on a drum machine: a kick that is
// followed closely by the next one stops in time instead of smearing into it.
Stereo kick(const Note& n, Rng& rng, bool soft) {
    const double length = std::fmin(soft ? 0.45 : 0.3, n.length > 0.0 ? n.length : 1.0);
    const double fade = std::fmin(0.04, 0.5 * length);
    const double drive = soft ? 1.2 : 2.0, normal = 1.0 / std::tanh(drive);
    Decay sweep(soft ? 0.04 : 0.014), body(soft ? 0.2 : 0.15), snap(0.0018);
    double phase = 0.0;
    return mono(n, length, [&](double t) {
        const double hz = soft ? 42.0 + 70.0 * sweep.next() : 48.0 + 120.0 * sweep.next();
        phase += hz / sampleRate;
        const double attack = std::fmin(1.0, t / 0.0006);
        const double tone = std::tanh(drive * sineCycles(phase)) * normal;
        const double click = soft ? 0.0 : 0.22 * rng.noise() * snap.next();
        return (tone * attack * body.next() + click) * tailFade(t, length, fade);
    });
}

Stereo clap(const Note& n, Rng& rng) {
    Svf filter;
    return mono(n, 0.4, [&](double t) {
        double env = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double u = t - 0.011 * k;
            if (u >= 0.0) env += decay(u, 0.0035);
        }
        if (t >= 0.022) env += 0.55 * decay(t - 0.022, 0.1);
        const double x = filter.process(rng.noise(), 1250.0, 0.35).band * 2.2;
        return x * env * tailFade(t, 0.4);
    });
}

Stereo snare(const Note& n, Rng& rng) {
    Svf filter;
    double phase = 0.0;
    return mono(n, 0.35, [&](double t) {
        phase += (175.0 + 30.0 * decay(t, 0.02)) / sampleRate;
        const double body = 0.55 * sineCycles(phase) * decay(t, 0.05);
        const double noise = filter.process(rng.noise(), 1800.0, 0.1).high * decay(t, 0.11 * (0.5 + n.tone));
        return (body + 0.7 * noise) * std::fmin(1.0, t / 0.0008) * tailFade(t, 0.35);
    });
}

Stereo rim(const Note& n, Rng& rng) {
    Svf filter;
    Oscillator osc;
    return mono(n, 0.08, [&](double t) {
        const double tone = 0.6 * osc.sine(1650.0) + 0.5 * filter.process(rng.noise(), 2600.0, 0.6).band;
        return tone * decay(t, 0.011) * tailFade(t, 0.08);
    });
}

// Hats mix filtered noise with a cluster of inharmonic square waves, which
// gives the metallic ring that plain noise lacks.
Stereo hat(const Note& n, Rng& rng, double tau, double length) {
    static const double metal[] = {263.0, 400.0, 421.0, 531.0, 588.0, 800.0};
    Oscillator oscs[6];
    Svf high, band;
    Decay env(tau);
    return mono(n, length, [&](double t) {
        double ring = 0.0;
        for (int k = 0; k < 6; ++k) ring += oscs[k].pulse(metal[k] * 3.1);
        const double x = 0.6 * rng.noise() + 0.08 * ring;
        const double shaped = high.process(x, 7000.0 + 2500.0 * n.tone, 0.2).high;
        const double y = band.process(shaped, 10500.0, 0.3).band * 0.5 + shaped * 0.6;
        return y * env.next() * std::fmin(1.0, t / 0.0005) * tailFade(t, length);
    });
}

Stereo shaker(const Note& n, Rng& rng) {
    Svf filter;
    return mono(n, 0.12, [&](double t) {
        const double env = std::fmin(1.0, t / 0.012) * decay(t, 0.035);
        return filter.process(rng.noise(), 6500.0, 0.3).band * 1.2 * env * tailFade(t, 0.12);
    });
}

// Independent noise per channel, so the cymbal is wide instead of centred.
Stereo crash(const Note& n, Rng& rng) {
    const double length = std::fmax(2.5, n.length);
    Stereo out(toFrames(length));
    Rng other(rng.nextBits());
    Svf l1, r1, l2, r2;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / sampleRate;
        const double env = std::fmin(1.0, t / 0.002) * decay(t, 0.9) * tailFade(t, length, 0.3) * n.velocity;
        const double l = l1.process(rng.noise(), 3800.0, 0.1).high;
        const double r = r1.process(other.noise(), 3800.0, 0.1).high;
        out.left[i] = float((l + 0.5 * l2.process(l, 8000.0, 0.5).band) * env * 0.6);
        out.right[i] = float((r + 0.5 * r2.process(r, 8000.0, 0.5).band) * env * 0.6);
    }
    return out;
}

// Filtered noise rising in pitch and level across the note: a build-up.
Stereo riser(const Note& n, Rng& rng) {
    const double held = std::fmax(0.1, n.length);
    Svf filter;
    return mono(n, held + 0.05, [&](double t) {
        const double progress = std::fmin(1.0, t / held);
        const double cutoff = 300.0 * std::pow(30.0, progress);
        const double env = progress * progress * tailFade(t, held + 0.05, 0.05);
        return filter.process(rng.noise(), cutoff, 0.7).band * 1.6 * env;
    });
}

// A whip-crack: a noise burst and a fast falling tone.
Stereo snap(const Note& n, Rng& rng) {
    Svf filter;
    double phase = 0.0;
    return mono(n, 0.6, [&](double t) {
        phase += (250.0 + 2200.0 * decay(t, 0.03)) / sampleRate;
        const double crack = filter.process(rng.noise(), 1600.0, 0.2).high * decay(t, 0.018);
        const double whip = 0.5 * sineCycles(phase) * decay(t, 0.06);
        return (crack + whip) * std::fmin(1.0, t / 0.0005) * tailFade(t, 0.6, 0.05);
    });
}

Stereo bass(const Note& n, Rng& rng) {
    const double hz = midiToHz(n.pitch);
    const Adsr env{0.003, 0.09, 0.65, 0.03};
    Oscillator a(double(rng.nextBits() & 1023) / 1024.0), b(0.5);
    Svf filter;
    Decay sweep(0.07);
    return mono(n, env.length(n.length), [&](double t) {
        const double x = 0.6 * a.saw(hz) + 0.5 * b.pulse(hz * 1.004, 0.4);
        const double cutoff = 110.0 + 2400.0 * n.tone * sweep.next();
        return filter.process(x, cutoff, 0.35).low * env.level(t, n.length);
    });
}

Stereo subBass(const Note& n, Rng&) {
    const double hz = midiToHz(n.pitch);
    const Adsr env{0.02, 0.2, 0.85, 0.25};
    Oscillator osc;
    return mono(n, env.length(n.length), [&](double t) {
        const double s = osc.sine(hz);
        return (s + 0.18 * s * s * s + 0.1 * n.tone * sineCycles(2.0 * hz * t)) * env.level(t, n.length);
    });
}

// Three detuned saws spread across the stereo field, low-passed; the swell
// variant opens its filter with its slow envelope.
Stereo pad(const Note& n, Rng& rng, bool swell) {
    const double hz = midiToHz(n.pitch);
    const Adsr env = swell ? Adsr{1.8, 2.5, 0.55, 1.6} : Adsr{0.35, 0.6, 0.8, 0.9};
    const double detune[3] = {0.9953, 1.0, 1.0047};
    const double spread[3] = {-0.7, 0.0, 0.7};
    Oscillator osc[3] = {Oscillator(double(rng.nextBits() % 1000) / 1000.0),
                         Oscillator(double(rng.nextBits() % 1000) / 1000.0),
                         Oscillator(double(rng.nextBits() % 1000) / 1000.0)};
    Svf fl, fr;
    double gl[3], gr[3];
    for (int k = 0; k < 3; ++k) panGains(std::fmax(-1.0, std::fmin(1.0, spread[k] + n.pan)), gl[k], gr[k]);
    const double lfoRate = 0.17 + 0.05 * double(rng.nextBits() % 100) / 100.0;
    Stereo out(toFrames(env.length(n.length)));
    double lfo = 0.0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / sampleRate;
        const double level = env.level(t, n.length);
        double l = 0.0, r = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double s = osc[k].saw(hz * detune[k]);
            l += s * gl[k];
            r += s * gr[k];
        }
        if (i % Svf::controlStep == 0) lfo = 180.0 * sineCycles(lfoRate * t);
        const double cutoff = swell ? 250.0 + 3800.0 * n.tone * level + lfo * 0.5
                                    : 500.0 + 2600.0 * n.tone + lfo;
        out.left[i] = float(fl.process(l, cutoff, 0.15).low * level * n.velocity * 0.45);
        out.right[i] = float(fr.process(r, cutoff, 0.15).low * level * n.velocity * 0.45);
    }
    return out;
}

// Vibrato that fades in after the attack, as a player would add it.
double vibrato(double t, double depth) {
    const double fadeIn = std::fmin(1.0, std::fmax(0.0, (t - 0.2) / 0.3));
    return 1.0 + depth * fadeIn * sineCycles(5.5 * t);
}

Stereo lead(const Note& n, Rng&) {
    const double hz = midiToHz(n.pitch);
    const Adsr env{0.008, 0.2, 0.75, 0.12};
    Oscillator a, b(0.3);
    Svf filter;
    return mono(n, env.length(n.length), [&](double t) {
        const double f = hz * vibrato(t, 0.004);
        const double x = 0.55 * a.saw(f) + 0.4 * b.pulse(f * 1.005, 0.3);
        const double cutoff = 900.0 + 3600.0 * n.tone * (0.45 + 0.55 * decay(t, 0.25));
        return filter.process(x, cutoff, 0.25).low * env.level(t, n.length);
    });
}

Stereo flute(const Note& n, Rng& rng) {
    const double hz = midiToHz(n.pitch);
    const Adsr env{0.07, 0.2, 0.85, 0.25};
    Oscillator a, b;
    Svf breath;
    return mono(n, env.length(n.length), [&](double t) {
        const double f = hz * vibrato(t, 0.005);
        const double air = breath.process(rng.noise(), hz * 2.0, 0.6).band;
        return (0.8 * a.sine(f) + 0.12 * b.sine(2.0 * f) + 0.08 * n.tone * air) * env.level(t, n.length);
    });
}

Stereo arp(const Note& n, Rng&) {
    const double hz = midiToHz(n.pitch);
    const double length = n.length + 0.25;
    Oscillator osc;
    Svf filter;
    Decay sweep(0.06), env(0.2), release(0.04);
    return mono(n, length, [&](double t) {
        const double cutoff = 350.0 + 5200.0 * n.tone * sweep.next();
        const double gate = t < n.length ? 1.0 : release.next();
        return filter.process(osc.pulse(hz, 0.5), cutoff, 0.3).low * env.next() * gate *
               std::fmin(1.0, t / 0.002) * tailFade(t, length);
    });
}

// Two-operator FM, the classic electric-piano recipe: the modulation index
// decays faster than the tone, so the attack is bright and the body mellow.
Stereo keys(const Note& n, Rng&) {
    const double hz = midiToHz(n.pitch);
    const double length = n.length + 0.5;
    double carrier = 0.0, modulator = 0.0, tine = 0.0;  // in cycles
    Decay brightness(0.35), ping(0.02), env(1.4), release(0.12);
    return mono(n, length, [&](double t) {
        modulator += hz / sampleRate;
        tine += hz * 14.0 / sampleRate;
        const double index = 0.3 + 2.2 * n.tone * brightness.next();
        const double click = 0.3 * ping.next() * (t < 0.15 ? sineCycles(tine) : 0.0);
        const double phaseMod = (index * sineCycles(modulator) + click) / (2.0 * pi);
        carrier += hz / sampleRate;
        const double gate = t < n.length ? 1.0 : release.next();
        return sineCycles(carrier + phaseMod) * env.next() * gate * std::fmin(1.0, t / 0.002) *
               tailFade(t, length);
    });
}

Stereo stab(const Note& n, Rng&) {
    const double hz = midiToHz(n.pitch);
    Oscillator a, b(0.4);
    Svf filter;
    Decay sweep(0.12), env(0.16);
    return mono(n, 0.7, [&](double t) {
        const double x = 0.5 * a.saw(hz * 0.997) + 0.5 * b.saw(hz * 1.003);
        const double cutoff = 800.0 + 5000.0 * n.tone * sweep.next();
        return filter.process(x, cutoff, 0.3).low * env.next() * std::fmin(1.0, t / 0.002) *
               tailFade(t, 0.7, 0.05);
    });
}

}  // namespace

Stereo renderNote(Voice voice, const Note& note, std::uint32_t seed) {
    Rng rng(seed);
    switch (voice) {
    case Voice::Kick: return kick(note, rng, false);
    case Voice::SoftKick: return kick(note, rng, true);
    case Voice::Clap: return clap(note, rng);
    case Voice::Snare: return snare(note, rng);
    case Voice::Rim: return rim(note, rng);
    case Voice::ClosedHat: return hat(note, rng, 0.022, 0.09);
    case Voice::OpenHat: return hat(note, rng, 0.16, 0.45);
    case Voice::Shaker: return shaker(note, rng);
    case Voice::Crash: return crash(note, rng);
    case Voice::Riser: return riser(note, rng);
    case Voice::Snap: return snap(note, rng);
    case Voice::Bass: return bass(note, rng);
    case Voice::SubBass: return subBass(note, rng);
    case Voice::Pad: return pad(note, rng, false);
    case Voice::SwellPad: return pad(note, rng, true);
    case Voice::Lead: return lead(note, rng);
    case Voice::Flute: return flute(note, rng);
    case Voice::Arp: return arp(note, rng);
    case Voice::Keys: return keys(note, rng);
    case Voice::Stab: return stab(note, rng);
    case Voice::Count: break;
    }
    return Stereo();
}

}  // namespace synth
