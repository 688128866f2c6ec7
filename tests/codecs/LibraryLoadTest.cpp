// Loading the codec libraries by their Debian file names, and refusing when one is missing.
#include "Codec.h"
#include "CodecLibraries.h"
#include "FLAC.h"
#include "VorbisEnc.h"
#include "VorbisFile.h"
#include "lame.h"
#include "libsamplerate.h"
#include "ogg.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

TEST(SharedLibrary, MissingFileIsNotLoadedAndHasNoSymbols) {
    TSharedLibrary missing("libbrindlewave-not-there.so.7");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.Symbol("ogg_stream_init"), nullptr);

    TSharedLibrary ogg("libogg.so.0");
    ASSERT_TRUE(ogg.Loaded());
    EXPECT_NE(ogg.Symbol("ogg_stream_init"), nullptr);
    EXPECT_EQ(ogg.Symbol("no_such_function_here"), nullptr);

    TSharedLibrary moved(std::move(ogg));
    EXPECT_TRUE(moved.Loaded());
    EXPECT_FALSE(ogg.Loaded());
}

TEST(CodecLibraries, ProgramStartLoadsAllButLameAndEndReleasesThem) {
    ASSERT_FALSE(FLACLibrary().Loaded());
    {
        TCodecLibraries libraries;
        EXPECT_TRUE(OggLibrary().Loaded());
        EXPECT_TRUE(VorbisLibrary().Loaded());
        EXPECT_TRUE(VorbisFileLibrary().Loaded());
        EXPECT_TRUE(VorbisEncLibrary().Loaded());
        EXPECT_TRUE(FLACLibrary().Loaded());
        EXPECT_TRUE(SampleRateLoaded());
        EXPECT_FALSE(LameLoaded()); // only an MP3 output loads it
        EXPECT_NE(FLACLibrary().Api().stream_encoder_new, nullptr);
        EXPECT_NE(VorbisEncLibrary().Api().vorbis_encode_setup_vbr, nullptr);
    }
    EXPECT_FALSE(OggLibrary().Loaded());
    EXPECT_FALSE(VorbisLibrary().Loaded());
    EXPECT_FALSE(VorbisFileLibrary().Loaded());
    EXPECT_FALSE(VorbisEncLibrary().Loaded());
    EXPECT_FALSE(FLACLibrary().Loaded());
    EXPECT_FALSE(SampleRateLoaded());
    EXPECT_EQ(FLACLibrary().Api().stream_encoder_new, nullptr);
}

TEST(CodecLibraries, MissingFileLeavesFlagClearWithItsMessage) {
    auto& binding = FLACLibrary();
    binding.SetFileName("libFLAC-missing.so.99");
    {
        TCodecLibraries libraries;
        EXPECT_FALSE(binding.Loaded());
        EXPECT_TRUE(OggLibrary().Loaded()); // the others go on
        EXPECT_EQ(binding.NotLoadedMessage(), "libFLAC-missing.so.99 library could not be loaded.");
    }
    binding.SetFileName("libFLAC.so.12");
    EXPECT_EQ(binding.NotLoadedMessage(), "libFLAC.so.12 library could not be loaded.");
}

TEST(CodecLibraries, LibraryWithoutTheEntryPointsCountsAsMissing) {
    auto& binding = VorbisEncLibrary();
    binding.SetFileName("libogg.so.0"); // loads, but has no vorbis_encode_init
    EXPECT_FALSE(binding.Load());
    EXPECT_FALSE(binding.Loaded());
    binding.SetFileName("libvorbisenc.so.2");
    EXPECT_TRUE(binding.Load());
    binding.Unload();
}

TEST(LameLibrary, FirstUseLoadsAndLastReleaseUnloads) {
    ASSERT_FALSE(LameLoaded());
    {
        TLameUse first;
        EXPECT_TRUE(LameLoaded());
        {
            TLameUse second;
            EXPECT_TRUE(LameLoaded());
        }
        EXPECT_TRUE(LameLoaded()); // the first output may still encode
        EXPECT_NE(LameLibrary().Api().lame_encode_buffer_interleaved, nullptr);
    }
    EXPECT_FALSE(LameLoaded());
}

} // namespace
} // namespace bw
