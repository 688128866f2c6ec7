// The Ogg Vorbis sink: encodes PCM with libvorbis into an Ogg logical stream, with the
// Comments as Vorbis comments. With foAppend a new logical stream follows the file's bytes.
#pragma once

#include "AuFileOut.h"
#include "AuTags.h"
#include "Codec.h"
#include "VorbisEnc.h"
#include "ogg.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace bw {

enum class TVorbisBitRate : std::uint8_t {
    brAutoSelect,
    br24,
    br32,
    br45,
    br48,
    br56,
    br64,
    br80,
    br96,
    br112,
    br128,
    br144,
    br160,
    br192,
    br224,
    br256,
    br320,
    br499
};
// Bits per second; -1 for brAutoSelect.
long VorbisBitRateValue(TVorbisBitRate rate);

// How a run sets up the encoder.
struct TVorbisSetup {
    bool QualityMode = true;
    float Quality = 0.2f;
    long Maximum = -1, Nominal = -1, Minimum = -1; // bit/s, bitrate mode
};

// The comment pairs (key, UTF-8 value) in store order, leaving out empty values.
std::vector<std::pair<std::string, std::string>> VorbisCommentsOf(const TVorbisTags& tags);

class TVorbisOut : public TAuFileOut {
public:
    static constexpr int BlockBytes = 32768;
    static constexpr int MaxChannels = 16;

    // Raises "<file> library could not be loaded." for the first of libogg, libvorbis,
    // libvorbisfile, libvorbisenc that is missing.
    TVorbisOut();
    ~TVorbisOut() override;

    float Compression = 0.2f; // quality for quality mode
    std::int32_t Serial = 0;  // serial number of the logical stream

    TVorbisTags& Comments() { return FComments; }
    void SetComments(const TVorbisTags& tags) { FComments.Assign(tags); }

    TVorbisBitRate DesiredMaximumBitrate() const { return FMaximum; }
    TVorbisBitRate DesiredNominalBitrate() const { return FNominal; }
    TVorbisBitRate MinimumBitrate() const { return FMinimum; }
    // The three setters keep minimum <= nominal <= maximum; see the .cpp for the rules.
    void SetDesiredMaximumBitrate(TVorbisBitRate v);
    void SetDesiredNominalBitrate(TVorbisBitRate v);
    void SetMinimumBitrate(TVorbisBitRate v);

    void SetFileMode(TFileOutputMode Value) override { FFileMode = Value; }

    TVorbisSetup MakeSetup() const;

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;

private:
    struct TCodecState; // libogg / libvorbis structures of one run
    struct TCodecStateDeleter {
        void operator()(TCodecState* state) const;
    };

    void WritePage(const ogg_page& page);
    void ReleaseRun();
    void FailRun();

    TVorbisTags FComments;
    TVorbisBitRate FMaximum = TVorbisBitRate::brAutoSelect;
    TVorbisBitRate FNominal = TVorbisBitRate::brAutoSelect;
    TVorbisBitRate FMinimum = TVorbisBitRate::brAutoSelect;

    std::unique_ptr<TCodecState, TCodecStateDeleter> FState;
    bool FEndOfStream = false;
    int FChannels = 2;
    int FBits = 16;
};

} // namespace bw
