// The program's running order: start-up, the frame loop for 152 seconds,
// shutdown. One catch-all around it turns any failure into one message box.
#pragma once

// The entry point proper. On the normal path it ends the process with exit
// code 0 and never returns; on the error path, after the box that says why,
// it returns 2.
int runDemo(const char* commandLine);

void initDemo();

// The five display settings of start-up: 640x480, 32 bits, platform 1/1.
void storeDisplaySettings();
void shutdownDemo();

// The three title images into their slots: ossa, quel, varn.
void loadTitles();
