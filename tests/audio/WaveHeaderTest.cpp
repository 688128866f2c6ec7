// The WAVE header scan as a pure function of bytes: where it finds the data, what it
// refuses, and that asking for bytes step by step (a stream that cannot seek) ends where a
// scan of the whole buffer ends.
#include "WaveHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace bw;

namespace {

using TBytes = std::vector<std::uint8_t>;

struct TRiff {
    TBytes Bytes;

    TRiff& Raw(const std::string& text) {
        Bytes.insert(Bytes.end(), text.begin(), text.end());
        return *this;
    }
    TRiff& Le16(std::uint16_t v) {
        Bytes.push_back(v & 0xFF), Bytes.push_back(v >> 8);
        return *this;
    }
    TRiff& Le32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Bytes.push_back((v >> (8 * i)) & 0xFF);
        return *this;
    }
    TRiff& Chunk(const std::string& id, const TBytes& body, bool pad = true) {
        Raw(id).Le32(static_cast<std::uint32_t>(body.size()));
        Bytes.insert(Bytes.end(), body.begin(), body.end());
        if (pad && body.size() % 2) Bytes.push_back(0);
        return *this;
    }
    TRiff& Start(const std::string& riff = "RIFF", const std::string& wave = "WAVE") {
        return Raw(riff).Le32(0).Raw(wave);
    }
};

TBytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
           std::uint16_t bits, std::vector<std::uint16_t> extra = {}) {
    TRiff f;
    f.Le16(tag).Le16(channels).Le32(rate).Le32(rate * blockAlign).Le16(blockAlign).Le16(bits);
    if (!extra.empty()) {
        f.Le16(static_cast<std::uint16_t>(extra.size() * 2));
        for (auto v : extra)
            f.Le16(v);
    }
    return f.Bytes;
}

TBytes Le32Body(std::uint32_t v) {
    return TRiff().Le32(v).Bytes;
}

// A standard Microsoft ADPCM format chunk with the seven usual coefficient pairs.
TBytes MsFmt(std::uint16_t channels, std::uint16_t blockAlign, std::uint16_t framesPerBlock,
             std::uint16_t coefCount = 7) {
    std::vector<std::uint16_t> extra = {framesPerBlock, coefCount};
    for (int i = 0; i < coefCount; ++i)
        extra.push_back(256), extra.push_back(0);
    return Fmt(WaveFormatMsAdpcm, channels, 22050, blockAlign, 4, extra);
}

TWaveHeaderInfo Scan(const TBytes& bytes) {
    return ScanWaveHeader(bytes, bytes.size());
}

TBytes WithData(TRiff riff, std::size_t dataBytes = 64) {
    return riff.Chunk("data", TBytes(dataBytes, 0x55)).Bytes;
}

} // namespace

TEST(WaveHeaderScan, FindsOurOwnHeaders) {
    auto pcm = MakePcmHeader(2, 44100, 16, 400);
    TBytes file(pcm.begin(), pcm.end());
    file.resize(file.size() + 400);
    auto info = Scan(file);
    ASSERT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_EQ(info.FormatTag, WaveFormatPcm);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.DataStart, 44u);
    EXPECT_EQ(info.DataSizePos, 40u);
    EXPECT_EQ(info.DataSize, 400u);
    EXPECT_TRUE(WaveFormatUsable(info, 16384));

    auto ima = MakeImaHeader(2, 22050, 512, 1234, 1536);
    file.assign(ima.begin(), ima.end());
    file.resize(file.size() + 1536);
    info = Scan(file);
    ASSERT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_EQ(info.FormatTag, WaveFormatImaAdpcm);
    EXPECT_EQ(info.FramesPerBlock, 505);
    EXPECT_EQ(info.BlockAlign, 512);
    EXPECT_TRUE(info.HasFact);
    EXPECT_EQ(info.FactFrames, 1234u);
    EXPECT_EQ(info.FactPos, 48u);
    EXPECT_EQ(info.DataStart, 60u);
    EXPECT_TRUE(WaveFormatUsable(info, 16384));
    EXPECT_EQ(ImaWriterFramesPerBlock(1, 512), 1017);

    auto surround = MakeExtensibleHeader(6, 48000, 24, 0x60F, 1800);
    file.assign(surround.begin(), surround.end());
    file.resize(file.size() + 1800);
    info = Scan(file);
    ASSERT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_EQ(info.FormatTag, WaveFormatPcm);
    EXPECT_EQ(info.Channels, 6);
    EXPECT_EQ(info.BlockAlign, 18);
    EXPECT_EQ(info.ChannelMask, 0x60Fu);
    EXPECT_EQ(info.DataSizePos, 64u);
    EXPECT_EQ(info.DataStart, 68u);
    EXPECT_EQ(GetLe32(file.data() + 4), file.size() - 8);
}

