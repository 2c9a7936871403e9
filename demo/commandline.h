// Command-line keywords and the credits box.
//
// Every test looks for its keyword anywhere in the text, ignoring the case of
// ASCII letters; there are no words or separators ("novideo" asks for video).
#pragma once

extern bool soundEnabled;      // false once a sound-off word is found
extern bool videoMode;         // "video": render into the AVI file
extern bool alternateMusic;    // "hollowmere": the other clip, not synced
extern float videoFrameRate;   // the "fps" number, 40 by default

bool wantsSound(const char* commandLine);
bool wantsVideo(const char* commandLine);
bool wantsAlternateMusic(const char* commandLine);
bool wantsCredits(const char* commandLine);

// The first number anywhere in the text once "fps" is present, else 40.
// Numbers too large for an int saturate at INT_MAX.
int requestedFrameRate(const char* commandLine);

// The text of the credits box, and the box itself (blocks until dismissed).
const char* creditsText();
void showCredits();
