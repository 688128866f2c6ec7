// Feeds arbitrary bytes to the WAVE reader: the header scan (whole and step by step), the
// format checks, the ADPCM block decoders over every block the file claims, and the reader
// component itself reading and seeking in the bytes as a stream.
#include "AuException.h"
#include "AuStream.h"
#include "ImaAdpcm.h"
#include "MsAdpcm.h"
#include "WaveHeader.h"
#include "WaveIn.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t ReadBufferSize = 16384;

void DecodeBlocks(std::span<const std::uint8_t> file, const bw::TWaveHeaderInfo& info) {
    if (info.BlockAlign == 0) return; // no blocks to walk: the loop below would not advance
    std::vector<std::int16_t> out(ReadBufferSize / 2);
    std::vector<std::uint8_t> block(info.BlockAlign);
    std::size_t end =
        std::min<std::size_t>(file.size(), std::size_t{info.DataStart} + info.DataSize);
    for (std::size_t pos = info.DataStart; pos < end; pos += info.BlockAlign) {
        std::size_t n = std::min<std::size_t>(info.BlockAlign, end - pos);
        std::fill(std::copy_n(file.begin() + pos, n, block.begin()), block.end(), 0);
        std::size_t frames =
            info.FormatTag == bw::WaveFormatImaAdpcm
                ? bw::ImaDecodeBlock(block, info.Channels, out)
                : bw::MsAdpcmDecodeBlock(block, info.Channels,
                                         std::span(info.Coefs.data(), info.CoefCount), out);
        if (frames * info.Channels > out.size()) std::abort();
    }
}

// Reads everything the reader hands out, seeks into the middle and reads again.
void ReadThroughComponent(const std::uint8_t* data, std::size_t size) {
    bw::TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    bw::TWaveIn reader;
    reader.SetStream(&stream);
    std::int64_t frames = 0;
    try {
        // Compressed data that cannot be decoded is refused with an exception, by design.
        if (!reader.Valid()) return;
        frames = reader.TotalSamples();
        reader.OpenRead();
    } catch (const bw::EAuException&) {
        return;
    }
    std::vector<std::uint8_t> buffer(5000);
    try {
        std::int64_t total = 0;
        while (int n = reader.PullInto(buffer.data(), static_cast<int>(buffer.size()))) {
            total += n;
            if (n < 0 || n > static_cast<int>(buffer.size())) std::abort();
        }
        if (total > reader.Size()) std::abort();
        if (frames > 0 && reader.Seek(frames / 2))
            while (reader.PullInto(buffer.data(), 3001) > 0) {
            }
    } catch (const bw::EAuException&) {
        // Damaged blocks are reported this way.
    }
    reader.CloseRead();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> file(data, size);
    bw::TWaveHeaderInfo whole = bw::ScanWaveHeader(file, size);
    if (whole.Status == bw::TWaveScanStatus::NeedMore) std::abort();

    // A stream that cannot tell its size must reach the same verdict.
    std::size_t have = 0;
    bw::TWaveHeaderInfo step;
    for (;;) {
        step = bw::ScanWaveHeader(file.first(have), std::nullopt, have == size);
        if (step.Status != bw::TWaveScanStatus::NeedMore) break;
        if (step.NeedBytes <= have || step.NeedBytes > bw::WaveHeaderScanLimit + 4) std::abort();
        have = std::min(step.NeedBytes, size);
    }
    if (step.Status != whole.Status || step.DataStart != whole.DataStart) std::abort();

    if (bw::WaveFormatUsable(whole, ReadBufferSize) && whole.FormatTag != bw::WaveFormatPcm)
        DecodeBlocks(file, whole);
    ReadThroughComponent(data, size);
    return 0;
}
