// Reads one audio stream of any file FFmpeg can demux (WMA in ASF, MP3, ...) from a
// TMediaIO and decodes it to interleaved 16-bit PCM, with the duration, the title
// attributes and protected content reported, and seeks by time.
#pragma once

#include "FFmpegOwners.h"
#include "MediaIO.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace bw::media {

// True when the bytes begin with an ASF header object that holds a content encryption
// object (DRM): such files cannot be decoded.
bool AsfHeaderProtected(std::span<const std::uint8_t> bytes);

class TMediaReader {
public:
    // The most channels handed out as they are: what FLAC, Vorbis and Opus hold.
    static constexpr int MaxChannels = 8;

    explicit TMediaReader(TMediaIO& io);
    ~TMediaReader();
    TMediaReader(const TMediaReader&) = delete;
    TMediaReader& operator=(const TMediaReader&) = delete;

    // False when FFmpeg cannot read the stream at all. countFrames: find the exact length
    // where the container does not state it, by reading the stream through once (decoding
    // it, for most codecs); without, Frames() stays -1 there and Duration() is the
    // container's own (the stream's duration, Ogg's last granule, the ASF header).
    bool Open(bool countFrames = true);

    // An audio stream with a decoder was found; the format below is that of the PCM handed
    // out (16 bits, or 24 for lossless sources of more; up to 8 channels as the decoder
    // orders them, files of more mixed down to stereo).
    bool HasAudio() const { return FDecoder != nullptr; }
    int Channels() const { return FChannels; }
    // The layout of those channels as WAV channel-mask bits; 0 when the decoder names none.
    std::uint64_t ChannelMask() const { return FChannelMask; }
    int SampleRate() const { return FSampleRate; }
    int BitsPerSample() const { return HasAudio() ? FBits : 0; }
    // The exact number of frames the reader hands out from the start; -1 when unknown.
    std::int64_t Frames() const { return FFrames; }
    // In units of 100 ns; 0 when unknown.
    std::int64_t Duration() const { return FDuration; }
    bool Protected() const { return FProtected; }
    // The value of an attribute under its ASF name ("Author", "Title", "WM/AlbumTitle",
    // "WM/Genre", "WM/Track", "WM/Year", "Copyright"), also from ID3 tags; empty when absent.
    std::string Attribute(const std::string& name) const;

    // The next block of PCM, valid until the next call; false at the end of the stream.
    bool NextSample(const std::uint8_t*& data, std::size_t& size);
    // The next block starts at start (100 ns units). False when the stream cannot seek.
    bool SetRange(std::int64_t start);

private:
    bool OpenFormat();
    bool OpenAudio();
    void DiscardOtherStreams();
    bool Convert(AVFrame* frame, const std::uint8_t*& data, std::size_t& size);

    TMediaIO& FIO;
    TIOContext FIOContext;
    TInputFormat FFormat;
    TCodecContext FDecoder;
    int FStream = -1;
    TSwr FSwr;
    TFrame FFrame;
    TPacket FPacket;
    std::vector<std::uint8_t> FOut;
    // What the converter was set up for; a stream may change its format midway.
    AVChannelLayout FSwrLayout{};
    int FSwrFormat = -1;
    int FSwrRate = 0;
    int FChannels = 0;
    std::uint64_t FChannelMask = 0;
    int FSampleRate = 0;
    int FBits = 16;
    std::int64_t FFrames = -1;
    std::int64_t FDuration = 0;
    bool FProtected = false;
    bool FInputEnded = false;
    std::int64_t FSkipTo = -1;   // after a seek: the first frame wanted, at the output rate
    std::int64_t FNextFrame = 0; // frame number of the next decoded sample, when known
};

} // namespace bw::media
