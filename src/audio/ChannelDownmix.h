// TChannelDownmix: the filter before an encoder that holds no more than two channels (MP3,
// WMA, APE as we write them). It mixes a source of more down to stereo with FFmpeg's own
// matrix and tells how many channels it mixed; fewer channels pass through untouched.
#pragma once

#include "AuComponents.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bw {

namespace media {
class TPcmDownmix;
}

class TChannelDownmix : public TAuConverter {
public:
    TChannelDownmix();
    ~TChannelDownmix() override;

    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;

    // The source's channel count when the last run mixed it down; 0 when it passed through.
    int MixedFrom() const { return FMixedFrom; }

protected:
    void DoOpenRead() override;
    void DoCloseRead() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    std::unique_ptr<media::TPcmDownmix> FMix; // only while mixing
    int FMixedFrom = 0;
    int FInFrame = 0; // bytes of one source frame
    std::vector<std::uint8_t> FIn, FOut;
    int FInFill = 0;
};

// The note for a converted file that was mixed down ("downmixed 6 channels to stereo"), or
// empty.
std::string DownmixNote(int mixedFrom);

} // namespace bw
