// A stand-in for libMACDll.so that the APE output tests load instead of the encoder: it lends
// small regions, writes what it is given to the named file as it arrives, logs each call to
// "<file>.log", and answers with the codes a test configures.
#include "MACDll.h"

#include <cstdio>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct TFakeSettings {
    int Lend = 1000;
    int StartError = 0;
    int UnlockError = 0;
};

// One test process configures the fake for its next run; a test double can afford that.
TFakeSettings& Settings() {
    static TFakeSettings settings;
    return settings;
}

struct TFake {
    std::string File;
    std::vector<unsigned char> Region;
    void Log(const std::string& line) const {
        if (std::FILE* f = std::fopen((File + ".log").c_str(), "a")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
};

} // namespace

FAKE_EXPORT void FakeMAC_Configure(int lend, int startError, int unlockError) {
    Settings() = {lend, startError, unlockError};
}

FAKE_EXPORT int FillWaveFormatEx(TWaveFormatEx* format, int rate, int bits, int channels) {
    *format = {1,
               std::uint16_t(channels),
               std::uint32_t(rate),
               std::uint32_t(rate * channels * bits / 8),
               std::uint16_t(channels * bits / 8),
               std::uint16_t(bits),
               0};
    return 0;
}

FAKE_EXPORT APE_COMPRESS_HANDLE c_APECompress_Create(int* error) {
    *error = 0;
    return new TFake;
}

FAKE_EXPORT void c_APECompress_Destroy(APE_COMPRESS_HANDLE h) {
    static_cast<TFake*>(h)->Log("destroy");
    delete static_cast<TFake*>(h);
}

FAKE_EXPORT int c_APECompress_Start(APE_COMPRESS_HANDLE h, const char* file,
                                    const TWaveFormatEx* format, int maxBytes, int level,
                                    const void* header, int headerBytes) {
    auto* fake = static_cast<TFake*>(h);
    fake->File = file;
    fake->Region.assign(Settings().Lend, 0);
    std::fclose(std::fopen(file, "wb"));
    fake->Log("start " + std::to_string(format->SamplesPerSec) + " " +
              std::to_string(format->BitsPerSample) + " " + std::to_string(format->Channels) + " " +
              std::to_string(maxBytes) + " " + std::to_string(level) + " " +
              (header ? "header" : "none") + " " + std::to_string(headerBytes));
    return Settings().StartError;
}

FAKE_EXPORT unsigned char* c_APECompress_LockBuffer(APE_COMPRESS_HANDLE h, int* available) {
    auto* fake = static_cast<TFake*>(h);
    *available = static_cast<int>(fake->Region.size());
    return fake->Region.data();
}

FAKE_EXPORT int c_APECompress_UnlockBuffer(APE_COMPRESS_HANDLE h, int bytes, int process) {
    auto* fake = static_cast<TFake*>(h);
    if (std::FILE* f = std::fopen(fake->File.c_str(), "ab")) {
        std::fwrite(fake->Region.data(), 1, bytes, f);
        std::fclose(f);
    }
    fake->Log("unlock " + std::to_string(bytes) + " " + std::to_string(process));
    return Settings().UnlockError;
}

FAKE_EXPORT int c_APECompress_Finish(APE_COMPRESS_HANDLE h, unsigned char* data, int bytes,
                                     int wavBytes) {
    static_cast<TFake*>(h)->Log("finish " + std::string(data ? "data" : "none") + " " +
                                std::to_string(bytes) + " " + std::to_string(wavBytes));
    return 0;
}
