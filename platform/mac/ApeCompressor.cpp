#include "ApeCompressor.h"

#include "Md5.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace bw::mac {

namespace {

constexpr std::uint32_t DescriptorBytes = 52;
constexpr std::uint32_t HeaderBytes = 24;
constexpr std::uint16_t Version = 3990;
// A WAV data chunk cannot hold more; it bounds the seek table of a stream of unknown length.
constexpr std::uint64_t MaxWavData = 0xFFFFFFFFull - 44;

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(std::uint8_t(x)), v.push_back(std::uint8_t(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF), Put16(v, x >> 16);
}
void PutTag(std::vector<std::uint8_t>& v, const char* tag) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(tag[i]));
}

std::vector<std::uint8_t> CanonicalWavHeader(int channels, std::uint32_t rate, int bits,
                                             std::uint32_t dataBytes) {
    std::vector<std::uint8_t> h;
    const int align = channels * bits / 8;
    PutTag(h, "RIFF");
    Put32(h, 36 + dataBytes);
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    Put32(h, 16);
    Put16(h, 1);
    Put16(h, channels);
    Put32(h, rate);
    Put32(h, rate * align);
    Put16(h, align);
    Put16(h, bits);
    PutTag(h, "data");
    Put32(h, dataBytes);
    return h;
}

} // namespace

TApeCompressor::~TApeCompressor() {
    // A compressor destroyed before Finish leaves no half-written file behind.
    if (FFile) Close(true);
}

int TApeCompressor::Fail(int code) {
    if (!FError) FError = code;
    return FError;
}

void TApeCompressor::Close(bool remove) {
    FFile.reset();
    if (remove && !FPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(FPath, ec);
    }
}

int TApeCompressor::Start(const char* fileName, const TWaveFormatEx* format,
                          std::int64_t maxAudioBytes, int level, const void* header,
                          int headerBytes) {
    if (FStarted) return ErrorInvalidFunctionParameter;
    if (!fileName || !*fileName || !format) return ErrorInvalidFunctionParameter;
    if (format->FormatTag != 1) return ErrorInvalidInputFile;
    if (format->Channels < 1 || format->Channels > 2) return ErrorUnsupportedChannelCount;
    if (format->BitsPerSample != 8 && format->BitsPerSample != 16 && format->BitsPerSample != 24)
        return ErrorUnsupportedBitDepth;
    if (format->SamplesPerSec == 0) return ErrorUnsupportedSampleRate;
    if (level != 1000 && level != 2000 && level != 3000 && level != 4000) return ErrorBadParameter;
    if (header && headerBytes > 0 && headerBytes > (1 << 24)) return ErrorInvalidFunctionParameter;

    FLevel = level;
    FBits = format->BitsPerSample;
    FChannels = format->Channels;
    FBlockAlign = FChannels * FBits / 8;
    FSampleRate = format->SamplesPerSec;
    FBlocksPerFrame = BlocksPerFrame(level);
    const std::uint64_t limit = maxAudioBytes < 0 ? MaxWavData : std::uint64_t(maxAudioBytes);
    FMaxBytes = std::min(limit, MaxWavData) / FBlockAlign * FBlockAlign;
    FSeekSlots = SlotsFor(FMaxBytes / FBlockAlign);
    // Without a length the table's size is open: the coded audio waits in memory (up to a
    // limit), so that a file that ends in time gets a table of its exact size.
    FHolding = maxAudioBytes < 0;

    FOwnWavHeader = !header || headerBytes < 0;
    if (FOwnWavHeader)
        FWavHeader = CanonicalWavHeader(FChannels, FSampleRate, FBits,
                                        static_cast<std::uint32_t>(FMaxBytes));
    else
        FWavHeader.assign(static_cast<const std::uint8_t*>(header),
                          static_cast<const std::uint8_t*>(header) + headerBytes);
    try {
        FEncoder = std::make_unique<TApeFrameEncoder>(level, FBits, FChannels);
        FFrame.resize(std::size_t(FBlocksPerFrame) * FBlockAlign);
        FSeekTable.reserve(FSeekSlots);
    } catch (const std::bad_alloc&) {
        return ErrorInsufficientMemory;
    }

    FPath = fileName;
    FFile.reset(std::fopen(fileName, "w+b"));
    if (!FFile) return ErrorInvalidOutputFile;
    std::setvbuf(FFile.get(), nullptr, _IOFBF, 1 << 20);
    if (!FHolding && LayOut(FSeekSlots) != ErrorSuccess) {
        Close(true);
        return ErrorIOWrite;
    }
    FStarted = true;
    return ErrorSuccess;
}

