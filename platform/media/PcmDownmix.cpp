#include "PcmDownmix.h"

#include "MediaError.h"

#include <algorithm>

namespace bw::media {

std::uint64_t DefaultChannelMask(int channels) {
    static const std::uint64_t Masks[] = {
        AV_CH_LAYOUT_MONO,    AV_CH_LAYOUT_STEREO,       AV_CH_LAYOUT_SURROUND,
        AV_CH_LAYOUT_QUAD,    AV_CH_LAYOUT_5POINT0_BACK, AV_CH_LAYOUT_5POINT1_BACK,
        AV_CH_LAYOUT_6POINT1, AV_CH_LAYOUT_7POINT1,
    };
    return channels >= 1 && channels <= 8 ? Masks[channels - 1] : 0;
}

TPcmDownmix::TPcmDownmix(int channels, std::uint64_t mask, int rate, int bits)
    : FChannels(channels), FBits(bits) {
    AVChannelLayout in{}, out{};
    if (mask == 0 || FF().av_channel_layout_from_mask(&in, mask) < 0 || in.nb_channels != channels)
        FF().av_channel_layout_default(&in, channels);
    FF().av_channel_layout_default(&out, 2);
    const AVSampleFormat format = bits == 8    ? AV_SAMPLE_FMT_U8
                                  : bits == 16 ? AV_SAMPLE_FMT_S16
                                               : AV_SAMPLE_FMT_S32;
    SwrContext* swr = nullptr;
    const int result =
        FF().swr_alloc_set_opts2(&swr, &out, format, rate, &in, format, rate, 0, nullptr);
    FSwr.reset(swr);
    FF().av_channel_layout_uninit(&in);
    if (result < 0 || FF().swr_init(FSwr.get()) < 0)
        throw TMediaError("cannot mix " + std::to_string(channels) + " channels to stereo");
}

std::size_t TPcmDownmix::Mix(const std::uint8_t* in, std::size_t frames,
                             std::vector<std::uint8_t>& out) {
    const std::size_t bytes = FBits / 8;
    out.resize(frames * 2 * std::max<std::size_t>(bytes, 4));
    if (frames == 0) return 0;
    const std::uint8_t* from = in;
    std::uint8_t* to = out.data();
    if (FBits == 24) {
        // The mixer has no packed 24-bit format: through 32 bits, low byte zero.
        FWide.resize(frames * FChannels);
        for (std::size_t i = 0; i < FWide.size(); ++i)
            FWide[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(in[3 * i]) << 8 |
                                                 static_cast<std::uint32_t>(in[3 * i + 1]) << 16 |
                                                 static_cast<std::uint32_t>(in[3 * i + 2]) << 24);
        FWideOut.resize(frames * 2);
        from = reinterpret_cast<const std::uint8_t*>(FWide.data());
        to = reinterpret_cast<std::uint8_t*>(FWideOut.data());
    }
    const int mixed = FF().swr_convert(FSwr.get(), &to, static_cast<int>(frames), &from,
                                       static_cast<int>(frames));
    if (mixed < 0) throw TMediaError("cannot mix the channels to stereo");
    const std::size_t samples = static_cast<std::size_t>(mixed) * 2;
    if (FBits == 24)
        for (std::size_t i = 0; i < samples; ++i) {
            const auto v = static_cast<std::uint32_t>(FWideOut[i]);
            out[3 * i] = static_cast<std::uint8_t>(v >> 8);
            out[3 * i + 1] = static_cast<std::uint8_t>(v >> 16);
            out[3 * i + 2] = static_cast<std::uint8_t>(v >> 24);
        }
    return samples * bytes;
}

} // namespace bw::media
