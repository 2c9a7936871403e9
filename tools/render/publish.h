// qvo-render --publish: the timeline rendered frame by frame, as the video
// mode renders it, into an MP4 file ready for a video site (see
// platform/ffmpeg/mp4writer.h for the file, codecs/publishframe.h for the
// picture). The music is the main clip decoded through the audio library's
// offline output, the same samples the video mode captures, laid against
// the frames as the video mode lays them: frame k plays at k / fps and the
// sound from sample floor(k * 44100 / fps) on.
#pragma once

#include <string>

struct PublishRequest {
    std::string pack;
    std::string output;
    int frameRate = 60;
    int height = 2160;  // 2160: 3840x2160, each pixel 4x4; 1440: 2560x1440, 3x3
    // Seconds of the file's clock; the frames from round(from * fps) up to
    // round(to * fps) (the end when negative) are published, the timeline
    // still runs from its start.
    double from = 0, to = -1;
    int crf = -1;  // libx264's quality; negative: the measured default
    std::string preset;  // libx264's preset; empty: the default
};

// Frame sizes the request may ask for.
bool publishHeightValid(int height);

// Runs the request; the exit code: 0 done (or stopped by Ctrl-C with a
// playable file of the frames so far), 1 when the pack, the music or the
// file failed (said on standard error, no file left behind).
int publish(const PublishRequest& request);