std::uint32_t TApeCompressor::SlotsFor(std::uint64_t blocks) const {
    return std::max<std::uint32_t>(
        1, static_cast<std::uint32_t>((blocks + FBlocksPerFrame - 1) / FBlocksPerFrame));
}

int TApeCompressor::LayOut(std::uint32_t slots) {
    FSeekSlots = slots;
    FFirstFrame = DescriptorBytes + HeaderBytes + 4 * FSeekSlots +
                  static_cast<std::uint32_t>(FWavHeader.size());
    // Placeholders for everything before the audio; Finish writes the real values.
    const std::vector<std::uint8_t> zeros(FFirstFrame, 0);
    if (std::fwrite(zeros.data(), 1, zeros.size(), FFile.get()) != zeros.size() ||
        (!FHeld.empty() && std::fwrite(FHeld.data(), 1, FHeld.size(), FFile.get()) != FHeld.size()))
        return Fail(ErrorIOWrite);
    FHeld = {};
    FHolding = false;
    return ErrorSuccess;
}

std::uint8_t* TApeCompressor::Lock(int* available) {
    if (available) *available = 0;
    if (!FStarted || FError || !available) return nullptr;
    const std::size_t room = std::min<std::size_t>(FFrame.size() - FFilled, 1 << 30);
    *available = static_cast<int>(room);
    return FFrame.data() + FFilled;
}

int TApeCompressor::Unlock(int bytes) {
    if (!FStarted) return ErrorInvalidFunctionParameter;
    if (FError) return FError;
    if (bytes < 0 || std::size_t(bytes) > FFrame.size() - FFilled)
        return Fail(ErrorInvalidFunctionParameter);
    if (FPcmBytes + std::uint64_t(bytes) > FMaxBytes) return Fail(ErrorTooMuchData);
    FPcmBytes += bytes;
    FFilled += bytes;
    if (FFilled == FFrame.size()) {
        if (int code = EncodeFrame(FBlocksPerFrame)) return code;
        FFilled = 0;
    }
    return ErrorSuccess;
}

int TApeCompressor::EncodeFrame(std::uint32_t blocks) {
    FSeekTable.push_back(FLogical);
    const std::size_t before = FPending.size();
    try {
        FEncoder->Encode(FFrame.data(), blocks, FPending);
    } catch (const std::bad_alloc&) {
        return Fail(ErrorInsufficientMemory);
    }
    FLogical += FPending.size() - before;
    FBlocks += blocks;
    ++FFrames;
    FLastFrameBlocks = blocks;
    return WriteWords(false);
}

// The coded stream is stored as 32-bit words whose first byte is the most significant.
int TApeCompressor::WriteWords(bool final) {
    if (final) FPending.resize((FPending.size() / 4 + 1) * 4, 0);
    const std::size_t whole = FPending.size() / 4 * 4;
    FWords.resize(whole);
    for (std::size_t i = 0; i < whole; i += 4) {
        FWords[i] = FPending[i + 3];
        FWords[i + 1] = FPending[i + 2];
        FWords[i + 2] = FPending[i + 1];
        FWords[i + 3] = FPending[i];
    }
    FPending.erase(FPending.begin(), FPending.begin() + whole);
    if (FHolding) {
        FHeld.insert(FHeld.end(), FWords.begin(), FWords.end());
        // Past the limit the table is reserved for the longest WAV and the audio goes out.
        if (FHeld.size() <= FHoldLimit) return ErrorSuccess;
        return LayOut(FSeekSlots);
    }
    if (whole > 0 && std::fwrite(FWords.data(), 1, whole, FFile.get()) != whole)
        return Fail(ErrorIOWrite);
    return ErrorSuccess;
}

int TApeCompressor::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
    if (std::fseek(FFile.get(), offset, SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, FFile.get()) != size)
        return Fail(ErrorIOWrite);
    return ErrorSuccess;
}

