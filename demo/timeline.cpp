#include "demo/timeline.h"

#include "demo/clock.h"
#include "source/processstate.h"

PROCESS_STATE(CueList, titleCues);
PROCESS_STATE(CueList, curtainOpenCues);
PROCESS_STATE(CueList, letterboxCues);
PROCESS_STATE(CueList, barCues);
PROCESS_STATE(CueList, gridCues);
PROCESS_STATE(CueList, curtainResetCues);
PROCESS_STATE(CueList, streakCues);
PROCESS_STATE(CueList, flashCues);

PROCESS_STATE(Track, curtainSpeedTrack);
PROCESS_STATE(Track, letterboxSpeedTrack);
PROCESS_STATE(Track, curtainResetSpeedTrack);
PROCESS_STATE(TitleFades, titleFadeTracks);
PROCESS_STATE(Track, streakTrack);
PROCESS_STATE(Track, glowTrack);
PROCESS_STATE(Track, flashTrack);

namespace {

const std::int32_t titleCueData[] = {791, 6990, 13179, 19328, 24745, -1};
const std::int32_t curtainOpenCueData[] = {791, 6990, 13179, 19328, 24745, -1};
const std::int32_t letterboxCueData[] = {136500, -1};
const std::int32_t curtainResetCueData[] = {110750, 135750, -1};
const std::int32_t streakCueData[] = {74000, -1};
const std::int32_t flashCueData[] = {
    100624, 101335, 103689, 104450, 106803, 107584, 109878, 112992, 113743,
    116117, 116838, 119231, 120012, 122255, 125380, 126171, 128464, 129245,
    131589, 132330, 134663, 137758, 138549, 140912, 141673, 143997, 144768, -1};

// The beats. Entry 145 (8055) is out of order on purpose: it fires at the
// first query after 79664 and the list then waits for 80385.
const std::int32_t gridCueData[] = {
    24755, 25056, 25526, 25917, 26318, 26688, 27089, 27479, 27860, 28230,
    28671, 29032, 29402, 29813, 30213, 30604, 31014, 31425, 31826, 32196,
    32577, 32957, 33348, 33728, 34059, 34469, 34870, 35220, 35621, 35982,
    36352, 36743, 37133, 37524, 37934, 38345, 38715, 39106, 39477, 39907,
    40278, 40658, 41049, 41429, 41800, 42160, 42571, 42942, 43332, 43703,
    44133, 44504, 44894, 45285, 45535, 45605, 46016, 46396, 46777, 47238,
    47608, 47989, 48369, 48790, 49170, 49551, 49962, 50372, 50743, 51113,
    51494, 51894, 52265, 52645, 53046, 53447, 53847, 54218, 54628, 55079,
    55439, 55800, 56171, 56591, 56942, 57322, 57703, 58053, 58454, 58834,
    59235, 59626, 60036, 60397, 60777, 61148, 61508, 61909, 62319, 62700,
    63080, 63471, 63832, 64222, 64623, 65003, 65404, 65834, 66175, 66576,
    66976, 67347, 67707, 68088, 68518, 68909, 69269, 69640, 70030, 70431,
    70802, 71212, 71593, 71993, 72344, 72724, 73085, 73465, 73906, 74287,
    74717, 75118, 75468, 75849, 76199, 76580, 76970, 77371, 77782, 78182,
    78543, 78903, 79314, 79664, 8055, 80385, 80786, 81177, 81547, 81968,
    82348, 82739, 83139, 83520, 83920, 84341, 84722, 85092, 85453, 85823,
    86184, 86554, 86925, 87345, 87746, 88137, 88527, 88938, 89308, 89739,
    90129, 90570, 90961, 91341, 91712, 92072, 92433, 92813, 93194, 93564,
    93915, 94355, 94756, 95157, 95567, 95938, 96328, 96749, 97149, 97520,
    97891, 98261, 98612, 98952, 99252, 99573, 99913, 100264, 100624, 101035,
    101406, 101786, 102157, 102517, 102898, 103298, 103689, 104099, 104490, 104861,
    105241, 105632, 106002, 106363, 106773, 107144, 107564, 107935, 108336, 108696,
    109087, 109507, 109848, 110198, 110479, 110769, 111130, 111470, 111851, 112211,
    112592, 112972, 113313, 113733, 114104, 114494, 114815, 115205, 115596, 116007,
    116387, 116758, 117118, 117519, 117929, 118340, 118720, 119141, 119532, 119932,
    120303, 120693, 121034, 121464, 121845, 122206, 122636, 122987, 123377, 123768,
    124108, 124409, 124689, 125050, 125350, 125741, 126071, 126492, 126832, 127273,
    127703, 128094, 128485, 128865, 129236, 129596, 130017, 130367, 130778, 131168,
    131549, 131909, 132280, 132661, 133091, 133492, 133852, 134263, 134623, 135014,
    135394, 135775, 136156, 136556, 136947, 137327, 137728, 138128, 138509, 138900,
    139270, 139651, 140061, 140442, 140822, 141223, 141603, 142034, 142375, 142745,
    143136, 143526, 143907, 144317, 144678, 145088, 145469, 145860, 146240, 146631,
    147031, 147432, 147812, 148203, 148613,
    -1};

// The bars follow the beats from entry 33 (37133 ms) on.
constexpr int firstBarBeat = 32;

void setKeys(Track& track, std::initializer_list<TrackKey> keys) {
    track = Track();
    for (const TrackKey& key : keys) track.addKey(key.time, key.value);
}

}  // namespace

