#include "source/audiocapture.h"

#include "platform/win32.h"
#include "source/exceptionserver.h"
#include "source/processstate.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr std::int64_t kCaptureBytes = 100000000;
constexpr std::int64_t kSmallCaptureBytes = 35000000;

// Written by the hook on the mixing thread, read by the writer.
std::uint8_t* captureBuffer = nullptr;
std::int64_t captureCapacity = 0;
std::atomic<std::int32_t> captureOffset{0};
std::atomic<std::int32_t> delivered{0};
// The wait for sound sleeps until the hook has delivered more.
std::mutex deliveredMutex;
std::condition_variable deliveredMore;

void* callocate(std::size_t bytes) { return std::calloc(bytes, 1); }
void* (*allocateCapture)(std::size_t) = callocate;

HDSP realSetDSP(BASS_DWORD channel, DSPPROC* proc, BASS_DWORD user) { return BASS_ChannelSetDSP(channel, proc, user); }
BASS_DWORD realIsActive(BASS_DWORD channel) { return BASS_ChannelIsActive(channel); }
const videocapture::AudioSource realAudio{realSetDSP, realIsActive};
const videocapture::AudioSource* audioSource = &realAudio;

// The buffer is this module's own: a reset frees it, and the next writer
// allocates afresh. The mutex and the condition keep nothing of a run.
const ProcessStateSlot captureStateSlot{
    __FILE__,
    "captureBuffer captureCapacity captureOffset delivered deliveredMutex deliveredMore allocateCapture audioSource",
    [] {
        std::free(captureBuffer);
        captureBuffer = nullptr;
        captureCapacity = 0;
        captureOffset.store(0);
        delivered.store(0);
        allocateCapture = callocate;
        audioSource = &realAudio;
    }};

}  // namespace

void captureAudio(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    if (!buffer) return;
    const std::int32_t offset = captureOffset.load(std::memory_order_relaxed);  // only this hook writes it
    if (captureBuffer && offset < captureCapacity) {
        // Stop at the end of the buffer; what does not fit is dropped.
        const std::int64_t room = captureCapacity - offset;
        const std::int64_t n = std::int64_t(length) < room ? std::int64_t(length) : room;
        std::memcpy(captureBuffer + offset, buffer, std::size_t(n));
        captureOffset.store(offset + std::int32_t(n));
    }
    std::memset(buffer, 0, length);
    {
        std::lock_guard<std::mutex> lock(deliveredMutex);
        delivered.fetch_add(std::int32_t(length));
    }
    deliveredMore.notify_all();
}

namespace videocapture {

void obtainCaptureBuffer() {
    // A second writer in the same process starts a new capture in the same
    // buffer.
    if (captureBuffer) {
        std::memset(captureBuffer, 0, std::size_t(captureOffset.load()));
        captureOffset.store(0);
        delivered.store(0);
        return;
    }
    void* memory = nullptr;
    try {
        memory = allocateCapture(std::size_t(kCaptureBytes));
    } catch (...) {
        memory = nullptr;
    }
    if (memory) {
        captureBuffer = static_cast<std::uint8_t*>(memory);
        captureCapacity = kCaptureBytes;
        return;
    }
    int answer = MessageBoxA(nullptr,
                             "Your system doesn't seem to have enough memory for allocating soundbuffers.\n"
                             "Would you like to use a smaller buffer? (This might not work though :)\n",
                             "Oups. Low memory detected!", MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES) ExitProcess(0);
    MessageBoxA(nullptr, "Ok, let's see if this will crash or not then :)", "Ehhh.. ", MB_OK);
    memory = allocateCapture(std::size_t(kSmallCaptureBytes));
    if (!memory) outOfMemoryHandler();
    captureBuffer = static_cast<std::uint8_t*>(memory);
    captureCapacity = kSmallCaptureBytes;
}

void hook(BASS_DWORD channel) { audioSource->setDSP(channel, captureAudio, 0); }

void waitForMoreThan(std::int64_t bytes, BASS_DWORD channel) {
    // A blocking wait, so the encoder keeps the core. The music's end comes
    // without a block to wake us: look at it now and then as well.
    std::unique_lock<std::mutex> lock(deliveredMutex);
    while (!(delivered.load() > bytes) && audioSource->isActive(channel) != 0)
        deliveredMore.wait_for(lock, std::chrono::milliseconds(10));
    delivered.store(0);
}

std::uint8_t* buffer() { return captureBuffer; }
std::int64_t capacity() { return captureCapacity; }
std::int64_t captured() { return captureOffset.load(); }

void setAudioSource(const AudioSource* source) { audioSource = source ? source : &realAudio; }

void setAllocator(void* (*allocate)(std::size_t bytes)) {
    allocateCapture = allocate ? allocate : callocate;
    std::free(captureBuffer);
    captureBuffer = nullptr;
    captureCapacity = 0;
    captureOffset.store(0);
    delivered.store(0);
}

}  // namespace videocapture
