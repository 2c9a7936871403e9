// The program: the command line after the program name, joined with single
// spaces, is the text every keyword test reads.
#include "demo/entrypoint.h"

#include <string>

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return runDemo(commandLine.c_str());
}
