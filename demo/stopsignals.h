// SIGINT, SIGTERM, SIGHUP and SIGQUIT as a wish to stop the run. The handlers only note the
// wish; the run looks at it where it can end cleanly: in real time the
// pre-roll and every frame end it as the window's close request does (exit
// code 0), in video mode the frame loop stops and the file is completed.
//
// Installed before any library starts: SDL installs its own handlers only
// where a signal is still at its default, so ours stay in place. A second
// request ends a run that hangs at once, exit code 130, and removes an
// unfinished render.
#pragma once

void catchStopSignals();
bool stopRequested();
