#include "platform/windows/mp3decoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;
// Input handed to the codec per conversion: about a fifth of a second at
// 192 kbit/s, small enough for the mixer's next block to be ready at once.
constexpr std::size_t inputChunk = 4096;

}  // namespace

WAVEFORMATEX pcmStereo16(int rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = bytesPerFrame;
    format.nAvgBytesPerSec = DWORD(rate * bytesPerFrame);
    return format;
}

Mp3Decoder::~Mp3Decoder() { close(); }

void Mp3Decoder::close() {
    if (!stream) return;
    if (header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) acmStreamUnprepareHeader(stream, &header, 0);
    acmStreamClose(stream, 0);
    stream = nullptr;
}

bool Mp3Decoder::open(const void* data, std::size_t size, int outputRate, std::string* error) {
    auto failWith = [&](const std::string& text) {
        if (error) *error = text;
        close();
        return false;
    };
    image = static_cast<const std::uint8_t*>(data);
    imageSize = size;
    if (!mp3::readInfo(image, imageSize, mp3Info)) return failWith("not an MP3 stream");
    if (mp3Info.sampleRate != outputRate)
        return failWith("the clip's rate (" + std::to_string(mp3Info.sampleRate) + " Hz) is not the output's");

    MPEGLAYER3WAVEFORMAT source{};
    source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    source.wfx.nChannels = WORD(mp3Info.channels);
    source.wfx.nSamplesPerSec = DWORD(mp3Info.sampleRate);
    source.wfx.nAvgBytesPerSec = DWORD(mp3Info.bitrate * 1000 / 8);
    source.wfx.nBlockAlign = 1;
    source.wfx.wBitsPerSample = 0;
    source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    source.wID = MPEGLAYER3_ID_MPEG;
    source.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    source.nBlockSize = WORD(mp3Info.firstFrameBytes);
    source.nFramesPerBlock = 1;
    source.nCodecDelay = 0;

    WAVEFORMATEX target = pcmStereo16(outputRate);

    // A mono clip comes out as stereo: the codec converts, or refuses.
    MMRESULT result = acmStreamOpen(&stream, nullptr, &source.wfx, &target, nullptr, 0, 0, 0);
    if (result != MMSYSERR_NOERROR)
        return failWith("the system has no MP3 decoder for this stream (ACM error " + std::to_string(result) + ")");

    DWORD outputBytes = 0;
    result = acmStreamSize(stream, DWORD(inputChunk), &outputBytes, ACM_STREAMSIZEF_SOURCE);
    if (result != MMSYSERR_NOERROR || outputBytes == 0) outputBytes = 64 * 1152 * bytesPerFrame;
    input.assign(inputChunk, 0);
    output.assign(outputBytes, 0);

    header = ACMSTREAMHEADER{};
    header.cbStruct = sizeof header;
    header.pbSrc = input.data();
    header.cbSrcLength = DWORD(input.size());
    header.pbDst = output.data();
    header.cbDstLength = DWORD(output.size());
    result = acmStreamPrepareHeader(stream, &header, 0);
    if (result != MMSYSERR_NOERROR) return failWith("the MP3 decoder refused its buffers");

    if (!rewind()) return failWith("the MP3 stream holds no sound");
    std::int16_t probe[2];
    if (read(probe, 1) != 1 || !rewind()) return failWith("the MP3 stream holds no sound");
    return true;
}

bool Mp3Decoder::rewind() {
    if (!stream) return false;
    acmStreamReset(stream, 0);
    inputPos = mp3Info.audioOffset;
    inputFill = 0;
    started = false;
    flushed = false;
    pending.clear();
    pendingPos = 0;
    skipFrames = mp3::decoderDelay + (mp3Info.hasLameTag ? mp3Info.encoderDelay : 0);
    framesLeft = mp3Info.sampleFrames;
    return true;
}

bool Mp3Decoder::decodeMore() {
    if (flushed) return false;
    // Top up the input with the image's next bytes.
    const std::size_t take = std::min(input.size() - inputFill, imageSize - inputPos);
    std::memcpy(input.data() + inputFill, image + inputPos, take);
    inputFill += take;
    inputPos += take;
    const bool last = inputPos == imageSize;

    DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    if (!started) flags |= ACM_STREAMCONVERTF_START;
    if (last) flags = (flags & ~DWORD(ACM_STREAMCONVERTF_BLOCKALIGN)) | ACM_STREAMCONVERTF_END;
    header.cbSrcLength = DWORD(inputFill);
    header.cbSrcLengthUsed = 0;
    header.cbDstLengthUsed = 0;
    if (acmStreamConvert(stream, &header, flags) != MMSYSERR_NOERROR) {
        flushed = true;
        return false;
    }
    started = true;
    const std::size_t used = std::min<std::size_t>(header.cbSrcLengthUsed, inputFill);
    std::memmove(input.data(), input.data() + used, inputFill - used);
    inputFill -= used;
    // The end is reached once everything went in and nothing more comes out.
    if (last && header.cbDstLengthUsed == 0) flushed = true;
    if (!last && used == 0 && header.cbDstLengthUsed == 0 && inputFill == input.size()) {
        flushed = true;  // the codec takes nothing more: a broken stream ends here
        return false;
    }

    const auto* samples = reinterpret_cast<const std::int16_t*>(output.data());
    const std::size_t count = header.cbDstLengthUsed / 2;
    pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(pendingPos));
    pendingPos = 0;
    pending.insert(pending.end(), samples, samples + count);
    return !flushed || !pending.empty();
}

int Mp3Decoder::read(std::int16_t* out, int frames) {
    int done = 0;
    while (done < frames) {
        if (framesLeft == 0) break;
        std::size_t available = (pending.size() - pendingPos) / channels;
        if (available == 0) {
            if (!decodeMore()) break;
            continue;
        }
        if (skipFrames > 0) {
            const std::size_t drop = std::size_t(std::min<std::int64_t>(skipFrames, std::int64_t(available)));
            pendingPos += drop * channels;
            skipFrames -= std::int64_t(drop);
            continue;
        }
        std::size_t n = std::min<std::size_t>(available, std::size_t(frames - done));
        if (framesLeft > 0) n = std::min<std::size_t>(n, std::size_t(framesLeft));
        std::memcpy(out + std::size_t(done) * channels, pending.data() + pendingPos, n * bytesPerFrame);
        pendingPos += n * channels;
        done += int(n);
        if (framesLeft > 0) framesLeft -= std::int64_t(n);
    }
    return done;
}