std::vector<std::uint8_t> TApeCompressor::HeaderBlock() const {
    std::vector<std::uint8_t> h;
    Put16(h, FLevel);
    Put16(h, 0);
    Put32(h, FBlocksPerFrame);
    Put32(h, FLastFrameBlocks);
    Put32(h, FFrames);
    Put16(h, FBits);
    Put16(h, FChannels);
    Put32(h, FSampleRate);
    return h;
}

std::vector<std::uint8_t> TApeCompressor::SeekTableBytes() const {
    std::vector<std::uint8_t> t;
    for (std::uint32_t i = 0; i < FSeekSlots; ++i)
        Put32(t,
              i < FSeekTable.size() ? static_cast<std::uint32_t>(FFirstFrame + FSeekTable[i]) : 0);
    return t;
}

int TApeCompressor::Finish(const std::uint8_t* terminating, int terminatingBytes, int wavBytes) {
    if (!FStarted) return ErrorInvalidFunctionParameter;
    FStarted = false;
    if (terminatingBytes < 0 || wavBytes < 0 || wavBytes > terminatingBytes ||
        (terminatingBytes > 0 && !terminating))
        Fail(ErrorInvalidFunctionParameter);
    // A trailing part of a block cannot be coded; it is dropped as a WAV reader would.
    const std::uint32_t blocks = static_cast<std::uint32_t>(FFilled / FBlockAlign);
    if (!FError && blocks > 0) EncodeFrame(blocks);
    // The format cannot describe a file without frames.
    if (!FError && FFrames == 0) Fail(ErrorInputFileTooSmall);
    if (!FError) WriteWords(true);
    if (!FError && FHolding) LayOut(FFrames);
    const std::uint64_t audioBytes = (FLogical / 4 + 1) * 4;
    if (!FError && terminatingBytes > 0 &&
        std::fwrite(terminating, 1, terminatingBytes, FFile.get()) != std::size_t(terminatingBytes))
        Fail(ErrorIOWrite);
    if (!FError && std::fflush(FFile.get()) != 0) Fail(ErrorIOWrite);
    if (FError) {
        Close(true);
        return FError;
    }

    const std::uint32_t dataBytes = static_cast<std::uint32_t>(FBlocks * FBlockAlign);
    if (FOwnWavHeader) FWavHeader = CanonicalWavHeader(FChannels, FSampleRate, FBits, dataBytes);
    const auto header = HeaderBlock();
    const auto seek = SeekTableBytes();

    TMd5 md5;
    md5.Update(FWavHeader.data(), FWavHeader.size());
    std::vector<std::uint8_t> chunk(1 << 20);
    if (std::fseek(FFile.get(), FFirstFrame, SEEK_SET) != 0) Fail(ErrorIORead);
    for (std::uint64_t left = audioBytes; !FError && left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (std::fread(chunk.data(), 1, n, FFile.get()) != n) {
            Fail(ErrorIORead);
            break;
        }
        md5.Update(chunk.data(), n);
        left -= n;
    }
    if (wavBytes > 0) md5.Update(terminating, wavBytes);
    md5.Update(header.data(), header.size());
    md5.Update(seek.data(), seek.size());
    const auto digest = md5.Final();

    std::vector<std::uint8_t> d;
    PutTag(d, "MAC ");
    Put16(d, Version);
    Put16(d, 0);
    Put32(d, DescriptorBytes);
    Put32(d, HeaderBytes);
    Put32(d, static_cast<std::uint32_t>(seek.size()));
    Put32(d, static_cast<std::uint32_t>(FWavHeader.size()));
    Put32(d, static_cast<std::uint32_t>(audioBytes));
    Put32(d, static_cast<std::uint32_t>(audioBytes >> 32));
    Put32(d, static_cast<std::uint32_t>(wavBytes));
    d.insert(d.end(), digest.begin(), digest.end());
    d.insert(d.end(), header.begin(), header.end());
    d.insert(d.end(), seek.begin(), seek.end());
    d.insert(d.end(), FWavHeader.begin(), FWavHeader.end());
    if (!FError) WriteAt(0, d.data(), d.size());
    std::FILE* file = FFile.release();
    if (std::fclose(file) != 0) Fail(ErrorIOWrite);
    if (FError) Close(true);
    return FError;
}

} // namespace bw::mac
