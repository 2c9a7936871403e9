// The audio library on Windows (ACM's MP3 codec, the offline output) against
// the Linux build's decode of the same clips: same length, sample 0 aligned,
// within a few LSB.
#include "platform/bass.h"
#include "platform/bassoutput.h"
#include "platform/windows/mp3decoder.h"
#include "platform/mp3info.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned char> readFile(const std::string& name) {
    std::ifstream in(std::string(QVO_BINARY_DIR) + "/testdata/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::int16_t> samplesOf(const std::vector<unsigned char>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Largest difference between a and b shifted by `shift` sample frames.
int largestDifference(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b, int shift) {
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::ptrdiff_t j = std::ptrdiff_t(i) + 2 * shift;
        if (j < 0 || j >= std::ptrdiff_t(b.size())) continue;
        largest = std::max(largest, std::abs(int(a[i]) - int(b[std::size_t(j)])));
    }
    return largest;
}

struct Capture {
    std::vector<std::int16_t> samples;
    std::vector<BASS_DWORD> blockLengths;
};
Capture* capturing = nullptr;

void captureBlock(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    const auto* s = static_cast<const std::int16_t*>(buffer);
    capturing->samples.insert(capturing->samples.end(), s, s + length / 2);
    capturing->blockLengths.push_back(length);
}

// The clip played through the offline output, as the video mode captures it.
Capture playOffline(const std::vector<unsigned char>& clip) {
    Capture capture;
    capturing = &capture;
    bass::useOfflineOutput(true);
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr)) << bass::lastError();
    const HSTREAM stream = BASS_StreamCreateFile(1, clip.data(), 0, BASS_DWORD(clip.size()), 0);
    EXPECT_NE(stream, 0u) << bass::lastError();
    EXPECT_NE(BASS_ChannelSetDSP(stream, captureBlock, 0), 0u);
    BASS_Start();
    EXPECT_TRUE(BASS_StreamPlay(stream, 0, 0));
    while (BASS_ChannelIsActive(stream)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    BASS_Stop();
    BASS_StreamFree(stream);
    BASS_Free();
    bass::useOfflineOutput(false);
    capturing = nullptr;
    return capture;
}

class ClipDecode : public testing::TestWithParam<const char*> {};

TEST_P(ClipDecode, MatchesTheLinuxDecodeSampleForSample) {
    const std::string clip = GetParam();
    const std::vector<unsigned char> mp3 = readFile(clip + ".mp3");
    const std::vector<std::int16_t> reference = samplesOf(readFile(clip + ".raw"));
    ASSERT_FALSE(mp3.empty());
    ASSERT_GT(reference.size(), 44100u * 2 * 100);

    const Capture windows = playOffline(mp3);
    EXPECT_EQ(windows.samples.size(), reference.size()) << "sample frames differ";
    // Aligned: a few LSB apart in place, far apart one sample frame off.
    EXPECT_LE(largestDifference(windows.samples, reference, 0), 4);
    EXPECT_GT(largestDifference(windows.samples, reference, 1), 1000);
    EXPECT_GT(largestDifference(windows.samples, reference, -1), 1000);
    // Every block went through the DSP whole, the last one possibly short.
    ASSERT_FALSE(windows.blockLengths.empty());
    for (std::size_t i = 0; i + 1 < windows.blockLengths.size(); ++i)
        ASSERT_EQ(windows.blockLengths[i], BASS_DWORD(bass::blockFrames * 4)) << "block " << i;
}

INSTANTIATE_TEST_SUITE_P(BothClips, ClipDecode, testing::Values("marrowin", "tidewrangler"));

TEST(Mp3Info, ReadsTheLameTagOfOurClips) {
    const std::vector<unsigned char> mp3 = readFile("marrowin.mp3");
    mp3::Info info;
    ASSERT_TRUE(mp3::readInfo(mp3.data(), mp3.size(), info));
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_TRUE(info.hasLameTag);
    EXPECT_EQ(info.encoderDelay, 576);
    EXPECT_EQ(info.sampleFrames, std::int64_t(samplesOf(readFile("marrowin.raw")).size() / 2));
    EXPECT_EQ(info.audioOffset, info.firstFrameBytes);  // the Info frame is skipped, same size at CBR
}

// Without its Info frame the clip has no LAME tag: only the decoder's delay
// is cut, and the sound is the same from there on.
TEST(Mp3Decoder, AClipWithoutLameTagLosesOnlyTheDecoderDelay) {
    const std::vector<unsigned char> mp3 = readFile("marrowin.mp3");
    mp3::Info tagged;
    ASSERT_TRUE(mp3::readInfo(mp3.data(), mp3.size(), tagged));
    const std::vector<unsigned char> bare(mp3.begin() + std::ptrdiff_t(tagged.audioOffset), mp3.end());

    Mp3Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.open(bare.data(), bare.size(), 44100, &error)) << error;
    EXPECT_FALSE(decoder.info().hasLameTag);
    std::vector<std::int16_t> samples(std::size_t(tagged.frames * 1152 * 2));
    const int got = decoder.read(samples.data(), int(tagged.frames * 1152));
    EXPECT_EQ(got, tagged.frames * 1152 - mp3::decoderDelay);
    samples.resize(std::size_t(got) * 2);

    // Sample k of the gapless decode is sample k + encoder delay here.
    const std::vector<std::int16_t> reference = samplesOf(readFile("marrowin.raw"));
    const std::vector<std::int16_t> shifted(samples.begin() + 2 * tagged.encoderDelay, samples.end());
    EXPECT_LE(largestDifference(shifted, reference, 0), 4);
}

TEST(Mp3Decoder, RewindStartsAgainAtSampleZero) {
    const std::vector<unsigned char> mp3 = readFile("marrowin.mp3");
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(mp3.data(), mp3.size(), 44100, nullptr));
    std::vector<std::int16_t> first(44100 * 2), again(44100 * 2);
    ASSERT_EQ(decoder.read(first.data(), 44100), 44100);
    std::vector<std::int16_t> skip(44100 * 2);
    decoder.read(skip.data(), 44100);
    ASSERT_TRUE(decoder.rewind());
    ASSERT_EQ(decoder.read(again.data(), 44100), 44100);
    EXPECT_EQ(first, again);
}

TEST(Bass, RefusesWhatIsNoClip) {
    const std::vector<unsigned char> noise(4096, 0x5A);
    const std::vector<unsigned char> mp3 = readFile("marrowin.mp3");
    struct Case {
        const char* name;
        const void* data;
        BASS_DWORD size;
        const char* reason;
    } cases[] = {
        {"not an MP3", noise.data(), BASS_DWORD(noise.size()), "not an MP3 stream"},
        {"missing from the pack", nullptr, BASS_DWORD(-1), "no data"},
        {"empty", mp3.data(), 0, "no data"},
        {"cut inside its first frame", mp3.data(), 300, "not an MP3 stream"},
    };
    bass::useOfflineOutput(true);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    for (const Case& c : cases) {
        EXPECT_EQ(BASS_StreamCreateFile(1, c.data, 0, c.size, 0), 0u) << c.name;
        EXPECT_NE(std::string(bass::lastError()).find(c.reason), std::string::npos)
            << c.name << ": " << bass::lastError();
    }
    BASS_Free();
    bass::useOfflineOutput(false);
}

}  // namespace
