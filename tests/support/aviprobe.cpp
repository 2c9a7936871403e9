#include "tests/support/aviprobe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<char> commandBytes(const std::string& command) {
    std::vector<char> bytes;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return bytes;
    char block[65536];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, pipe)) > 0) bytes.insert(bytes.end(), block, block + n);
    pclose(pipe);
    return bytes;
}

std::string field(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "";
}

}  // namespace

std::string commandOutput(const std::string& command) {
    std::vector<char> bytes = commandBytes(command);
    return std::string(bytes.begin(), bytes.end());
}

bool aviToolsAvailable() {
    return std::system("ffprobe -version >/dev/null 2>&1") == 0 && std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

AviSummary probeAvi(const std::string& path) {
    AviSummary s;
    const std::string base = "ffprobe -v error -of default=noprint_wrappers=1 ";
    std::string errors = commandOutput(base + "-show_entries format=format_name " + quoted(path) + " 2>&1 >/dev/null");
    s.error = errors;
    std::string format = commandOutput(base + "-show_entries format=format_name " + quoted(path) + " 2>/dev/null");
    s.readable = field(format, "format_name") == "avi";
    if (!s.readable) return s;
    std::string types = commandOutput(base + "-show_entries stream=codec_type " + quoted(path) + " 2>/dev/null");
    std::istringstream lines(types);
    std::string line;
    while (std::getline(lines, line)) {
        if (line == "codec_type=video") ++s.videoStreams;
        if (line == "codec_type=audio") ++s.audioStreams;
    }
    if (s.videoStreams > 0) {
        std::string v = commandOutput(base + "-count_frames -select_streams v:0 -show_entries "
                                             "stream=codec_name,r_frame_rate,width,height,nb_read_frames " +
                                      quoted(path) + " 2>/dev/null");
        s.videoCodec = field(v, "codec_name");
        s.frameRate = field(v, "r_frame_rate");
        s.width = std::atoi(field(v, "width").c_str());
        s.height = std::atoi(field(v, "height").c_str());
        s.videoFrames = std::atol(field(v, "nb_read_frames").c_str());
    }
    if (s.audioStreams > 0) {
        std::string a = commandOutput(base + "-select_streams a:0 -show_entries stream=sample_rate,channels,sample_fmt " +
                                      quoted(path) + " 2>/dev/null");
        s.sampleRate = std::atoi(field(a, "sample_rate").c_str());
        s.channels = std::atoi(field(a, "channels").c_str());
        s.sampleFormat = field(a, "sample_fmt");
    }
    return s;
}

std::vector<std::uint8_t> decodeVideoBgr24(const std::string& path) {
    std::vector<char> bytes =
        commandBytes("ffmpeg -v error -i " + quoted(path) + " -map 0:v:0 -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::int16_t> decodeAudioS16(const std::string& path) {
    std::vector<char> bytes =
        commandBytes("ffmpeg -v error -i " + quoted(path) + " -map 0:a:0 -f s16le -acodec pcm_s16le - 2>/dev/null");
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::vector<long> audioChunkSizes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<long> sizes;
    // Walk every "movi" list chunk by chunk (the first RIFF and any AVIX).
    for (std::size_t list = bytes.find("LIST"); list != std::string::npos; list = bytes.find("LIST", list + 4)) {
        if (list + 12 > bytes.size() || bytes.compare(list + 8, 4, "movi") != 0) continue;
        std::uint32_t listSize;
        std::memcpy(&listSize, bytes.data() + list + 4, 4);
        const std::size_t end = std::min(bytes.size(), list + 8 + std::size_t(listSize));
        for (std::size_t at = list + 12; at + 8 <= end;) {
            std::uint32_t size;
            std::memcpy(&size, bytes.data() + at + 4, 4);
            if (bytes.compare(at, 4, "01wb") == 0) sizes.push_back(long(size));
            at += 8 + size + (size & 1);
        }
        list = end - 4;
    }
    return sizes;
}

std::int32_t firstVideoFormatHeight(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t strh = bytes.find("strh");
    while (strh != std::string::npos && bytes.compare(strh + 8, 4, "vids") != 0) strh = bytes.find("strh", strh + 4);
    if (strh == std::string::npos) return 0;
    const std::size_t strf = bytes.find("strf", strh);
    if (strf == std::string::npos || strf + 8 + 12 > bytes.size()) return 0;
    std::int32_t height;
    std::memcpy(&height, bytes.data() + strf + 8 + 8, 4);  // chunk header, biSize, biWidth
    return height;
}
