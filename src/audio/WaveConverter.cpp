#include "WaveConverter.h"

#include "MediaError.h"
#include "WaveDataDecoder.h"
#include "WaveHeader.h"

#include <algorithm>
#include <cstring>

namespace bw {

namespace {

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

media::TWaveFormatRecord RecordOf(const TWaveConverter::TFormatRecord& f) {
    media::TWaveFormatRecord r;
    r.FormatTag = Le16(f.data());
    r.Channels = Le16(f.data() + 2);
    r.SampleRate = static_cast<int>(std::min<std::uint32_t>(Le32(f.data() + 4), 1 << 30));
    r.BitRate = static_cast<int>(std::min<std::uint64_t>(Le32(f.data() + 8) * 8ull, 1u << 30));
    r.BlockAlign = Le16(f.data() + 12);
    std::size_t extra = std::min<std::size_t>(Le16(f.data() + 16), f.size() - 18);
    r.Extra.assign(f.begin() + 18, f.begin() + 18 + static_cast<std::ptrdiff_t>(extra));
    return r;
}

} // namespace

void TWaveConverter::LoadWaveFile(TStream& Stream) {
    // The whole file at once: the scan below visits every offset.
    std::vector<std::uint8_t> file;
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        std::int64_t got = Stream.ReadSome(chunk, sizeof chunk);
        if (got <= 0) break;
        file.insert(file.end(), chunk, chunk + got);
    }
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return;
    // Every offset after the RIFF header may start a chunk, so that chunks in any order, and
    // junk between them, are found.
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint8_t* id = file.data() + at;
        std::uint64_t size = Le32(id + 4);
        std::size_t body = at + 8;
        std::size_t available =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, file.size() - body));
        if (std::memcmp(id, "fmt ", 4) == 0) {
            CurrentFormat.fill(0);
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(body),
                        std::min(available, CurrentFormat.size()), CurrentFormat.begin());
            at = body + available;
        } else if (std::memcmp(id, "fact", 4) == 0) {
            at = body + available;
        } else if (std::memcmp(id, "data", 4) == 0 && size != 0) {
            FContent.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                            file.begin() + static_cast<std::ptrdiff_t>(body + available));
            at = body + available;
        } else {
            ++at;
        }
    }
}

int TWaveConverter::SuggestFormat() {
    auto pcm = media::SuggestPcmFormat(RecordOf(CurrentFormat));
    if (!pcm) return WaveConvertNotPossible;
    NewFormat = TWaveConverter::TFormatRecord{};
    auto header = MakePcmHeader(pcm->Channels, static_cast<std::uint32_t>(pcm->SampleRate),
                                pcm->BitsPerSample, 0);
    // The 16 bytes of the format chunk's body in our own PCM header.
    std::copy_n(header.begin() + 20, 16, NewFormat.begin());
    return WaveConvertOk;
}

int TWaveConverter::ConvertData() {
    media::TWaveFormatRecord from = RecordOf(CurrentFormat);
    media::TWaveFormatRecord to = RecordOf(NewFormat);
    if (to.FormatTag != WaveFormatPcm || Le16(NewFormat.data() + 14) != 16)
        return WaveConvertNotPossible;
    try {
        FContent = media::DecodeWaveData(from, FContent, {to.Channels, to.SampleRate, 16});
    } catch (const media::TMediaError& e) {
        FContent.clear();
        FLastError = e.what();
        return WaveConvertNotPossible;
    }
    if (FContent.empty()) return WaveConvertNotPossible;
    CurrentFormat = NewFormat;
    return WaveConvertOk;
}

int TWaveConverter::SaveWaveFile(TStream& Stream) {
    try {
        const std::uint64_t dataSize = FContent.size();
        if (dataSize > 0xFFFFFFFFull - 36) return WaveConvertWriteFailed;
        media::TWaveFormatRecord f = RecordOf(CurrentFormat);
        auto header =
            MakePcmHeader(f.Channels, static_cast<std::uint32_t>(f.SampleRate),
                          Le16(CurrentFormat.data() + 14), static_cast<std::uint32_t>(dataSize));
        Stream.WriteBuffer(header.data(), static_cast<std::int64_t>(header.size()));
        Stream.WriteBuffer(FContent.data(), static_cast<std::int64_t>(FContent.size()));
    } catch (const std::exception&) {
        return WaveConvertWriteFailed;
    }
    return WaveConvertOk;
}

} // namespace bw
