#include "MP3Out.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace bw {

namespace {

const TLameApi& Lame() {
    return LameLibrary().Api();
}

} // namespace

int MP3BitRateKbps(TMP3BitRate rate) {
    static const int kbps[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                               96, 112, 128, 144, 160, 192, 224, 256, 320};
    return kbps[static_cast<int>(rate)];
}

void TMP3Out::THandleCloser::operator()(lame_global_flags* handle) const {
    Lame().lame_close(handle);
}

TMP3Out::TMP3Out() {
    if (!LameLoaded()) throw EAuException(LameLibrary().NotLoadedMessage());
}

TMP3Out::~TMP3Out() {
    Shutdown();
    ReleaseRun();
}

TLameParams TMP3Out::MakeLameParams(int channels, int sampleRate, int bitsPerSample,
                                    std::int64_t size) {
    TLameParams p;
    const std::int64_t frameBytes = std::int64_t(bitsPerSample / 8) * channels;
    if (size > 0 && frameBytes > 0) p.NumSamples = static_cast<std::uint32_t>(size / frameBytes);
    p.InSampleRate = sampleRate;
    p.NumChannels = 2; // one-channel input is widened block by block
    static const int rates[] = {0, 32000, 44100, 48000};
    p.OutSampleRate = rates[static_cast<int>(SampleRate)];
    if (sampleRate < 41000) p.OutSampleRate = 32000;
    p.Mode = channels == 1 ? 3 : static_cast<int>(Mode);
    if (frameBytes > 0 && sampleRate > 0) {
        // Without a fixed output rate LAME may pick up to 48 kHz.
        const std::int64_t outRate = p.OutSampleRate > 0 ? p.OutSampleRate : 48000;
        const std::int64_t frames = BlockBytes / frameBytes;
        const std::int64_t outFrames =
            (frames * std::max<std::int64_t>(outRate, sampleRate) + sampleRate - 1) / sampleRate;
        p.OutputBufferBytes =
            static_cast<int>(std::max<std::int64_t>(OutputBufferSize, outFrames * 5 / 4 + 7201));
    }
    p.Copyright = Copyright ? 1 : 0;
    p.Original = Original ? 1 : 0;
    p.ErrorProtection = CRC ? 1 : 0;
    p.VBR = EnableVBR;
    if (!EnableVBR) {
        p.BitRateKbps = MP3BitRateKbps(BitRate);
        p.Quality = static_cast<int>(Quality);
    } else {
        p.WriteVbrTag = WriteVBRHeader;
        p.VBRQuality = static_cast<int>(VBRQuality);
        if (VBRMaxBitrate < VBRMinBitrate) std::swap(VBRMinBitrate, VBRMaxBitrate);
        p.VBRMinKbps = VBRMinBitrate;
        p.VBRMaxKbps = VBRMaxBitrate;
    }
    return p;
}

void TMP3Out::ReleaseRun() {
    FHandle.reset();
    FOutput = {};
    FStereo = {};
    CloseDestination();
}