TEST(WaveHeaderScan, SlidesOverJunkAndAcceptsLowerCaseIds) {
    TRiff riff;
    riff.Raw("junkRIFRIF\x01WAV"); // near misses of both ids
    std::size_t junk = riff.Bytes.size();
    riff.Start("riff", "wave").Chunk("FMT ", Fmt(1, 1, 8000, 1, 8)); // upper-case "fmt"
    auto info = Scan(WithData(riff));
    ASSERT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_EQ(info.DataStart, junk + 44);

    // Lower-case ids throughout, including the data chunk.
    TRiff lower;
    lower.Start("riff", "wave").Chunk("fmt ", Fmt(1, 2, 8000, 4, 16)).Chunk("data", TBytes(8));
    EXPECT_EQ(Scan(lower.Bytes).Status, TWaveScanStatus::Found);

    // A byte differing by anything but 32 is not the id.
    TRiff other;
    other.Start("RIFF", "WAVE").Chunk("fmt!", Fmt(1, 2, 8000, 4, 16));
    EXPECT_EQ(Scan(WithData(other)).Status, TWaveScanStatus::NotFound);
}

TEST(WaveHeaderScan, SkipsUnknownChunksHonouringThePadByte) {
    TRiff riff;
    riff.Start()
        .Chunk("JUNK", TBytes(28))
        .Chunk("fmt ", Fmt(1, 2, 44100, 4, 16))
        .Chunk("LIST", TBytes(25, 'x')) // odd: a pad byte follows
        .Chunk("fact", Le32Body(9));    // not wanted for PCM: skipped
    std::size_t dataStart = riff.Bytes.size() + 8;
    auto info = Scan(WithData(riff));
    ASSERT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_EQ(info.DataStart, dataStart);
    EXPECT_EQ(info.DataSize, 64u);
}

TEST(WaveHeaderScan, GivesUpOnDataBeyondTheLimit) {
    for (std::size_t listSize : {8000, 8100, 8132, 8134, 8200, 70000}) {
        TRiff riff;
        riff.Start().Chunk("fmt ", Fmt(1, 2, 44100, 4, 16)).Chunk("LIST", TBytes(listSize));
        std::size_t dataId = riff.Bytes.size();
        auto info = Scan(WithData(riff));
        // The scan has read "data" when it checks the count, so the id must end before it.
        bool reachable = dataId + 4 < WaveHeaderScanLimit;
        EXPECT_EQ(info.Status, reachable ? TWaveScanStatus::Found : TWaveScanStatus::NotFound)
            << "data id at " << dataId;
    }
    // A chunk size that points far beyond the limit.
    TRiff huge;
    huge.Start().Chunk("fmt ", Fmt(1, 2, 44100, 4, 16)).Raw("LIST").Le32(0xFFFFFFFF);
    EXPECT_EQ(Scan(WithData(huge)).Status, TWaveScanStatus::NotFound);
}

TEST(WaveHeaderScan, AdpcmNeedsAFactChunkBeforeItsData) {
    TBytes ima = Fmt(WaveFormatImaAdpcm, 1, 8000, 256, 4, {505});
    TRiff noFact;
    noFact.Start().Chunk("fmt ", ima);
    EXPECT_EQ(Scan(WithData(noFact)).Status, TWaveScanStatus::NotFound);

    TRiff factAfterData;
    factAfterData.Start()
        .Chunk("fmt ", ima)
        .Chunk("data", TBytes(256))
        .Chunk("fact", Le32Body(505));
    EXPECT_EQ(Scan(factAfterData.Bytes).Status, TWaveScanStatus::NotFound);

    TRiff good;
    good.Start().Chunk("fmt ", ima).Chunk("fact", Le32Body(505));
    auto info = Scan(WithData(good, 256));
    ASSERT_EQ(info.Status, TWaveScanStatus::Found);
    EXPECT_EQ(info.FactFrames, 505u);
    EXPECT_TRUE(WaveFormatUsable(info, 16384));

    TRiff shortFact; // a fact chunk too short for a frame count carries none
    shortFact.Start().Chunk("fmt ", ima).Chunk("fact", TBytes(2));
    info = Scan(WithData(shortFact, 256));
    EXPECT_FALSE(info.HasFact);
    EXPECT_FALSE(WaveFormatUsable(info, 16384));
}

