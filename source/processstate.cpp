#include "source/processstate.h"

#include <sstream>

namespace {

struct Slot {
    std::string module;
    std::string names;
    void (*reset)();
};

// Built on first use: slots register during static initialisation, in
// whatever order the units are initialised.
std::vector<Slot>& slots() {
    static std::vector<Slot> all;
    return all;
}

std::string moduleOf(const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    return base.substr(0, base.find('.'));
}

}  // namespace

ProcessStateSlot::ProcessStateSlot(const char* file, const char* names, void (*reset)()) {
    slots().push_back({moduleOf(file), names, reset});
}

void resetProcessState() {
    for (const Slot& slot : slots()) slot.reset();
}

std::vector<ProcessStateEntry> processStateEntries() {
    std::vector<ProcessStateEntry> entries;
    for (const Slot& slot : slots()) {
        std::istringstream names(slot.names);
        for (std::string name; names >> name;) entries.push_back({slot.module, name});
    }
    return entries;
}
