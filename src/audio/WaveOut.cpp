#include "WaveOut.h"

#include "PcmDownmix.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace bw {

namespace {

constexpr int PcmPullBytes = 16384;

std::uint32_t Clamp32(std::int64_t value) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, 0xFFFFFFFF));
}

} // namespace

TWaveOut::~TWaveOut() {
    Shutdown();
}

void TWaveOut::SetWavType(TWavType Value) {
    if (!FBusy && (Value == wtPCM || Value == wtDVIADPCM)) FWavType = Value;
}

void TWaveOut::SetBlockSize(std::uint16_t Value) {
    if (!FBusy && Value != 0 && Value % 4 == 0) FBlockSize = Value;
}

void TWaveOut::ReleaseAfterFailure() {
    if (TAuInput* input = Input()) {
        try {
            input->CloseRead();
        } catch (...) {
            // The failure being reported matters more than this one.
        }
    }
    CloseDestination();
}

void TWaveOut::Abandon(const char* message) {
    ReleaseAfterFailure();
    throw EAuException(message);
}

void TWaveOut::WriteLe32At(std::int64_t position, std::uint32_t value) {
    std::uint8_t bytes[4];
    PutLe32(bytes, value);
    if (FStream->Seek(position, TSeekOrigin::soBeginning) != position)
        throw EAuException("Cannot write to " + FStream->Describe());
    FStream->WriteBuffer(bytes, 4);
}

void TWaveOut::PrepareOutput() {
    FEndOfInput = false;
    FDataWritten = 0;
    FFramesEncoded = 0;
    FAppending = OpenDestination(FFileMode == foAppend);
    if (FAppending && FStream->Size() <= 0) FAppending = false; // an empty file is a new one
    FOrigin = FAppending ? 0 : std::max<std::int64_t>(FStream->Position(), 0);
    Input()->OpenRead();
    try {
        FChannels = Input()->Channels();
        FBits = Input()->BitsPerSample();
        FAnnounced = Input()->Size();
        if (FAppending)
            PrepareAppend();
        else
            PrepareNew();
        if (FWavType == wtDVIADPCM) {
            std::size_t frames = ImaFramesPerBlock(FBlockSize, FChannels);
            FPcmBlock.assign(frames * FChannels * 2, 0);
            FSamples.assign(frames * FChannels, 0);
            FCodeBlock.assign(FBlockSize, 0);
        }
    } catch (const EAuException&) {
        throw; // Abandon has released everything already
    } catch (...) {
        ReleaseAfterFailure();
        throw;
    }
}

void TWaveOut::PrepareAppend() {
    TAuInput& input = *Input();
    FTarget = {};
    FTarget.FileSize = FStream->Size();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(
        std::min<std::int64_t>(FTarget.FileSize, WaveHeaderScanLimit + 4)));
    FStream->SetPosition(0);
    bytes.resize(static_cast<std::size_t>(FStream->ReadSome(bytes.data(), bytes.size())));
    TWaveHeaderInfo& h = FTarget.Header;
    h = ScanWaveHeader(bytes, static_cast<std::uint64_t>(FTarget.FileSize));
    bool found = h.Status == TWaveScanStatus::Found && h.FormatComplete &&
                 (h.FormatTag == WaveFormatPcm || h.FormatTag == WaveFormatImaAdpcm);
    // Appended audio goes at the end of the file, so the data must be its last chunk.
    if (!found || std::int64_t{h.DataStart} + h.DataSize < FTarget.FileSize)
        Abandon("Cannot append data to this .wav file.");
    FWavType = h.FormatTag == WaveFormatPcm ? wtPCM : wtDVIADPCM;
    FTarget.DataBytes = FTarget.FileSize - h.DataStart;

    if (FWavType == wtPCM) {
        if (input.SampleRate() != static_cast<int>(h.SampleRate) || FBits != h.BitsPerSample ||
            FChannels != h.Channels)
            Abandon("Cannot append data in different audio format.");
        // A torn last frame would shift every appended one.
        int frameBytes = h.Channels * h.BitsPerSample / 8;
        if (frameBytes == 0 || FTarget.DataBytes % frameBytes != 0)
            Abandon("Cannot append data to this .wav file.");
    } else {
        if (FBits != 16) Abandon("Cannot encode 8 bit sound into ADPCM.");
        if (input.SampleRate() != static_cast<int>(h.SampleRate) || FChannels != h.Channels)
            Abandon("Cannot append data in different audio format.");
        if (!h.HasFact || ImaFramesPerBlock(h.BlockAlign, h.Channels) == 0 ||
            FTarget.DataBytes % h.BlockAlign != 0)
            Abandon("Cannot append data to this .wav file.");
        FBlockSize = h.BlockAlign; // the step indices carry on from the last run
    }
    FStream->Seek(0, TSeekOrigin::soEnd);
}