TEST(WaveHeaderScan, TruncatedFilesAndSizesBeyondTheEnd) {
    TRiff riff;
    riff.Start().Chunk("fmt ", MsFmt(2, 512, 500)).Chunk("fact", Le32Body(1000));
    TBytes full = WithData(riff, 0);
    ASSERT_EQ(Scan(full).Status, TWaveScanStatus::Found); // an empty data chunk at the end
    for (std::size_t n = 0; n < full.size(); ++n) {
        TBytes prefix(full.begin(), full.begin() + n);
        EXPECT_EQ(Scan(prefix).Status, TWaveScanStatus::NotFound) << n;
    }
    TRiff beyond;
    beyond.Start().Raw("fmt ").Le32(4000).Bytes.resize(100, 0);
    EXPECT_EQ(Scan(beyond.Bytes).Status, TWaveScanStatus::NotFound);
}

TEST(WaveHeaderScan, RefusesFormatsWeDoNotRead) {
    for (std::uint16_t tag : {0, 3, 6, 7, 0x55 + 1, 0xFFFE}) {
        TRiff riff;
        riff.Start().Chunk("fmt ", Fmt(tag, 2, 44100, 4, 16, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(Scan(WithData(riff)).Status, TWaveScanStatus::NotFound) << tag;
    }
    EXPECT_EQ(WavTypeOfTag(1), wtPCM);
    EXPECT_EQ(WavTypeOfTag(2), wtMSADPCM);
    EXPECT_EQ(WavTypeOfTag(17), wtDVIADPCM);
    EXPECT_EQ(WavTypeOfTag(85), wtACM);
}

// The extensible header (tag 0xFFFE) is read as PCM when its sub-format GUID is PCM's.
TEST(WaveHeaderScan, ExtensibleHeadersWithThePcmSubFormatArePcm) {
    auto extensible = [](std::uint16_t subFormat, std::uint16_t guidWord3) {
        return Fmt(
            WaveFormatExtensible, 6, 48000, 18, 24,
            {24, 0x3F, 0, subFormat, 0x0000, 0x0000, guidWord3, 0x0080, 0xAA00, 0x3800, 0x719B});
    };
    struct Case {
        std::uint16_t SubFormat, GuidWord3;
        bool Pcm;
    } cases[] = {{1, 0x0010, true}, {3, 0x0010, false}, {1, 0x0011, false}};
    for (const Case& c : cases) {
        TRiff riff;
        riff.Start().Chunk("fmt ", extensible(c.SubFormat, c.GuidWord3));
        TWaveHeaderInfo info = Scan(WithData(riff, 180));
        EXPECT_EQ(info.Status == TWaveScanStatus::Found, c.Pcm) << c.SubFormat;
        if (!c.Pcm) continue;
        EXPECT_EQ(info.FormatTag, WaveFormatPcm);
        EXPECT_EQ(info.Channels, 6);
        EXPECT_EQ(info.BitsPerSample, 24);
        EXPECT_TRUE(WaveFormatUsable(info, 1 << 16));
    }
}

TEST(WaveHeaderScan, AskingForMoreStepByStepEndsAsTheWholeScan) {
    std::vector<TBytes> files;
    TRiff a;
    a.Raw(std::string(300, 'R')).Start().Chunk("fmt ", Fmt(1, 2, 44100, 4, 16));
    files.push_back(WithData(a));
    TRiff b;
    b.Start()
        .Chunk("fmt ", MsFmt(1, 256, 500))
        .Chunk("LIST", TBytes(3001))
        .Chunk("fact", Le32Body(7));
    files.push_back(WithData(b));
    TRiff c;
    c.Start().Chunk("fmt ", Fmt(WaveFormatImaAdpcm, 1, 8000, 256, 4, {505}));
    files.push_back(WithData(c)); // no fact: not found
    files.push_back(TBytes(9000, 'x'));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TBytes& file = files[i];
        TWaveHeaderInfo whole = Scan(file);
        std::size_t have = 0;
        TWaveHeaderInfo step;
        for (int rounds = 0; rounds < 20000; ++rounds) {
            bool atEnd = have == file.size();
            step = ScanWaveHeader(std::span(file).first(have), std::nullopt, atEnd);
            if (step.Status != TWaveScanStatus::NeedMore) break;
            ASSERT_GT(step.NeedBytes, have) << i;
            ASSERT_LE(step.NeedBytes, WaveHeaderScanLimit + 4) << i;
            have = std::min(step.NeedBytes, file.size());
        }
        EXPECT_EQ(step.Status, whole.Status) << i;
        EXPECT_EQ(step.DataStart, whole.DataStart) << i;
        EXPECT_EQ(step.FactFrames, whole.FactFrames) << i;
        if (whole.Status == TWaveScanStatus::Found) {
            EXPECT_EQ(have, whole.DataStart) << i;
        }
    }
}

TEST(WaveHeaderScan, UsableOnlyWithSaneFieldsForItsType) {
    auto usable = [](const TBytes& fmt, std::uint32_t fact = 100) {
        TRiff riff;
        riff.Start().Chunk("fmt ", fmt).Chunk("fact", Le32Body(fact));
        auto info = Scan(WithData(riff));
        return info.Status == TWaveScanStatus::Found && WaveFormatUsable(info, 16384);
    };
    auto pcmUsable = [](const TBytes& fmt) {
        TRiff riff;
        riff.Start().Chunk("fmt ", fmt);
        auto info = Scan(WithData(riff));
        return info.Status == TWaveScanStatus::Found && WaveFormatUsable(info, 16384);
    };
    EXPECT_TRUE(pcmUsable(Fmt(1, 2, 44100, 4, 16)));
    EXPECT_TRUE(pcmUsable(Fmt(1, 1, 8000, 1, 8)));
    EXPECT_TRUE(pcmUsable(Fmt(1, 2, 96000, 6, 24)));
    EXPECT_FALSE(pcmUsable(Fmt(1, 0, 44100, 4, 16))); // no channels
    EXPECT_FALSE(pcmUsable(Fmt(1, 2, 0, 4, 16)));     // no sample rate
    EXPECT_FALSE(pcmUsable(Fmt(1, 2, 44100, 8, 32))); // a depth the pipeline does not carry
    TBytes shortFmt = Fmt(1, 2, 44100, 4, 16);
    shortFmt.resize(14);
    EXPECT_FALSE(pcmUsable(shortFmt));

    EXPECT_TRUE(usable(Fmt(17, 1, 8000, 256, 4, {505})));
    EXPECT_TRUE(usable(Fmt(17, 2, 8000, 512, 4, {505})));
    EXPECT_FALSE(usable(Fmt(17, 2, 8000, 0, 4, {505})));   // block align 0
    EXPECT_FALSE(usable(Fmt(17, 0, 8000, 256, 4, {505}))); // no channels
    EXPECT_FALSE(usable(Fmt(17, 3, 8000, 768, 4, {505}))); // more than 2
    EXPECT_FALSE(usable(Fmt(17, 1, 8000, 256, 3, {505}))); // not 4 bits
    EXPECT_FALSE(usable(Fmt(17, 1, 8000, 256, 4, {0})));   // frames per block disagree
    EXPECT_FALSE(usable(Fmt(17, 1, 8000, 256, 4, {504})));
    EXPECT_FALSE(usable(Fmt(17, 1, 8000, 8192, 4, {16377}))); // decoded block too large
    EXPECT_TRUE(usable(Fmt(17, 1, 8000, 4096, 4, {8185})));   // largest that fits
    EXPECT_FALSE(usable(Fmt(17, 1, 8000, 256, 4)));           // no frames per block at all

    EXPECT_TRUE(usable(MsFmt(1, 256, 500)));
    EXPECT_TRUE(usable(MsFmt(2, 2048, 2036)));
    EXPECT_TRUE(usable(MsFmt(2, 512, 500, 32)));
    EXPECT_FALSE(usable(MsFmt(2, 512, 500, 33))); // more than 32 coefficient pairs
    EXPECT_FALSE(usable(MsFmt(2, 512, 500, 0)));
    EXPECT_FALSE(usable(MsFmt(2, 512, 501))); // frames per block disagree
    EXPECT_FALSE(usable(MsFmt(1, 0, 2)));     // block align 0
    EXPECT_FALSE(usable(MsFmt(3, 512, 2)));
    EXPECT_FALSE(usable(MsFmt(1, 8192, 16372))); // decoded block too large
    TBytes cut = MsFmt(1, 256, 500);
    cut.resize(cut.size() - 4); // announces 7 pairs, holds 6
    EXPECT_FALSE(usable(cut));

    // MPEG: the decoder finds out whether the data decodes.
    EXPECT_TRUE(usable(Fmt(85, 2, 44100, 1, 0, {0, 0, 0, 0, 0, 0})));
}
