// ape-encode [-c1000..4000] [--unknown-length] IN.wav OUT.ape: compresses a PCM WAV file
// through libMACDll's C interface, storing the WAV's own header and trailing chunks as the
// format allows. Used by the APE benchmark and by the tests' reference comparisons.
#include "MACDll.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "ape-encode: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    int level = 2000;
    bool unknown = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("-c", 0) == 0)
            level = std::stoi(a.substr(2));
        else if (a == "--unknown-length")
            unknown = true;
        else
            files.push_back(a);
    }
    if (files.size() != 2) return Fail("usage: ape-encode [-cLEVEL] [--unknown-length] IN OUT");
    std::ifstream in(files[0], std::ios::binary);
    const std::vector<std::uint8_t> wav{std::istreambuf_iterator<char>(in), {}};
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) || std::memcmp(&wav[8], "WAVE", 4))
        return Fail("not a WAV file");
    std::size_t pos = 12, dataAt = 0, dataBytes = 0;
    int channels = 0, bits = 0, rate = 0;
    while (pos + 8 <= wav.size()) {
        const std::uint32_t size = Le32(&wav[pos + 4]);
        if (!std::memcmp(&wav[pos], "fmt ", 4) && pos + 24 <= wav.size()) {
            channels = wav[pos + 10] | wav[pos + 11] << 8;
            rate = static_cast<int>(Le32(&wav[pos + 12]));
            bits = wav[pos + 22] | wav[pos + 23] << 8;
        } else if (!std::memcmp(&wav[pos], "data", 4)) {
            dataAt = pos + 8;
            dataBytes = std::min<std::size_t>(size, wav.size() - dataAt);
            break;
        }
        pos += 8 + size + (size & 1);
    }
    if (!dataAt || !channels) return Fail("no fmt or data chunk");
    dataBytes -= dataBytes % (channels * bits / 8);

    TWaveFormatEx format;
    FillWaveFormatEx(&format, rate, bits, channels);
    int error = 0;
    APE_COMPRESS_HANDLE h = c_APECompress_Create(&error);
    if (!h) return Fail("create: " + std::to_string(error));
    error = c_APECompress_Start(h, files[1].c_str(), &format, unknown ? -1 : int(dataBytes), level,
                                wav.data(), int(dataAt));
    if (error) return Fail("start: " + std::to_string(error));
    for (std::size_t done = 0; done < dataBytes;) {
        int room = 0;
        unsigned char* region = c_APECompress_LockBuffer(h, &room);
        if (!region) return Fail("lock failed");
        const std::size_t n = std::min<std::size_t>(room, dataBytes - done);
        std::memcpy(region, &wav[dataAt + done], n);
        if ((error = c_APECompress_UnlockBuffer(h, int(n), 1)))
            return Fail("unlock: " + std::to_string(error));
        done += n;
    }
    std::vector<std::uint8_t> tail(wav.begin() + std::ptrdiff_t(dataAt + dataBytes), wav.end());
    error = c_APECompress_Finish(h, tail.data(), int(tail.size()), int(tail.size()));
    c_APECompress_Destroy(h);
    return error ? Fail("finish: " + std::to_string(error)) : 0;
}
