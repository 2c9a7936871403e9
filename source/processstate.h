// One home for the state a run leaves in the process. Every module declares
// its process-wide variables through PROCESS_STATE, which defines the
// variable and registers, from the same initial value, how to put it back;
// resetProcessState() puts back all of them, so one process can run the
// timeline any number of times and get the same frames.
//
//   PROCESS_STATE(std::int32_t, frameMark, 0);     // std::int32_t frameMark{0};
//   namespace { PROCESS_STATE(float, videoTime, 0.0f); }
//   using Slots = std::array<TitleImage*, 3>;      // arrays as std::array, no commas
//   PROCESS_STATE(Slots, titleImages);
//
// State that code builds (a table, a singleton) registers its own reset,
// naming what it covers, in an object whose name ends in "StateSlot":
//
//   const ProcessStateSlot errorsStateSlot{__FILE__, "exOpenFile exReadFile", [] { ... }};
//
// Objects the pointers refer to are forgotten, not freed: whoever created
// them owns them. tests/processstate_test.cpp fails for any writable global
// of the demo and engine libraries that no slot names.
#pragma once

#include <string>
#include <vector>

class ProcessStateSlot {
public:
    // file: the defining source (__FILE__); names: the variables covered,
    // separated by spaces.
    ProcessStateSlot(const char* file, const char* names, void (*reset)());
};

#define PROCESS_STATE(type, name, ...)     \
    type name{__VA_ARGS__};                \
    const ProcessStateSlot name##StateSlot { \
        __FILE__, #name, [] { name = decltype(name){__VA_ARGS__}; } }

// Every registered piece of state back to its value at process start.
void resetProcessState();

struct ProcessStateEntry {
    std::string module;  // source file name without folder and extension
    std::string name;
};
// One entry per variable covered, in registration order.
std::vector<ProcessStateEntry> processStateEntries();