void TWaveOut::PrepareNew() {
    TAuInput& input = *Input();
    int bits = FBits;
    auto rate = static_cast<std::uint32_t>(input.SampleRate());
    if (FWavType == wtPCM) {
        const std::uint32_t dataSize = FAnnounced < 0 ? 0xFFFFFFFF : Clamp32(FAnnounced);
        FHeaderSize = PcmHeaderSize;
        if (FChannels <= 2) {
            auto header = MakePcmHeader(FChannels, rate, bits, dataSize);
            FStream->WriteBuffer(header.data(), header.size());
            return;
        }
        // More than two channels need their speaker positions, which only the extensible
        // header holds: the source's, or the usual ones for the count.
        std::uint64_t mask = input.GetChannelMask();
        if (mask == 0 || std::popcount(mask) != FChannels || mask > 0xFFFFFFFF)
            mask = media::DefaultChannelMask(FChannels);
        auto header =
            MakeExtensibleHeader(FChannels, rate, bits, static_cast<std::uint32_t>(mask), dataSize);
        FStream->WriteBuffer(header.data(), header.size());
        FHeaderSize = ExtensibleHeaderSize;
        return;
    }
    if (bits != 16) Abandon("Cannot encode 8 bit sound into ADPCM.");
    if (FChannels != 1 && FChannels != 2) Abandon("Cannot encode more than 2 channels into ADPCM.");
    if (ImaFramesPerBlock(FBlockSize, FChannels) == 0)
        Abandon("The ADPCM block size does not suit the channel count.");
    std::uint16_t framesPerBlock = ImaWriterFramesPerBlock(FChannels, FBlockSize);
    std::int64_t frames = FAnnounced > 0 ? FAnnounced / 2 / FChannels : 0;
    double blocks = std::nearbyint(static_cast<double>(frames) / framesPerBlock);
    auto header = MakeImaHeader(FChannels, rate, FBlockSize, Clamp32(frames),
                                Clamp32(static_cast<std::int64_t>(blocks) * FBlockSize));
    FStream->WriteBuffer(header.data(), header.size());
    FIma = {};
}

void TWaveOut::WriteImaBlock() {
    std::fill(FPcmBlock.begin(), FPcmBlock.end(), 0);
    bool endOfInput = false;
    int got =
        Input()->PullExactly(FPcmBlock.data(), static_cast<int>(FPcmBlock.size()), endOfInput);
    FEndOfInput = endOfInput;
    FFramesEncoded += got / (2 * FChannels);
    std::memcpy(FSamples.data(), FPcmBlock.data(), FPcmBlock.size());
    ImaEncodeBlock(FSamples, FChannels, FCodeBlock, FIma);
    FStream->WriteBuffer(FCodeBlock.data(), static_cast<std::int64_t>(FCodeBlock.size()));
    FDataWritten += static_cast<std::int64_t>(FCodeBlock.size());
}

bool TWaveOut::OutputBlock(bool Abort) {
    if (Abort || FEndOfInput) return false;
    try {
        if (FWavType == wtDVIADPCM) {
            WriteImaBlock();
            return true;
        }
        std::uint8_t* data = nullptr;
        int bytes = PcmPullBytes;
        Input()->PullData(data, bytes);
        if (bytes <= 0 || !data) return false;
        FStream->WriteBuffer(data, bytes);
        FDataWritten += bytes;
        return true;
    } catch (...) {
        ReleaseAfterFailure();
        throw;
    }
}

void TWaveOut::FixHeader() {
    std::int64_t fileSize = FStream->Size();
    if (fileSize < 0) return; // a stream that cannot seek keeps the header it was given
    if (FAppending) {
        const TWaveHeaderInfo& h = FTarget.Header;
        std::int64_t dataSize = fileSize - h.DataStart;
        WriteLe32At(h.DataSizePos, Clamp32(dataSize));
        if (FWavType == wtDVIADPCM) {
            // Earlier blocks are whole blocks of audio now; the new ones hold what came in.
            std::int64_t oldFrames =
                FTarget.DataBytes / h.BlockAlign * ImaFramesPerBlock(h.BlockAlign, h.Channels);
            WriteLe32At(h.FactPos, Clamp32(oldFrames + FFramesEncoded));
        }
    } else if (FWavType == wtPCM) {
        WriteLe32At(FOrigin + FHeaderSize - 4, Clamp32(fileSize - FOrigin - FHeaderSize));
    } else {
        WriteLe32At(FOrigin + ImaHeaderDataSizePos, Clamp32(fileSize - FOrigin - ImaHeaderSize));
        WriteLe32At(FOrigin + ImaHeaderFactPos, Clamp32(FFramesEncoded));
    }
    WriteLe32At(FOrigin + RiffSizePos, Clamp32(fileSize - FOrigin - 8));
    FStream->Seek(0, TSeekOrigin::soEnd);
}

void TWaveOut::FinishOutput() {
    try {
        // The IMA header's sizes are only estimates until the blocks are written, so it is
        // always completed; a PCM header only when the input could not tell its size, the
        // run was cut short or the input gave more than it announced.
        bool fix = FAppending || FWavType == wtDVIADPCM || FAnnounced < 0 || Stopped() ||
                   FDataWritten > FAnnounced;
        if (fix) {
            FixHeader();
        } else if (FDataWritten < FAnnounced) {
            // Keep the announced length: the missing end becomes silence (unsigned 8-bit
            // samples are silent at 128).
            std::vector<std::uint8_t> zeros(PcmPullBytes, FBits == 8 ? 0x80 : 0);
            std::int64_t missing = FAnnounced - FDataWritten;
            while (missing > 0) {
                auto n = std::min<std::int64_t>(missing, PcmPullBytes);
                FStream->WriteBuffer(zeros.data(), n);
                missing -= n;
            }
        }
    } catch (...) {
        ReleaseAfterFailure();
        throw;
    }
    CloseDestination();
    Input()->CloseRead();
}

} // namespace bw