void Track::addKey(std::int32_t time, float value) {
    keys.push_back({time, value});
    keys.front().time = 0;
}

int Track::findSegment(std::int32_t t) const {
    if (keys.size() == 1) return 0;
    int count = 0;
    while (count < int(keys.size()) && keys[count].time <= t) ++count;
    return count == 0 ? 0 : count - 1;
}

double Track::valueAt(std::int32_t now) const {
    const std::int32_t t = msBetween(now, startTime);
    const int k = findSegment(t);
    const int j = k + 1 < int(keys.size()) ? k + 1 : k;
    const std::int32_t d = keys[j].time - keys[k].time;
    if (d == 0) return keys[j].value;
    const double slope = (double(keys[j].value) - double(keys[k].value)) / double(d);
    return double(keys[k].value) + slope * double(msBetween(t, keys[k].time));
}

CueList::CueList(const std::int32_t* terminated) {
    entries.clear();
    for (const std::int32_t* p = terminated; *p != -1; ++p) entries.push_back(*p);
    entries.push_back(-1);
}

bool CueList::fired() {
    if (finished()) return false;
    const std::int32_t elapsed = msBetween(demoTime(), syncStartTime);
    if (elapsed < entries[index]) return false;
    ++index;
    return true;
}

bool CueList::finished() const {
    return index >= std::int32_t(entries.size()) || entries[index] == -1;
}

void buildCueLists() {
    titleCues = CueList(titleCueData);
    curtainOpenCues = CueList(curtainOpenCueData);
    letterboxCues = CueList(letterboxCueData);
    barCues = CueList(gridCueData + firstBarBeat);
    gridCues = CueList(gridCueData);
    curtainResetCues = CueList(curtainResetCueData);
    streakCues = CueList(streakCueData);
    flashCues = CueList(flashCueData);
}

void buildTracks() {
    setKeys(curtainSpeedTrack, {{0, 0.42f}, {700, 0.1f}, {1400, 0.05f}, {2500, 0.03f}, {4500, 0.01f}});
    setKeys(letterboxSpeedTrack, {{0, 0.02f}});
    setKeys(curtainResetSpeedTrack, {{0, 0.47f}, {700, 0.1f}});
    for (Track& fade : titleFadeTracks) setKeys(fade, {{0, 0.1f}, {300, 0.1f}, {4000, 0.3f}});
    setKeys(streakTrack, {{0, 0.0f}, {6000, 25.0f}, {8000, 35.0f}, {13000, 0.0f}, {17000, 55.0f}, {25000, 0.0f}});
    setKeys(glowTrack, {{0, 0.0f}, {3000, 10.0f}, {4000, 20.0f}, {9000, -135.0f}, {15000, 25.0f}, {21000, -55.0f}});
    setKeys(flashTrack, {{0, 0.25f}, {1500, 0.0f}});
}
