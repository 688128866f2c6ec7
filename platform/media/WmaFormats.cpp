#include "WmaFormats.h"

#include "FFmpegOwners.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <cstdlib>

namespace bw::media {

namespace {

constexpr int SampleRates[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};
constexpr int BitratesKbps[] = {320, 256, 192, 160, 128, 96, 80, 64, 56, 48, 40, 32, 24};
constexpr int MaxBitsPerSampleAndChannel = 6;

bool EncoderAccepts(const AVCodec* codec, int bitrate, int sampleRate, int channels) {
    TCodecContext context(FF().avcodec_alloc_context3(codec));
    if (!context) return false;
    context->bit_rate = bitrate;
    context->sample_rate = sampleRate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    FF().av_channel_layout_default(&context->ch_layout, channels);
    return FF().avcodec_open2(context.get(), codec, nullptr) >= 0;
}

std::vector<TWmaCodec> ProbeCodecs() {
    QuietFFmpeg(); // refusals are expected here
    std::vector<TWmaCodec> codecs;
    // Version 2 first: the better of the two at every bitrate.
    for (const char* name : {"wmav2", "wmav1"}) {
        const AVCodec* encoder = FF().avcodec_find_encoder_by_name(name);
        if (!encoder) continue;
        TWmaCodec codec;
        codec.Name = encoder->long_name ? encoder->long_name : name;
        codec.Encoder = name;
        for (int rate : SampleRates)
            for (int channels : {2, 1})
                for (int kbps : BitratesKbps) {
                    int bitrate = kbps * 1000;
                    if (static_cast<std::int64_t>(bitrate) >
                        static_cast<std::int64_t>(MaxBitsPerSampleAndChannel) * rate * channels)
                        continue;
                    if (!EncoderAccepts(encoder, bitrate, rate, channels)) continue;
                    TWmaFormat format;
                    format.Bitrate = bitrate;
                    format.SampleRate = rate;
                    format.Channels = channels;
                    format.Description = WmaFormatDescription(bitrate, rate, channels);
                    codec.Formats.push_back(std::move(format));
                }
        codecs.push_back(std::move(codec));
    }
    return codecs;
}

std::int64_t Distance(std::int64_t a, std::int64_t b) {
    return a > b ? a - b : b - a;
}

} // namespace

std::string WmaFormatDescription(int bitrate, int sampleRate, int channels) {
    return std::to_string(bitrate / 1000) + " kbit/s, " + std::to_string(sampleRate / 1000) +
           " kHz, " +
           (channels == 1   ? "mono"
            : channels == 2 ? "stereo"
                            : std::to_string(channels) + " channels") +
           " CBR";
}

const std::vector<TWmaCodec>& WmaCodecs() {
    static const std::vector<TWmaCodec> codecs = ProbeCodecs();
    return codecs;
}

std::optional<TWmaChoice> FindCodecFormat(const std::vector<TWmaCodec>& codecs,
                                          const TPcmFormat& wanted, std::int64_t target,
                                          bool lossless, bool vbr) {
    std::optional<TWmaChoice> best;
    bool match = false;
    std::int64_t bestQuality = 0, currentBitrate = 0, bestBitrate = 0, bestRate = 0;
    for (int c = 0; c < static_cast<int>(codecs.size()); ++c) {
        const TWmaCodec& codec = codecs[c];
        if ((lossless || vbr) && !codec.HasVbrFormats) continue;
        for (int f = 0; f < static_cast<int>(codec.Formats.size()); ++f) {
            const TWmaFormat& format = codec.Formats[f];
            if (lossless) {
                match = format.Lossless;
            } else if (vbr) {
                if (Distance(target, format.VbrQuality) < Distance(target, bestQuality)) {
                    bestQuality = format.VbrQuality;
                    match = true;
                }
            } else {
                currentBitrate = format.Bitrate;
                match = Distance(currentBitrate, target) < Distance(bestBitrate, target);
            }
            if (!match) continue;
            if ((lossless || vbr) && !best) best = TWmaChoice{c, f};
            if (format.Channels == wanted.Channels &&
                format.BitsPerSample == wanted.BitsPerSample &&
                Distance(format.SampleRate, wanted.SampleRate) <=
                    Distance(bestRate, wanted.SampleRate)) {
                bestBitrate = currentBitrate;
                bestRate = format.SampleRate;
                best = TWmaChoice{c, f};
            }
        }
    }
    return best;
}

} // namespace bw::media
