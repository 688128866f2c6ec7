// Feeds arbitrary bytes to the WMA and MP3 reader: the protected-content check, the reader
// component reading all, seeking into the middle and reading again, and the decoder of
// MPEG data in WAVE files over the same bytes.
#include "AuStream.h"
#include "MediaReader.h"
#include "WMIn.h"
#include "WaveDataDecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// exact: the length counted at open, or (as conversions open) only the container's.
void ReadThroughComponent(const std::uint8_t* data, std::size_t size, bool exact) {
    bw::TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    bw::TWMIn reader;
    reader.SetExactLength(exact);
    reader.SetStream(&stream);
    try {
        if (!reader.Valid()) return;
    } catch (const bw::EAuException&) {
        return; // protected content
    }
    std::int64_t frames = reader.TotalSamples();
    if (reader.ExpectedTotalSamples() < 0) std::abort();
    reader.OpenRead();
    std::vector<std::uint8_t> buffer(5000);
    std::int64_t total = 0;
    while (int n = reader.PullInto(buffer.data(), static_cast<int>(buffer.size()))) {
        if (n < 0 || n > static_cast<int>(buffer.size())) std::abort();
        total += n;
    }
    if (reader.Size() > 0 && total > reader.Size()) std::abort();
    if (frames > 0 && reader.Seek(frames / 2))
        while (reader.PullInto(buffer.data(), 3001) > 0) {
        }
    reader.CloseRead();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bw::media::AsfHeaderProtected({data, size});
    ReadThroughComponent(data, size, true);
    ReadThroughComponent(data, size, false);
    bw::media::TWaveFormatRecord mp3{85, 2, 44100, 1, 128000, {}};
    try {
        // In pieces, as the WAVE reader feeds it.
        bw::media::TWaveDataDecoder decoder(mp3, {2, 44100, 16});
        std::vector<std::uint8_t> pcm;
        for (std::size_t at = 0; at < size; at += 4096)
            decoder.Decode({data + at, std::min<std::size_t>(4096, size - at)}, pcm);
        decoder.Finish(pcm);
        if (pcm.size() % 4) std::abort();
    } catch (const std::exception&) {
    }
    return 0;
}
