#include "tools/synth/tempo.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace synth {

TempoMap::TempoMap(std::vector<double> beatSeconds) : times(std::move(beatSeconds)) {
    if (times.size() < 2) throw std::invalid_argument("a tempo map needs two beats");
    for (std::size_t i = 1; i < times.size(); ++i)
        if (!(times[i] > times[i - 1])) throw std::invalid_argument("beat times must ascend");
    average = (times.back() - times.front()) / double(times.size() - 1);
}

TempoMap TempoMap::steady(double bpm, double firstBeatSeconds, int beats) {
    std::vector<double> t;
    for (int i = 0; i < beats; ++i) t.push_back(firstBeatSeconds + i * 60.0 / bpm);
    return TempoMap(std::move(t));
}

double TempoMap::seconds(double beat) const {
    const double last = double(times.size() - 1);
    if (beat <= 0.0) return times.front() + beat * average;
    if (beat >= last) return times.back() + (beat - last) * average;
    const std::size_t i = std::size_t(std::floor(beat));
    return times[i] + (beat - double(i)) * (times[i + 1] - times[i]);
}

double TempoMap::beatLength(double beat) const {
    if (beat < 0.0 || beat >= double(times.size() - 1)) return average;
    const std::size_t i = std::size_t(std::floor(beat));
    return times[i + 1] - times[i];
}

double TempoMap::beatAt(double t) const {
    if (t <= times.front()) return (t - times.front()) / average;
    if (t >= times.back()) return double(times.size() - 1) + (t - times.back()) / average;
    const std::size_t i = std::size_t(std::upper_bound(times.begin(), times.end(), t) - times.begin()) - 1;
    return double(i) + (t - times[i]) / (times[i + 1] - times[i]);
}

}  // namespace synth
