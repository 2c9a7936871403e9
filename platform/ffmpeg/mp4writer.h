// An MP4 file a video site takes as it is: H.264 (libx264, High profile,
// 4:2:0, BT.709 limited range, colour tags, square pixels) and AAC-LC
// stereo, the index at the front of the file.
//
//   mp4::Writer out;
//   if (!out.open(settings, why)) ...            // creates settings.path
//   each frame: fill out.planes() (Y, Cb, Cr) and out.strides(), then
//               out.writeAudio(pcm, n, why); out.writeFrame(why);
//   out.finish(why);                             // flushes, writes the index
//
// Every call returns false with the library's reason after a failure (a
// full disk, a path that cannot be written); the file is then unusable and
// it is the caller's to remove. The encoders' delays are the file's
// business: its first video frame and its first audio sample both play at
// time 0 (the AAC priming is cut by an edit list), and the audio ends where
// the last sample given ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace mp4 {

struct Settings {
    std::string path;
    std::string title;
    int width = 0, height = 0;  // even
    int frameRate = 60;
    int sampleRate = 44100;     // stereo, 16-bit samples given
    int audioBitRate = 320000;
    // libx264's own option values.
    std::string preset = "veryfast";
    std::string tune;      // empty: none
    int crf = 18;
    int chromaQpOffset = 0;
    // Pictures to fill, so that one can be filled while another is encoded
    // (mp4::ThreadedWriter).
    int pictures = 1;
};

class Writer {
public:
    Writer();
    ~Writer();  // closes a file that was not finished, leaving it as it is
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool open(const Settings& settings, std::string& why);
    // A picture's planes, writable until it goes to writeFrame; each call
    // may give new ones (the encoder may still hold the last).
    std::uint8_t* const* planes(int picture = 0);
    const int* strides(int picture = 0);
    bool writeFrame(int picture, std::string& why);
    bool writeFrame(std::string& why) { return writeFrame(0, why); }
    // Interleaved stereo samples, appended to what came before.
    bool writeAudio(const std::int16_t* samples, int sampleFrames, std::string& why);
    bool finish(std::string& why);

    std::int64_t framesWritten() const;
    std::int64_t samplesWritten() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace mp4
