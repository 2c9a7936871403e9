// Entry point. The start-up, frame loop and shutdown live in demo/entrypoint.
#include <string>

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    (void)commandLine;
    return 0;
}
