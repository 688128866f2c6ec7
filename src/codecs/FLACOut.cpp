#include "FLACOut.h"

#include "FLACComments.h"

#include <cmath>

namespace bw {

namespace {

const TFLACApi& Flac() {
    return FLACLibrary().Api();
}

// Written to the file in pieces of about this size.
constexpr std::size_t PendingBytes = 1 << 20;

// Room left after the comment block, as flac leaves it: the tags written once the audio is
// encoded (ReplayGain, the source's tags) then fit in place, where TagLib would otherwise
// move the whole file to make room for them.
constexpr std::uint32_t PaddingBytes = 8192;

} // namespace

std::vector<std::string> FLACCommentsOf(const TVorbisTags& tags) {
    std::vector<std::string> comments;
    auto add = [&](const char* prefix, const std::string& value) {
        if (!value.empty()) comments.push_back(prefix + value);
    };
    add("title=", tags.Title());
    add("artist=", tags.Artist());
    add("album=", tags.Album());
    add("date=", tags.Date());
    add("genre=", tags.Genre());
    add("tracknumber=", tags.Track());
    return comments;
}

void TFLACOut::TEncoderDeleter::operator()(FLAC__StreamEncoder* encoder) const {
    Flac().stream_encoder_delete(encoder);
}

TFLACOut::TFLACOut() {
    if (!FLACLibrary().Loaded()) throw EAuException(FLACLibrary().NotLoadedMessage());
}

TFLACOut::~TFLACOut() {
    Shutdown();
    ReleaseRun();
}

void TFLACOut::SetBestModelSearch(bool v) {
    if (v) {
        EnableMidSideStereo = true;
        FEnableLooseMidSideStereo = false;
    }
    FBestModelSearch = v;
}

void TFLACOut::SetEnableLooseMidSideStereo(bool v) {
    if (v) EnableMidSideStereo = true;
    FEnableLooseMidSideStereo = v;
}

void TFLACOut::ReleaseRun() {
    // The encoder first: deleting a live encoder still writes through our callbacks.
    FEncoder.reset();
    FSampleBuffer = {};
    FSamples = {};
    FPending = {};
    CloseDestination();
}

void TFLACOut::FailRun() {
    ReleaseRun();
    if (TAuInput* input = Input()) input->ResetInput();
}

void TFLACOut::PrepareOutput() {
    try {
        OpenDestination(false);
        FEndOfInput = false;
        FCommentReplaced = false;
        FComments = FLACCommentsOf(FTags);
        const auto& flac = Flac();
        FEncoder.reset(flac.stream_encoder_new());
        if (!FEncoder) throw EAuException("Failed to initialize FLAC encoder.");
        TAuInput& input = *Input();
        input.OpenRead();
        FLAC__StreamEncoder* e = FEncoder.get();
        FBits = input.BitsPerSample();
        FChannels = input.Channels();
        flac.set_verify(e, Verify);
        flac.set_channels(e, FChannels);
        flac.set_bits_per_sample(e, FBits);
        flac.set_sample_rate(e, input.SampleRate());
        if (FChannels == 2) {
            flac.set_do_mid_side_stereo(e, EnableMidSideStereo);
            flac.set_loose_mid_side_stereo(e, FEnableLooseMidSideStereo);
        }
        std::uint32_t blockSize = BlockSize;
        if (FCompressionLevel >= 0) {
            flac.set_compression_level(e, FCompressionLevel);
            blockSize = FCompressionLevel <= 2 ? 1152 : 4096;
        } else {
            flac.set_max_lpc_order(e, MaxLPCOrder);
            if (FBits + QLPCoeffPrecision > 31) QLPCoeffPrecision = 31 - FBits;
            flac.set_qlp_coeff_precision(e, QLPCoeffPrecision);
            flac.set_do_qlp_coeff_prec_search(e, QLPCoeffPrecisionSearch);
            flac.set_min_residual_partition_order(e, MinResidualPartitionOrder);
            flac.set_max_residual_partition_order(e, MaxResidualPartitionOrder);
            flac.set_do_exhaustive_model_search(e, FBestModelSearch);
        }
        const std::int64_t size = input.Size();
        if (size > 0 && FBits >= 8 && FChannels > 0) {
            const double samples = double(size) / (FBits / 8) / FChannels;
            flac.set_total_samples_estimate(e, static_cast<FLAC__uint64>(std::nearbyint(samples)));
        }
        flac.set_blocksize(e, blockSize);
        FPending.clear();
        FPending.reserve(PendingBytes);
        FPendingAt = FStream->Position(); // negative for a stream that cannot tell
        if (flac.init_stream(e, WriteCallback, SeekCallback, TellCallback, MetadataCallback,
                             this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            throw EAuException("Failed to initialize FLAC encoder.");
        FSampleBuffer.assign(std::size_t(FBits / 8) * blockSize * FChannels, 0);
    } catch (...) {
        FailRun();
        throw;
    }
}

bool TFLACOut::OutputBlock(bool Abort) {
    if (Abort || FEndOfInput) return false;
    try {
        bool end = false;
        const int bytes =
            Input()->PullExactly(FSampleBuffer.data(), static_cast<int>(FSampleBuffer.size()), end);
        if (end) FEndOfInput = true;
        if (bytes == 0) return false;
        const std::uint8_t* p = FSampleBuffer.data();
        const int count = bytes * 8 / FBits;
        FSamples.resize(count);
        if (FBits == 16) {
            for (int i = 0; i < count; ++i)
                FSamples[i] = static_cast<std::int16_t>(p[2 * i] | p[2 * i + 1] << 8);
        } else if (FBits == 8) {
            for (int i = 0; i < count; ++i)
                FSamples[i] = int(p[i]) - 128;
        } else {
            for (int i = 0; i < count; ++i) {
                const int v = p[3 * i] | p[3 * i + 1] << 8 | p[3 * i + 2] << 16;
                FSamples[i] = (v ^ 0x800000) - 0x800000;
            }
        }
        if (!Flac().process_interleaved(FEncoder.get(), FSamples.data(), count / FChannels))
            throw EAuException("Failed to encode data.");
        return true;
    } catch (...) {
        FailRun();
        throw;
    }
}

void TFLACOut::FinishOutput() {
    // finish() writes the rest and seeks back to complete the stream information.
    bool ok = Flac().finish(FEncoder.get());
    try {
        Flush();
    } catch (const std::exception&) {
        ok = false;
    }
    ReleaseRun();
    Input()->CloseRead();
    if (!ok && !Stopped()) throw EAuException("Failed to encode data.");
}

void TFLACOut::Write(const FLAC__byte buffer[], size_t bytes) {
    if (!FCommentReplaced && bytes > 0 && (buffer[0] & 0x7F) == 4) {
        FCommentReplaced = true;
        const auto block = BuildFLACCommentBlock(false, FComments);
        FPending.insert(FPending.end(), block.begin(), block.end());
        // A padding block, last when the library's comment block was.
        const std::uint8_t header[4] = {static_cast<std::uint8_t>((buffer[0] & 0x80) | 1),
                                        PaddingBytes >> 16 & 0xFF, PaddingBytes >> 8 & 0xFF,
                                        PaddingBytes & 0xFF};
        FPending.insert(FPending.end(), header, header + 4);
        FPending.insert(FPending.end(), PaddingBytes, 0);
    } else {
        FPending.insert(FPending.end(), buffer, buffer + bytes);
    }
    if (FPending.size() >= PendingBytes) Flush();
}

void TFLACOut::Flush() {
    if (FPending.empty()) return;
    FStream->WriteBuffer(FPending.data(), static_cast<std::int64_t>(FPending.size()));
    if (FPendingAt >= 0) FPendingAt += static_cast<std::int64_t>(FPending.size());
    FPending.clear();
}

FLAC__StreamEncoderWriteStatus TFLACOut::WriteCallback(const FLAC__StreamEncoder*,
                                                       const FLAC__byte buffer[], size_t bytes,
                                                       uint32_t, uint32_t, void* client) {
    try {
        static_cast<TFLACOut*>(client)->Write(buffer, bytes);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    } catch (...) {
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
}

FLAC__StreamEncoderSeekStatus TFLACOut::SeekCallback(const FLAC__StreamEncoder*,
                                                     FLAC__uint64 offset, void* client) {
    try {
        // The whole 64-bit offset: files past 4 GiB must seek right too.
        auto& self = *static_cast<TFLACOut*>(client);
        self.Flush();
        const auto target = static_cast<std::int64_t>(offset);
        if (self.FStream->Seek(target, TSeekOrigin::soBeginning) != target)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        self.FPendingAt = target;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    } catch (...) {
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
}

FLAC__StreamEncoderTellStatus TFLACOut::TellCallback(const FLAC__StreamEncoder*,
                                                     FLAC__uint64* offset, void* client) {
    try {
        // Where the next byte goes: asked once a frame, so known here without a system call.
        const auto& self = *static_cast<TFLACOut*>(client);
        if (self.FPendingAt < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
        *offset = static_cast<FLAC__uint64>(self.FPendingAt) + self.FPending.size();
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    } catch (...) {
        return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    }
}

} // namespace bw
