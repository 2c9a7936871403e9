// MP3 images decoded by libmpg123, straight from memory, for the audio
// library's mixer (platform/mixer):
//
//   auto decoder = std::make_unique<Mpg123Decoder>();
//   if (!decoder->open(data, size, 44100, &why)) ...   // 16-bit stereo at that rate
//   int got = decoder->read(pcm, bytes);               // fewer at the end
//
// Gapless: sample 0 is the first sample the encoder was given. Damage in the
// clip is passed over, and standard error says how many bytes were skipped
// and where; a clip that ends before its tagged length says so too.
#pragma once

#include "platform/mixer/bassmixer.h"

#include <mpg123.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Whatever mpg123 needs set up once before the first decoder; false (and
// why) when it cannot be.
bool prepareMpg123(std::string* why);

// The image the decoder pulls from, through callbacks, so that the mixer
// never waits on a file.
struct MemoryReader {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

class Mpg123Decoder : public bass::Decoder {
public:
    Mpg123Decoder() = default;
    ~Mpg123Decoder() override;
    Mpg123Decoder(const Mpg123Decoder&) = delete;
    Mpg123Decoder& operator=(const Mpg123Decoder&) = delete;

    // The image must stay valid while the decoder lives.
    bool open(const void* data, std::size_t size, int rate, std::string* why);
    int read(unsigned char* to, int bytes) override;
    bool rewind(std::string* why) override;
    bool skip(std::int64_t frames) override;

private:
    bool restarted(off_t at);
    bool decodeFrame();
    void noteSkippedInput();
    void sayEnd(int result);

    mpg123_handle* handle = nullptr;
    MemoryReader reader;
    long rate = 44100;
    const unsigned char* pending = nullptr;  // decoded, not yet read
    std::size_t pendingBytes = 0;
    off_t framesOut = 0;     // sample frames read so far
    off_t nextFrameAt = -1;  // where the next frame begins if nothing is skipped
    bool endSaid = false;
    std::int64_t taggedLength = -1;  // sample frames, from the clip's LAME tag
    std::int64_t lostToDamage = 0;   // sample frames, at most
};
