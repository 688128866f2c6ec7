#include "TrackChecksums.h"

#include "FileShare.h"

#include "AccurateRip.h"
#include "WaveHeader.h"

#include <FLAC/stream_decoder.h>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>
#include <zlib.h>

namespace fs = std::filesystem;

namespace bw {

namespace {

constexpr const char* NotCdAudio = "not 16-bit stereo audio at 44100 Hz";

// Feeds both checksums; the AccurateRip one is made once the track's length is known.
class TChecksummer {
public:
    TChecksummer(bool first, bool last, bool crc, const TSampleSink& sink)
        : FFirst(first), FLast(last), FWithCrc(crc), FSink(sink) {}
    void Begin(std::uint64_t samples) { FArc.emplace(samples, FFirst, FLast); }
    void Add(const std::uint8_t* bytes, std::size_t size) {
        if (FWithCrc) FCrc = crc32_z(FCrc, bytes, size);
        FArc->Add(bytes, size);
        if (FSink) FSink(bytes, size);
    }
    TTrackChecksums Result() const {
        TTrackChecksums sums;
        sums.Ok = true;
        sums.Samples = FArc->SamplesSeen();
        sums.HasCrc32 = FWithCrc;
        sums.Crc32 = FWithCrc ? static_cast<std::uint32_t>(FCrc) : 0;
        sums.V1 = FArc->V1();
        sums.V2 = FArc->V2();
        return sums;
    }

private:
    bool FFirst, FLast, FWithCrc;
    const TSampleSink& FSink;
    uLong FCrc = crc32_z(0, nullptr, 0);
    std::optional<TAccurateRipChecksum> FArc;
};

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

TTrackChecksums Failure(std::string error) {
    TTrackChecksums sums;
    sums.Error = std::move(error);
    return sums;
}

TTrackChecksums ChecksumWav(const fs::path& path, std::FILE* file, std::uint64_t fileSize,
                            TChecksummer& sums) {
    std::vector<std::uint8_t> head(WaveHeaderScanLimit);
    head.resize(std::fread(head.data(), 1, head.size(), file));
    TWaveHeaderInfo info = ScanWaveHeader(head, fileSize);
    if (info.Status != TWaveScanStatus::Found)
        return Failure(path.string() +
                       " is neither a WAV nor a FLAC file (16-bit stereo 44.1 kHz WAV and FLAC "
                       "files can be checked)");
    if (info.FormatTag != WaveFormatPcm || info.Channels != 2 || info.SampleRate != 44100 ||
        info.BitsPerSample != 16)
        return Failure(path.string() + " is " + NotCdAudio);
    // Writers that stream (a pipe) leave the size 0 or at its maximum: take the file's rest.
    std::uint64_t available = fileSize - info.DataStart;
    std::uint64_t size = info.DataSize == 0 || info.DataSize == 0xffffffffu
                             ? available
                             : std::min<std::uint64_t>(info.DataSize, available);
    size -= size % 4;
    sums.Begin(size / 4);
    if (std::fseek(file, static_cast<long>(info.DataStart), SEEK_SET) != 0)
        return Failure("cannot read " + path.string());
    std::vector<std::uint8_t> block(1 << 16);
    for (std::uint64_t left = size; left > 0;) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        if (std::fread(block.data(), 1, want, file) != want)
            return Failure("cannot read " + path.string());
        sums.Add(block.data(), want);
        left -= want;
    }
    return sums.Result();
}

// Owns a libFLAC decoder.
struct TFlacDecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};

struct TFlacState {
    TChecksummer* Sums = nullptr;
    bool Started = false;
    bool Unsuitable = false;
    std::vector<std::uint8_t> Bytes;
};

FLAC__StreamDecoderWriteStatus OnFlacFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                           const FLAC__int32* const buffer[], void* user) {
    auto* state = static_cast<TFlacState*>(user);
    if (!state->Started || frame->header.channels != 2 || frame->header.bits_per_sample != 16 ||
        frame->header.sample_rate != 44100) {
        state->Unsuitable = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const unsigned n = frame->header.blocksize;
    state->Bytes.resize(std::size_t(n) * 4);
    std::uint8_t* out = state->Bytes.data();
    for (unsigned i = 0; i < n; ++i) {
        for (int c = 0; c < 2; ++c) {
            auto v = static_cast<std::uint16_t>(buffer[c][i]);
            *out++ = static_cast<std::uint8_t>(v);
            *out++ = static_cast<std::uint8_t>(v >> 8);
        }
    }
    state->Sums->Add(state->Bytes.data(), state->Bytes.size());
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnFlacMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* user) {
    auto* state = static_cast<TFlacState*>(user);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    const auto& info = metadata->data.stream_info;
    // The length must be known before the first sample for the last track's exclusion.
    if (info.channels != 2 || info.bits_per_sample != 16 || info.sample_rate != 44100 ||
        info.total_samples == 0) {
        state->Unsuitable = true;
        return;
    }
    state->Sums->Begin(info.total_samples);
    state->Started = true;
}

void OnFlacError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

TTrackChecksums ChecksumFlac(const fs::path& path, TChecksummer& sums) {
    std::unique_ptr<FLAC__StreamDecoder, TFlacDecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!decoder) return Failure("cannot start a FLAC decoder");
    FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
    TFlacState state;
    state.Sums = &sums;
    if (FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), OnFlacFrame, OnFlacMetadata,
                                       OnFlacError, &state) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return Failure("cannot open " + path.string());
    bool ok = FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    FLAC__StreamDecoderState end = FLAC__stream_decoder_get_state(decoder.get());
    bool md5 = FLAC__stream_decoder_finish(decoder.get());
    if (state.Unsuitable) return Failure(path.string() + " is " + NotCdAudio);
    if (!ok || !state.Started || end != FLAC__STREAM_DECODER_END_OF_STREAM)
        return Failure(path.string() + " is not a FLAC file we can read, or it is damaged");
    if (!md5) return Failure(path.string() + " is damaged: its audio does not match its MD5 sum");
    return sums.Result();
}

} // namespace

TTrackChecksums ChecksumAudioFile(const fs::path& path, bool firstTrack, bool lastTrack,
                                  bool withCrc32, const TSampleSink& sink) {
    // Before opening: a FIFO would hold the open forever.
    if (std::string reason = NotAFileReason(path); !reason.empty())
        return Failure(path.string() + " " + reason);
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "rb"));
    std::error_code ec;
    const std::uint64_t size = fs::file_size(path, ec);
    if (!file || ec || !fs::is_regular_file(path, ec))
        return Failure("cannot open " + path.string());
    char magic[4] = {};
    std::size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    TChecksummer sums(firstTrack, lastTrack, withCrc32, sink);
    std::string ext = path.extension().string();
    for (char& ch : ext)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    // FLAC files may begin with an ID3v2 tag; libFLAC skips it.
    if ((got == 4 && std::string(magic, 4) == "fLaC") || ext == ".flac") {
        file.reset();
        return ChecksumFlac(path, sums);
    }
    return ChecksumWav(path, file.get(), size, sums);
}

} // namespace bw
