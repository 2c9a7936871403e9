// The audio stand-in's choices and seams that every backend shares.
#include "platform/bassoutput.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool wantOffline = false;
bass::CallFilter callFilter;

}  // namespace

namespace bass {

void useOfflineOutput(bool offline) { wantOffline = offline; }
bool offlineOutput() { return wantOffline; }

bool realtimeCaptureRequested() {
    const char* v = std::getenv("QVO_REALTIME_CAPTURE");
    return v && std::strcmp(v, "1") == 0;
}

std::string& lastErrorText() {
    static std::string text;
    return text;
}

const char* lastError() { return lastErrorText().c_str(); }

bool callAllowed(Call call) {
    if (!callFilter || callFilter(call)) return true;
    lastErrorText() = std::string(callName(call)) + " failed (injected)";
    return false;
}

CallFilter setCallFilter(CallFilter filter) {
    CallFilter old = std::move(callFilter);
    callFilter = std::move(filter);
    return old;
}

const char* callName(Call call) {
    switch (call) {
        case Call::Init: return "BASS_Init";
        case Call::StreamCreateFile: return "BASS_StreamCreateFile";
        case Call::Start: return "BASS_Start";
        case Call::StreamPlay: return "BASS_StreamPlay";
        case Call::Stop: return "BASS_Stop";
        case Call::StreamFree: return "BASS_StreamFree";
        case Call::Free: return "BASS_Free";
        case Call::ChannelSetDSP: return "BASS_ChannelSetDSP";
        case Call::ChannelIsActive: return "BASS_ChannelIsActive";
    }
    return "?";
}

}  // namespace bass
