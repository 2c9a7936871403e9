#include "platform/mpg123/mp3decoder.h"

#include "platform/mp3info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;

ssize_t readMemory(void* handle, void* buffer, std::size_t count) {
    auto* reader = static_cast<MemoryReader*>(handle);
    const std::size_t n = std::min(count, reader->size - reader->pos);
    std::memcpy(buffer, reader->data + reader->pos, n);
    reader->pos += n;
    return ssize_t(n);
}

off_t seekMemory(void* handle, off_t offset, int whence) {
    auto* reader = static_cast<MemoryReader*>(handle);
    off_t base = 0;
    if (whence == SEEK_CUR) base = off_t(reader->pos);
    else if (whence == SEEK_END) base = off_t(reader->size);
    else if (whence != SEEK_SET) return -1;
    const off_t target = base + offset;
    if (target < 0 || target > off_t(reader->size)) return -1;
    reader->pos = std::size_t(target);
    return target;
}

}  // namespace

bool prepareMpg123(std::string* why) {
    if (mpg123_init() == MPG123_OK) return true;  // a no-op since 1.27, kept for older ones
    *why = "BASS_Init: the MP3 decoder failed to initialise";
    return false;
}

Mpg123Decoder::~Mpg123Decoder() {
    if (handle) mpg123_delete(handle);
}

bool Mpg123Decoder::open(const void* data, std::size_t size, int rate, std::string* why) {
    reader.data = static_cast<const unsigned char*>(data);
    reader.size = size;
    int err = MPG123_OK;
    handle = mpg123_new(nullptr, &err);
    if (!handle) {
        *why = mpg123_plain_strerror(err);
        return false;
    }
    this->rate = rate;
    mp3::Info tags;
    if (mp3::readInfo(reader.data, size, tags) && tags.sampleRate == rate) taggedLength = tags.sampleFrames;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    // Damage in the clip is passed over, however long, instead of
    // ending the music there (the default gives up after 1 KB).
    mpg123_param(handle, MPG123_RESYNC_LIMIT, -1, 0.0);
    // Whatever the clip's rate and channels, decode to the output format.
    mpg123_format_none(handle);
    mpg123_format(handle, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long gotRate = 0;
    int ch = 0, enc = 0;
    if (mpg123_replace_reader_handle(handle, readMemory, seekMemory, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle, &reader) != MPG123_OK ||
        mpg123_getformat(handle, &gotRate, &ch, &enc) != MPG123_OK) {
        *why = std::string("not an MP3 stream (") + mpg123_strerror(handle) + ")";
        return false;
    }
    if (gotRate != rate || ch != channels || enc != MPG123_ENC_SIGNED_16) {
        *why = "the decoder cannot convert this stream to the output format";
        return false;
    }
    // Decodable means at least one frame of sound comes out.
    unsigned char probe[bytesPerFrame * 64];
    std::size_t done = 0;
    mpg123_read(handle, probe, sizeof probe, &done);
    if (done == 0 || mpg123_seek(handle, 0, SEEK_SET) < 0) {
        *why = "the MP3 stream holds no sound";
        return false;
    }
    return restarted(0);
}

// Frame by frame, so that damage the decoder passes over can be named.
int Mpg123Decoder::read(unsigned char* to, int bytes) {
    int filled = 0;
    while (filled < bytes) {
        if (pendingBytes == 0 && !decodeFrame()) break;
        const std::size_t n = std::min(pendingBytes, std::size_t(bytes - filled));
        std::memcpy(to + filled, pending, n);
        pending += n;
        pendingBytes -= n;
        filled += int(n);
    }
    return filled - filled % bytesPerFrame;
}

bool Mpg123Decoder::rewind(std::string* why) {
    if (mpg123_seek(handle, 0, SEEK_SET) >= 0) return restarted(0);
    *why = mpg123_strerror(handle);
    return false;
}

bool Mpg123Decoder::skip(std::int64_t frames) {
    const off_t at = mpg123_seek(handle, off_t(frames), SEEK_CUR);
    return at >= 0 && restarted(at);
}

bool Mpg123Decoder::restarted(off_t at) {
    pendingBytes = 0;
    framesOut = at;
    nextFrameAt = -1;
    endSaid = false;
    lostToDamage = 0;
    return true;
}

bool Mpg123Decoder::decodeFrame() {
    for (;;) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int r = mpg123_decode_frame(handle, &number, &audio, &bytes);
        if (r == MPG123_NEW_FORMAT) continue;
        if (r != MPG123_OK) {
            sayEnd(r);
            return false;
        }
        noteSkippedInput();
        if (bytes == 0) continue;  // the decoder's delay, cut by gapless decoding
        pending = audio;
        pendingBytes = bytes;
        framesOut += off_t(bytes / bytesPerFrame);
        return true;
    }
}

// The decoder resynchronises past damage on its own; the bytes between
// where a frame should have begun and where the next one did are the
// damage, said once per place.
void Mpg123Decoder::noteSkippedInput() {
    const off_t at = mpg123_framepos(handle);
    mpg123_frameinfo frame{};
    if (at < 0 || mpg123_info(handle, &frame) != MPG123_OK) return;
    if (nextFrameAt >= 0 && at > nextFrameAt) {
        const off_t skipped = at - nextFrameAt;
        std::fprintf(stderr, "Music: %lld damaged bytes skipped at %.2f s of the clip (byte %lld).\n",
                     static_cast<long long>(skipped), double(framesOut) / rate,
                     static_cast<long long>(nextFrameAt));
        // At most the frames those bytes held, and the one they cut.
        lostToDamage += (skipped / (frame.framesize + 4) + 1) * mpg123_spf(handle);
    }
    nextFrameAt = at + 4 + off_t(frame.framesize);
}

void Mpg123Decoder::sayEnd(int result) {
    if (endSaid) return;
    endSaid = true;
    // The decoder trusts what it finds in a file cut short; the tag
    // written with the clip still knows its whole length.
    const std::int64_t length = taggedLength;
    if (result != MPG123_DONE)
        std::fprintf(stderr, "Music: the decoder stopped at %.2f s of the clip: %s.\n", double(framesOut) / rate,
                     mpg123_strerror(handle));
    else if (length > 0 && framesOut + lostToDamage + rate / 10 < length)
        std::fprintf(stderr, "Music: the clip ends at %.2f s of its %.2f s: it is cut short; silence follows.\n",
                     double(framesOut) / rate, double(length) / rate);
}
