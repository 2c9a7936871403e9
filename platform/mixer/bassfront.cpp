// The BASS_* calls over the shared mixer and the platform's backend.
#include "platform/bass.h"

#include "platform/bassoutput.h"
#include "platform/mixer/bassmixer.h"

namespace {

bass::Mixer& mixer() {
    static auto* instance = new bass::Mixer(bass::platformBackend());  // lives to the end of the process
    return *instance;
}

bool allowed(bass::Call call) { return bass::callAllowed(call); }

}  // namespace

BASS_BOOL BASS_Init(int device, BASS_DWORD freq, BASS_DWORD /*flags*/, void* /*win*/) {
    if (!allowed(bass::Call::Init)) return 0;
    return mixer().init(device, freq, &bass::lastErrorText()) ? 1 : 0;
}

HSTREAM BASS_StreamCreateFile(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length,
                              BASS_DWORD /*flags*/) {
    if (!allowed(bass::Call::StreamCreateFile)) return 0;
    std::string& errorText = bass::lastErrorText();
    if (!mixer().initialised()) {
        errorText = "BASS_StreamCreateFile: not initialised";
        return 0;
    }
    if (!mem) {
        errorText = "BASS_StreamCreateFile: only memory images are supported";
        return 0;
    }
    // A clip missing from the pack arrives as null with size -1.
    if (file == nullptr || length == 0 || length == BASS_DWORD(-1)) {
        errorText = "BASS_StreamCreateFile: no data";
        return 0;
    }
    return mixer().createStream(static_cast<const unsigned char*>(file) + offset, length, &errorText);
}

BASS_BOOL BASS_Start() {
    if (!allowed(bass::Call::Start) || !mixer().initialised()) return 0;
    mixer().start();
    return 1;
}

BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL /*flush*/, BASS_DWORD /*flags*/) {
    if (!allowed(bass::Call::StreamPlay)) return 0;
    return mixer().play(handle, &bass::lastErrorText()) ? 1 : 0;
}

BASS_BOOL BASS_Stop() {
    if (!allowed(bass::Call::Stop) || !mixer().initialised()) return 0;
    mixer().stop();
    return 1;
}

void BASS_StreamFree(HSTREAM handle) {
    if (allowed(bass::Call::StreamFree)) mixer().freeStream(handle);
}

void BASS_Free() {
    if (allowed(bass::Call::Free)) mixer().freeAll();
}

HDSP BASS_ChannelSetDSP(BASS_DWORD handle, DSPPROC* proc, BASS_DWORD user) {
    if (!allowed(bass::Call::ChannelSetDSP)) return 0;
    return mixer().setDsp(handle, proc, user);
}

BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle) {
    if (!allowed(bass::Call::ChannelIsActive)) return 0;
    return mixer().isActive(handle) ? 1 : 0;
}

namespace bass {

double outputLatencySeconds() { return mixer().latencySeconds(); }
std::uint64_t decodedBytes(HSTREAM handle) { return mixer().decodedBytes(handle); }
double heardSeconds(HSTREAM handle) { return mixer().heardSeconds(handle); }

#ifndef _WIN32
void setDeviceClock(std::int64_t (*clock)()) { mixer().setClock(clock); }
#endif

}  // namespace bass
