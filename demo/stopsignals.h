// SIGINT and SIGTERM as a wish to stop the run. The handlers only note the
// wish; the run looks at it where it can end cleanly: in real time the
// pre-roll and every frame end it as the window's close request does (exit
// code 0), in video mode the frame loop stops and the file is completed.
//
// Installed before any library starts: SDL installs its own handlers only
// where a signal is still at its default, so ours stay in place. Each handler
// is one-shot, so a second Ctrl-C ends a run that hangs the ordinary way.
#pragma once

void catchStopSignals();
bool stopRequested();
