// ape-encode [-c1000..4000] [--unknown-length] IN.wav OUT.ape: compresses a PCM WAV file
// through libMACDll's C interface, storing the WAV's own header and trailing chunks as the
// format allows. Used by the APE benchmark and by the tests' reference comparisons.
#include "MACDll.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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
    std::FILE* in = std::fopen(files[0].c_str(), "rb");
    if (!in) return Fail("cannot open " + files[0]);
    // Everything before the PCM is kept, to be stored as the file's WAV header.
    std::vector<std::uint8_t> header(12);
    if (std::fread(header.data(), 1, 12, in) != 12 || std::memcmp(header.data(), "RIFF", 4) ||
        std::memcmp(&header[8], "WAVE", 4))
        return Fail("not a WAV file");
    std::uint64_t dataBytes = 0;
    int channels = 0, bits = 0, rate = 0;
    for (;;) {
        std::uint8_t chunk[8];
        if (std::fread(chunk, 1, 8, in) != 8) return Fail("no data chunk");
        header.insert(header.end(), chunk, chunk + 8);
        const std::uint32_t size = Le32(chunk + 4);
        if (!std::memcmp(chunk, "data", 4)) {
            dataBytes = size;
            break;
        }
        const std::size_t at = header.size();
        header.resize(at + size + (size & 1));
        if (std::fread(&header[at], 1, size + (size & 1), in) != size + (size & 1))
            return Fail("truncated chunk");
        if (!std::memcmp(chunk, "fmt ", 4) && size >= 16) {
            channels = header[at + 2] | header[at + 3] << 8;
            rate = static_cast<int>(Le32(&header[at + 4]));
            bits = header[at + 14] | header[at + 15] << 8;
        }
    }
    if (!channels || !bits) return Fail("no fmt chunk");
    const long dataAt = std::ftell(in);
    std::fseek(in, 0, SEEK_END);
    dataBytes = std::min<std::uint64_t>(dataBytes, std::uint64_t(std::ftell(in) - dataAt));
    std::fseek(in, dataAt, SEEK_SET);
    dataBytes -= dataBytes % (channels * bits / 8);

    TWaveFormatEx format;
    FillWaveFormatEx(&format, rate, bits, channels);
    int error = 0;
    APE_COMPRESS_HANDLE h = c_APECompress_Create(&error);
    if (!h) return Fail("create: " + std::to_string(error));
    error = c_APECompress_Start(h, files[1].c_str(), &format, unknown ? -1 : int(dataBytes), level,
                                header.data(), int(header.size()));
    if (error) return Fail("start: " + std::to_string(error));
    for (std::size_t done = 0; done < dataBytes;) {
        int room = 0;
        unsigned char* region = c_APECompress_LockBuffer(h, &room);
        if (!region) return Fail("lock failed");
        const std::size_t n = std::min<std::size_t>(room, dataBytes - done);
        if (std::fread(region, 1, n, in) != n) return Fail("read error");
        if ((error = c_APECompress_UnlockBuffer(h, int(n), 1)))
            return Fail("unlock: " + std::to_string(error));
        done += n;
    }
    std::vector<std::uint8_t> tail;
    for (int c; (c = std::fgetc(in)) != EOF;)
        tail.push_back(std::uint8_t(c));
    std::fclose(in);
    error = c_APECompress_Finish(h, tail.data(), int(tail.size()), int(tail.size()));
    c_APECompress_Destroy(h);
    return error ? Fail("finish: " + std::to_string(error)) : 0;
}
