// The FLAC sink: encodes 8, 16 or 24-bit PCM with libFLAC into a native FLAC file. It does
// its own writing, seeking and telling through libFLAC's callbacks, and on the way puts its
// own Vorbis comment block, built from Tags, in place of the library's.
#pragma once

#include "AuFileOut.h"
#include "AuTags.h"
#include "FLAC.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bw {

// The comments of the block, in their fixed order, each only when its value is not empty.
std::vector<std::string> FLACCommentsOf(const TVorbisTags& tags);

class TFLACOut : public TAuFileOut {
public:
    // Raises "libFLAC.so.12 library could not be loaded." when the library is missing.
    TFLACOut();
    ~TFLACOut() override;

    bool BestModelSearch() const { return FBestModelSearch; }
    // True also turns mid/side on and loose mid/side off.
    void SetBestModelSearch(bool v);
    // Samples per channel in one block and one pull, with the detailed settings; a preset
    // level uses the block size flac's level of that number uses (1152, or 4096 from 3 on).
    std::uint16_t BlockSize = 4608;
    int CompressionLevel() const { return FCompressionLevel; }
    // 0..8 select a preset (above 8 stores 8); negative selects the detailed settings.
    void SetCompressionLevel(int v) { FCompressionLevel = v > 8 ? 8 : v; }
    bool EnableMidSideStereo = true;
    bool EnableLooseMidSideStereo() const { return FEnableLooseMidSideStereo; }
    // True also turns mid/side on.
    void SetEnableLooseMidSideStereo(bool v);
    std::uint16_t MaxLPCOrder = 0;
    std::uint16_t MaxResidualPartitionOrder = 0;
    std::uint16_t MinResidualPartitionOrder = 0;
    std::uint16_t QLPCoeffPrecision = 0; // lowered to 31 - bits when the sum would pass 31
    bool QLPCoeffPrecisionSearch = false;
    bool Verify = false;

    TVorbisTags& Tags() { return FTags; }
    // Copies the given tags' entries.
    void SetTags(const TVorbisTags& tags) { FTags.Assign(tags); }

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    struct TEncoderDeleter {
        void operator()(FLAC__StreamEncoder* encoder) const;
    };

    static FLAC__StreamEncoderWriteStatus WriteCallback(const FLAC__StreamEncoder*,
                                                        const FLAC__byte buffer[], size_t bytes,
                                                        uint32_t samples, uint32_t frame,
                                                        void* client);
    static FLAC__StreamEncoderSeekStatus SeekCallback(const FLAC__StreamEncoder*,
                                                      FLAC__uint64 offset, void* client);
    static FLAC__StreamEncoderTellStatus TellCallback(const FLAC__StreamEncoder*,
                                                      FLAC__uint64* offset, void* client);
    static void MetadataCallback(const FLAC__StreamEncoder*, const FLAC__StreamMetadata*, void*) {}
    void Write(const FLAC__byte buffer[], size_t bytes);
    void Flush();
    void ReleaseRun();
    void FailRun();

    bool FBestModelSearch = false;
    int FCompressionLevel = -1;
    bool FEnableLooseMidSideStereo = false;
    TVorbisTags FTags;

    // Run state
    std::unique_ptr<FLAC__StreamEncoder, TEncoderDeleter> FEncoder;
    std::vector<std::uint8_t> FSampleBuffer;
    std::vector<FLAC__int32> FSamples;
    int FBits = 16;
    int FChannels = 2;
    bool FEndOfInput = false;
    bool FCommentReplaced = false;
    std::vector<std::string> FComments;
    // The encoder writes a frame at a time: gathered here, written in large pieces.
    std::vector<std::uint8_t> FPending;
    std::int64_t FPendingAt = 0; // the file offset of FPending's first byte
};

} // namespace bw
