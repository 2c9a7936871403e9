#include "source/settings.h"

#include "source/processstate.h"

namespace {

SettingsServer* instance = nullptr;
bool created = false;

// The store goes with a reset; the next getInstance builds an empty one.
const ProcessStateSlot storeStateSlot{__FILE__, "instance created", [] { delete instance; }};

}  // namespace

SettingsServer* SettingsServer::getInstance() {
    if (!created) {
        instance = new SettingsServer();
        created = true;
    }
    return instance;
}

SettingsServer::~SettingsServer() {
    // A later getInstance builds a fresh, empty store.
    if (instance == this) instance = nullptr;
    created = false;
}

void SettingsServer::setInt(std::int32_t key, std::int32_t value) { ints.emplace(key, value); }

std::int32_t SettingsServer::getInt(std::int32_t key) {
    auto found = ints.find(key);
    return found == ints.end() ? 0 : found->second;
}

void SettingsServer::setFloat(std::int32_t key, float value) { floats.emplace(key, value); }

float SettingsServer::getFloat(std::int32_t key) {
    auto found = floats.find(key);
    return found == floats.end() ? 0.0f : found->second;
}