void TMP3Out::PrepareOutput() {
    try {
        OpenDestination(false);
        FRunStart = FStream->Position();
        TAuInput& input = *Input();
        input.OpenRead();
        FHandle.reset(Lame().lame_init());
        if (!FHandle) throw std::runtime_error("LAME init failed");
        FChannels = input.Channels();
        if (FChannels < 1 || FChannels > 2)
            throw EAuException("MP3 output takes mono or stereo input.");
        const TLameParams p =
            MakeLameParams(FChannels, input.SampleRate(), input.BitsPerSample(), input.Size());
        const auto& lame = Lame();
        lame_global_flags* h = FHandle.get();
        if (p.NumSamples) lame.lame_set_num_samples(h, *p.NumSamples);
        lame.lame_set_in_samplerate(h, p.InSampleRate);
        lame.lame_set_num_channels(h, p.NumChannels);
        lame.lame_set_out_samplerate(h, p.OutSampleRate);
        lame.lame_set_mode(h, static_cast<MPEG_mode>(p.Mode));
        lame.lame_set_copyright(h, p.Copyright);
        lame.lame_set_original(h, p.Original);
        lame.lame_set_error_protection(h, p.ErrorProtection);
        if (!p.VBR) {
            lame.lame_set_brate(h, p.BitRateKbps);
            lame.lame_set_quality(h, p.Quality);
        } else {
            if (p.WriteVbrTag) lame.lame_set_bWriteVbrTag(h, 1);
            lame.lame_set_VBR(h, vbr_rh); // mode value 2
            lame.lame_set_VBR_q(h, p.VBRQuality);
            lame.lame_set_VBR_min_bitrate_kbps(h, p.VBRMinKbps);
            lame.lame_set_VBR_max_bitrate_kbps(h, p.VBRMaxKbps);
        }
        if (lame.lame_init_params(h) == -1) throw std::runtime_error("LAME init failed");
        FOutput.assign(static_cast<std::size_t>(p.OutputBufferBytes), 0);
    } catch (...) {
        // A failed run gives back its encoder, buffers, file and input at once.
        ReleaseRun();
        if (TAuInput* input = Input()) input->ResetInput();
        throw;
    }
}

void TMP3Out::WriteEncoded(int bytes) {
    if (bytes > 0) FStream->WriteBuffer(FOutput.data(), bytes);
}

// The library opens the stream with a blank frame that it fills only at the end: the VBR
// header (Xing) or, for constant bitrate, the Info frame with the encoder delay and padding.
// Left blank it would be a frame of silence that tells players nothing.
void TMP3Out::WriteLameTag() {
    const std::size_t n =
        Lame().lame_get_lametag_frame(FHandle.get(), FOutput.data(), FOutput.size());
    if (n == 0 || n > FOutput.size() || FRunStart < 0) return;
    const std::int64_t end = FStream->Position();
    if (end < 0 || FStream->Seek(FRunStart, TSeekOrigin::soBeginning) != FRunStart) return;
    FStream->WriteBuffer(FOutput.data(), static_cast<std::int64_t>(n));
    FStream->Seek(end, TSeekOrigin::soBeginning);
}

bool TMP3Out::OutputBlock(bool Abort) {
    if (Abort) return false;
    try {
        std::uint8_t* block = nullptr;
        int bytes = BlockBytes;
        Input()->PullData(block, bytes);
        if (bytes == 0) return false;
        const auto& lame = Lame();
        int n;
        if (FChannels == 1) {
            const int frames = bytes / 2;
            FStereo.resize(std::size_t(frames) * 2);
            for (int i = 0; i < frames; ++i) {
                const auto s = static_cast<std::int16_t>(block[2 * i] | block[2 * i + 1] << 8);
                FStereo[2 * i] = s;
                FStereo[2 * i + 1] = s;
            }
            n = lame.lame_encode_buffer_interleaved(FHandle.get(), FStereo.data(), frames,
                                                    FOutput.data(), OutputBytes());
        } else {
            // The pipeline's PCM is little-endian, as is this machine; encode in place.
            n = lame.lame_encode_buffer_interleaved(FHandle.get(), reinterpret_cast<short*>(block),
                                                    bytes / 4, FOutput.data(), OutputBytes());
        }
        // A refused block is a failure, not the end of the input: a cut-off file must
        // never pass for a whole one.
        if (n < 0)
            throw EAuException("MP3 encoding failed (LAME error " + std::to_string(n) + ").");
        WriteEncoded(n);
        return true;
    } catch (...) {
        ReleaseRun();
        if (TAuInput* input = Input()) input->ResetInput();
        throw;
    }
}

void TMP3Out::FinishOutput() {
    const auto& lame = Lame();
    std::exception_ptr failure;
    try {
        lame.id3tag_init(FHandle.get());
        WriteEncoded(lame.lame_encode_flush(FHandle.get(), FOutput.data(), OutputBytes()));
        WriteLameTag();
    } catch (...) {
        failure = std::current_exception();
    }
    ReleaseRun();
    Input()->CloseRead();
    if (failure) std::rethrow_exception(failure);
}

} // namespace bw
