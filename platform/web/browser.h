// The page's side of the web backend (platform/web/library_web.js), called
// from the stand-ins. The calls marked "waits" give the browser its turn:
// they return once the page has answered, with the C++ stack kept (Asyncify).
#pragma once

#include <cstdint>

extern "C" {

// Shows the 640x480 RGBA picture (top row first) on the canvas.
void qvo_present(const void* rgba, int width, int height);
// Waits for the next animation frame (at most 100 ms).
void qvo_wait_frame();
// Shows a box in the page; waits for a button and returns IDOK, IDYES or IDNO.
int qvo_message_box(const char* text, const char* caption, unsigned type);
// The next input event of the page, 0 when there is none:
// kind << 16 | value, kinds below.
int qvo_next_event();
// The window's title and icon (32-bit ARGB pixels), its visibility, and
// the mouse cursor over the canvas.
void qvo_window_open(const char* title, const std::uint32_t* argbIcon, int iconSize);
void qvo_window_show(int visible);
void qvo_cursor_hidden(int hidden);
void qvo_keep_screen_awake(int awake);
void qvo_leave_full_screen();
// The run is over: stops the sound and tells the page.
void qvo_page_exit(int code);

// Web Audio. open: nonzero when an audio context runs at that rate. decode
// (waits): the MP3 image as 16-bit stereo sample frames in a malloc'ed
// block, null on failure (the reason in the page's log). play: starts the
// output, which pulls blocks through qvoAudioMix; stop ends it.
int qvo_audio_open(int rate);
std::int16_t* qvo_audio_decode(const void* data, int bytes, int* frames);
void qvo_audio_play();
void qvo_audio_stop();
}

namespace web {

enum EventKind { KeyDown = 1, KeyUp = 2, Activate = 3, Close = 4, MouseOver = 5 };

}  // namespace web
