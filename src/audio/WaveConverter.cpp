#include "WaveConverter.h"

#include "WaveDecodedStream.h"
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
    const std::int64_t origin = Stream.Position();
    const std::int64_t size = Stream.Size();
    if (origin < 0 || size < origin + 12) return;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(size - origin);
    // The file is read through a window, as the scan below visits every offset.
    std::vector<std::uint8_t> window;
    std::uint64_t windowAt = 0;
    auto bytesAt = [&](std::uint64_t at, std::size_t n) -> const std::uint8_t* {
        if (window.empty() || at < windowAt || at + n > windowAt + window.size()) {
            window.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(64 * 1024, fileSize - at)));
            Stream.SetPosition(origin + static_cast<std::int64_t>(at));
            window.resize(static_cast<std::size_t>(
                Stream.ReadSome(window.data(), static_cast<std::int64_t>(window.size()))));
            windowAt = at;
            if (window.size() < n) return nullptr;
        }
        return window.data() + (at - windowAt);
    };
    const std::uint8_t* head = bytesAt(0, 12);
    if (!head || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return;
    // Every offset after the RIFF header may start a chunk, so that chunks in any order, and
    // junk between them, are found.
    std::uint64_t at = 12;
    while (at + 8 <= fileSize) {
        const std::uint8_t* id = bytesAt(at, 8);
        if (!id) break;
        const std::uint64_t body = at + 8;
        const std::uint64_t available = std::min<std::uint64_t>(Le32(id + 4), fileSize - body);
        if (std::memcmp(id, "fmt ", 4) == 0) {
            CurrentFormat.fill(0);
            Stream.SetPosition(origin + static_cast<std::int64_t>(body));
            Stream.ReadSome(CurrentFormat.data(), static_cast<std::int64_t>(std::min<std::uint64_t>(
                                                      available, CurrentFormat.size())));
            window.clear();
            at = body + available;
        } else if (std::memcmp(id, "fact", 4) == 0) {
            at = body + available;
        } else if (std::memcmp(id, "data", 4) == 0 && Le32(id + 4) != 0) {
            FSource = &Stream;
            FDataStart = origin + static_cast<std::int64_t>(body);
            FDataSize = static_cast<std::int64_t>(available);
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
    if (to.FormatTag != WaveFormatPcm || Le16(NewFormat.data() + 14) != 16 || !FSource)
        return WaveConvertNotPossible;
    try {
        FDecodedBytes = TWaveDecodedStream::CountPcmBytes(*FSource, FDataStart, FDataSize, from,
                                                          {to.Channels, to.SampleRate, 16});
    } catch (const std::exception& e) { // damaged data, or the stream failing under us
        FDecodedBytes = 0;
        FLastError = e.what();
        return WaveConvertNotPossible;
    }
    if (FDecodedBytes == 0) return WaveConvertNotPossible;
    FSourceFormat = from;
    CurrentFormat = NewFormat;
    return WaveConvertOk;
}

std::unique_ptr<TStream> TWaveConverter::OpenDecoded() const {
    media::TWaveFormatRecord pcm = RecordOf(CurrentFormat);
    return std::make_unique<TWaveDecodedStream>(*FSource, FDataStart, FDataSize, FSourceFormat,
                                                media::TPcmFormat{pcm.Channels, pcm.SampleRate, 16},
                                                FDecodedBytes);
}

int TWaveConverter::SaveWaveFile(TStream& Stream) {
    if (FDecodedBytes == 0) return WaveConvertWriteFailed;
    try {
        auto decoded = OpenDecoded();
        std::vector<std::uint8_t> buffer(64 * 1024);
        while (std::int64_t n =
                   decoded->ReadSome(buffer.data(), static_cast<std::int64_t>(buffer.size())))
            Stream.WriteBuffer(buffer.data(), n);
    } catch (const std::exception&) {
        return WaveConvertWriteFailed;
    }
    return WaveConvertOk;
}

} // namespace bw
