#include "tests/support/aviprobe.h"

#include "tests/support/scratchdir.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string commandOutput(const std::string& command) {
    std::string bytes;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return bytes;
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) bytes.append(block, n);
    pclose(pipe);
    return bytes;
}

}  // namespace

bool aviToolsAvailable() {
    return std::system("ffprobe -version >/dev/null 2>&1") == 0 && std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

std::string probeStreams(const std::string& path, const std::string& select, const std::string& entries) {
    return commandOutput("ffprobe -v error -count_frames -of csv=p=0 " +
                         (select.empty() ? std::string() : "-select_streams " + select) + " -show_entries stream=" +
                         entries + " " + quoted(path) + " 2>/dev/null");
}

std::vector<std::uint8_t> decodeVideoBgr24(const std::string& path) {
    const std::string bytes =
        commandOutput("ffmpeg -v error -i " + quoted(path) + " -map 0:v:0 -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::int16_t> decodeAudioS16(const std::string& path) {
    const std::string bytes =
        commandOutput("ffmpeg -v error -i " + quoted(path) + " -map 0:a:0 -f s16le -acodec pcm_s16le - 2>/dev/null");
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::vector<long> audioChunkSizes(const std::string& path) {
    const std::string bytes = ScratchDir::read(path);
    std::vector<long> sizes;
    // Chunk by chunk from the start of the movie list to the end of the file.
    const std::size_t movi = bytes.find("movi");
    for (std::size_t at = movi + 4; movi != std::string::npos && at + 8 <= bytes.size();) {
        std::uint32_t size;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "01wb") == 0) sizes.push_back(long(size));
        at += 8 + std::size_t(size) + (size & 1);
    }
    return sizes;
}
