// The AVI writer of video mode: one file with a compressed video stream and,
// with sound on, the music captured into a PCM stream in step with the frames.
//
//   VideoStream* avi = new VideoStream(instance, "quel varn ossa.avi", 640, 480,
//                                      soundEnabled, fps, 44100, 16);   // codec dialog
//   avi->attachFrameBuffer(frame24, &musicStream);  // before the music plays
//   each frame: avi->addFrame(progressPercent);     // sound up to the frame's end, then the frame
//               if (renderCancelled()) stop rendering;
//   delete avi;                                     // completes the file
//
// Frames are 24-bit, blue-green-red, rows top first; the file stores them
// bottom-up. Every platform failure ends the process through fail(). Until
// it is complete the file is written under a name of its own beside the
// final one (see partialName), which an earlier render never shares.
#pragma once

#include "platform/bass.h"
#include "platform/vfw.h"
#include "platform/win32.h"
#include "source/audiocapture.h"
#include "source/renderprogress.h"

#include <cstdint>
#include <string>

class VideoStream {
public:
    VideoStream(HINSTANCE instance, const char* fileName, int width, int height, bool audioEnabled, int frameRate,
                int sampleRate, int bitsPerSample);
    virtual ~VideoStream();

    // kind 1: one video frame from data; kind 3: the sound due up to the end
    // of the next frame, from data.
    virtual void write(const void* data, int kind);
    // progress: percent for the dialog, negative for none.
    virtual void addFrame(int progress);
    virtual void attachFrameBuffer(const std::uint8_t* frame, HSTREAM* hAudioStream);
    // Before the first frame: the frames the render will have. Uncompressed
    // frames that would pass the largest file written here (classic AVI on
    // Windows) are refused at once: a box names the size and what to do,
    // the file is removed, exit code 1.
    void expectFrames(int frames);
    virtual void waitForAudio();
    virtual std::uint8_t* getAudioBuffer();

    virtual void initAviLibrary();
    virtual void exitAviLibrary();
    [[noreturn]] virtual void fail(const char* message, int code);
    virtual void openFile(const char* fileName);
    virtual void closeFile();
    // The finished render takes its final name; false (and said why) when it
    // cannot, and the render keeps its partial name.
    bool publishFile();
    // After a failure: the unfinished render is closed and removed.
    void discardFile();
    virtual void createStreams();
    virtual void releaseStreams();
    virtual void setupCompression(const BITMAPINFO24* format);
    virtual const std::uint8_t* flipRows(const std::uint8_t* frame);

    int getSamplesWritten() const { return samplesWritten; }
    bool audioEnabled() const { return bAudioEnabled; }

private:
    void audioStep();
    void showProgress(int progress);

    PAVIFILE file = nullptr;
    PAVISTREAM videoStream = nullptr;
    PAVISTREAM compressedStream = nullptr;
    PAVISTREAM audioStream = nullptr;
    std::int32_t frameRate;
    std::int32_t width;
    std::int32_t height;
    std::int32_t framesWritten = 0;
    std::int32_t sampleRate;
    std::int32_t channels = 2;
    std::int32_t bitsPerSample;
    std::int32_t samplesWritten = 0;
    std::int32_t blockAlign = 0;
    bool bAudioEnabled;
    std::int32_t bytesTaken = 0;
    HSTREAM capturedChannel = 0;
    const std::uint8_t* frameBuffer = nullptr;
    std::string fileName;  // the name the render gets when it is complete
    std::string partName;  // the name it is written under until then
    bool fileWritten = false;  // the file exists on disk from the first write
    FOURCC codecHandler = 0;   // the codec the dialog chose
    ProgressLine progressLine;
};

// The name a render is written under until it is complete: beside the
// final one, with this process's id before the extension.
std::string partialName(const std::string& fileName);

// True once the user asked to stop the render: "Really?" confirmed in the
// progress window, or Ctrl-C. The frame loop ends, and deleting the writer
// completes the file with everything rendered so far.
bool renderCancelled();
