#include "tools/synth/mix.h"

#include <algorithm>
#include <cmath>

#include "tools/synth/voices.h"

namespace synth {
namespace {

struct Strip {
    double level;
    double reverb;  // send levels
    double echo;
    bool ducked;    // pumps under the kick
};

Strip stripFor(Voice v) {
    switch (v) {
    case Voice::Kick: return {0.8, 0.0, 0.0, false};
    case Voice::SoftKick: return {0.8, 0.05, 0.0, false};
    case Voice::Clap: return {0.42, 0.25, 0.0, false};
    case Voice::Snare: return {0.4, 0.2, 0.0, false};
    case Voice::Rim: return {0.25, 0.2, 0.15, false};
    case Voice::ClosedHat: return {0.55, 0.05, 0.0, false};
    case Voice::OpenHat: return {0.6, 0.1, 0.0, true};
    case Voice::Shaker: return {0.5, 0.1, 0.0, false};
    case Voice::Crash: return {0.22, 0.2, 0.0, false};
    case Voice::Riser: return {0.16, 0.3, 0.0, false};
    case Voice::Snap: return {0.5, 0.4, 0.2, false};
    case Voice::Bass: return {0.42, 0.0, 0.0, true};
    case Voice::SubBass: return {0.3, 0.0, 0.0, false};
    case Voice::Pad: return {0.2, 0.35, 0.0, true};
    case Voice::SwellPad: return {0.25, 0.45, 0.0, false};
    case Voice::Lead: return {0.34, 0.25, 0.3, true};
    case Voice::Flute: return {0.3, 0.4, 0.25, false};
    case Voice::Arp: return {0.22, 0.2, 0.35, true};
    case Voice::Keys: return {0.2, 0.3, 0.15, false};
    case Voice::Stab: return {0.14, 0.45, 0.3, false};
    case Voice::Count: break;
    }
    return {0.0, 0.0, 0.0, false};
}

// Gain that dips under each kick and recovers within a beat: the "pumping"
// that lets the kick through a dense mix. The dip starts a few milliseconds
// ahead of the kick (the score knows when it comes) so the kick's attack
// rises out of a cleared low end.
std::vector<float> duckingCurve(const std::vector<double>& kicks, std::size_t frames) {
    constexpr double depth = 0.75, lead = 0.006, recovery = 0.07;
    std::vector<float> gain(frames, 1.0f);
    const std::size_t ahead = toFrames(lead);
    for (double k : kicks) {
        const std::size_t at = toFrames(k);
        const std::size_t from = at > ahead ? at - ahead : 0;
        const std::size_t to = std::min(frames, at + toFrames(0.35));
        for (std::size_t i = from; i < to; ++i) {
            const double dip = i < at ? depth * double(i - from + 1) / double(at - from + 1)
                                      : depth * std::exp(-double(i - at) / sampleRate / recovery);
            gain[i] = std::min(gain[i], float(1.0 - dip));
        }
    }
    return gain;
}

// Freeverb-style reverb: parallel damped combs into series allpasses, with
// slightly different lengths per channel for width.
class Reverb {
public:
    explicit Reverb(int spread) {
        static const int combs[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        static const int allpasses[] = {556, 441, 341, 225};
        for (int n : combs) comb.push_back({std::vector<float>(std::size_t(n + spread), 0.0f), 0, 0.0f});
        for (int n : allpasses) allpass.push_back({std::vector<float>(std::size_t(n + spread), 0.0f), 0, 0.0f});
    }
    float process(float in) {
        float out = 0.0f;
        for (Line& c : comb) {
            const float y = c.buffer[c.pos];
            c.state = y * (1.0f - damping) + c.state * damping;
            c.buffer[c.pos] = in * 0.015f + c.state * feedback;
            if (++c.pos == c.buffer.size()) c.pos = 0;
            out += y;
        }
        for (Line& a : allpass) {
            const float y = a.buffer[a.pos];
            a.buffer[a.pos] = out + y * 0.5f;
            if (++a.pos == a.buffer.size()) a.pos = 0;
            out = y - out;
        }
        return out;
    }

private:
    struct Line {
        std::vector<float> buffer;
        std::size_t pos;
        float state;
    };
    static constexpr float feedback = 0.84f;
    static constexpr float damping = 0.3f;
    std::vector<Line> comb, allpass;
};

// Ping-pong echo with a darkening feedback path.
void echo(const Stereo& send, Stereo& out, double seconds, double feedback) {
    const std::size_t d = std::max<std::size_t>(1, toFrames(seconds));
    std::vector<float> l(d, 0.0f), r(d, 0.0f);
    float toneL = 0.0f, toneR = 0.0f;
    for (std::size_t i = 0; i < send.size(); ++i) {
        const std::size_t p = i % d;
        const float yl = l[p], yr = r[p];
        toneL += 0.5f * (yl - toneL);
        toneR += 0.5f * (yr - toneR);
        l[p] = send.left[i] + send.right[i] * 0.5f + toneR * float(feedback);
        r[p] = toneL * float(feedback);
        out.left[i] += yl;
        out.right[i] += yr;
    }
}

}  // namespace

Stereo mixScore(const Score& score) {
    const std::size_t frames = toFrames(score.length);
    Stereo dry(frames), reverbSend(frames), echoSend(frames);
    const std::vector<float> duck = duckingCurve(score.kickTimes, frames);

    for (int v = 0; v < voiceCount; ++v) {
        const Strip strip = stripFor(Voice(v));
        const std::vector<Note>& notes = score.parts[std::size_t(v)];
        for (std::size_t n = 0; n < notes.size(); ++n) {
            const std::uint32_t seed = std::uint32_t(v + 1) * 2654435761u ^ std::uint32_t(n * 40503u + 1u);
            const Stereo sound = renderNote(Voice(v), notes[n], seed);
            const std::size_t at = toFrames(notes[n].start);
            for (std::size_t i = 0; i < sound.size() && at + i < frames; ++i) {
                const std::size_t k = at + i;
                const double g = strip.level * (strip.ducked ? duck[k] : 1.0f);
                const double l = sound.left[i] * g, r = sound.right[i] * g;
                dry.left[k] += float(l);
                dry.right[k] += float(r);
                reverbSend.left[k] += float(l * strip.reverb);
                reverbSend.right[k] += float(r * strip.reverb);
                echoSend.left[k] += float(l * strip.echo);
                echoSend.right[k] += float(r * strip.echo);
            }
        }
    }

    Stereo& out = dry;
    echo(echoSend, out, score.echoSeconds, 0.4);
    Reverb left(0), right(23);
    for (std::size_t i = 0; i < frames; ++i) {
        const float m = reverbSend.left[i] + reverbSend.right[i];
        out.left[i] += left.process(m + reverbSend.left[i]) * 0.9f;
        out.right[i] += right.process(m + reverbSend.right[i]) * 0.9f;
    }

    // A gentle high-pass at a few hertz keeps the master free of DC offset.
    const float r = float(1.0 - 2.0 * pi * 5.0 / sampleRate);
    for (std::vector<float>* channel : {&out.left, &out.right}) {
        float previousIn = 0.0f, previousOut = 0.0f;
        for (float& x : *channel) {
            const float y = x - previousIn + r * previousOut;
            previousIn = x;
            previousOut = y;
            x = y;
        }
    }

    const std::size_t fadeFrom = toFrames(score.fadeStart), fadeTo = toFrames(score.fadeEnd);
    for (std::size_t i = fadeFrom; fadeTo > fadeFrom && i < frames; ++i) {
        const double x = i >= fadeTo ? 1.0 : double(i - fadeFrom) / double(fadeTo - fadeFrom);
        const float g = float(0.5 + 0.5 * std::cos(pi * x));
        out.left[i] *= g;
        out.right[i] *= g;
    }
    return out;
}

std::vector<std::int16_t> toPcm16(const Stereo& mix, double peak) {
    float highest = 0.0f;
    for (std::size_t i = 0; i < mix.size(); ++i)
        highest = std::max({highest, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double scale = highest > 0.0f ? peak * 32767.0 / highest : 0.0;
    std::vector<std::int16_t> pcm(mix.size() * 2);
    for (std::size_t i = 0; i < mix.size(); ++i) {
        pcm[2 * i] = std::int16_t(std::lround(mix.left[i] * scale));
        pcm[2 * i + 1] = std::int16_t(std::lround(mix.right[i] * scale));
    }
    return pcm;
}

}  // namespace synth
