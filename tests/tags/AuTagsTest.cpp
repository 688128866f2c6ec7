#include "AuTags.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <strings.h>

using namespace bw;

namespace {
std::vector<std::string> Keys(const TAuTags& t) {
    std::vector<std::string> keys;
    for (int i = 0; i < t.TagCount(); ++i)
        keys.push_back(t.KeyAt(i));
    return keys;
}
} // namespace

TEST(AuTags, LayoutsFixTheirKeysSortedWithoutRegardToCase) {
    TId3v1Tags v1;
    EXPECT_EQ(Keys(v1), (std::vector<std::string>{"album", "artist", "comment", "genre", "title",
                                                  "track", "year"}));
    EXPECT_EQ(v1.KeyAt(-1), "");
    EXPECT_EQ(v1.KeyAt(7), "");
    TVorbisTags vorbis;
    EXPECT_EQ(Keys(vorbis), (std::vector<std::string>{"album", "artist", "date", "genre", "title",
                                                      "tracknumber"}));
    TId3v2Tags v2;
    EXPECT_EQ(v2.TagCount(), 24);
    TAPEv2Tags ape;
    EXPECT_EQ(ape.TagCount(), 25);
    auto apeKeys = Keys(ape);
    EXPECT_TRUE(std::is_sorted(apeKeys.begin(), apeKeys.end(), [](auto& a, auto& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }));
    EXPECT_NE(std::find(apeKeys.begin(), apeKeys.end(), "Record Location"), apeKeys.end());

    // Duplicates (case ignored) and empty names are ignored.
    vorbis.AddKey("ARTIST");
    vorbis.AddKey("");
    EXPECT_EQ(vorbis.TagCount(), 6);
    vorbis.AddKey("Comment");
    EXPECT_EQ(Keys(vorbis)[2], "Comment");
}

TEST(AuTags, ValuesAndTheirConversions) {
    TVorbisTags t;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(t.GetValue("title")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(t.GetValue("nope")));
    t.SetValue("nope", std::string("x")); // unknown: ignored
    EXPECT_EQ(t.TagCount(), 6);

    t.SetValue("TITLE", std::string("Ünïcode ☃")); // keys ignore case
    EXPECT_EQ(t.Title(), "Ünïcode ☃");
    t.SetValue("tracknumber", std::int64_t{7});
    EXPECT_EQ(t.Track(), "7");
    EXPECT_EQ(t.ValueAsInteger("tracknumber"), 7);
    t.SetTrack("12");
    EXPECT_EQ(t.ValueAsInteger("tracknumber"), 12);
    t.SetTrack("3/12");
    EXPECT_EQ(t.ValueAsInteger("tracknumber"), 0);
    t.SetTrack("-4");
    EXPECT_EQ(t.ValueAsInteger("tracknumber"), -4);
    EXPECT_EQ(t.ValueAsInteger("date"), 0);
    EXPECT_EQ(t.ValueAsString("date"), "");
    EXPECT_EQ(t.ValueAsInteger("unknown"), 0);

    t.Clear();
    for (int i = 0; i < t.TagCount(); ++i)
        EXPECT_TRUE(std::holds_alternative<std::monostate>(t.GetValue(t.KeyAt(i))));
}

TEST(AuTags, AssignCopiesOnlyKeysBothLayoutsKnow) {
    TVorbisTags vorbis;
    vorbis.SetTitle("T");
    vorbis.SetArtist("A");
    TId3v2Tags v2;
    v2.SetTitle("old");
    v2.Assign(vorbis);
    for (int i = 0; i < v2.TagCount(); ++i)
        EXPECT_TRUE(std::holds_alternative<std::monostate>(v2.GetValue(v2.KeyAt(i))));

    TAPEv2Tags ape;
    ape.SetBarCode("4006381333931");
    EXPECT_EQ(ape.ValueAsString("EAN/UPC"), "4006381333931");
    ape.SetAlbum("Al");
    ape.SetArtist("Ar");
    ape.SetGenre("Ge");
    ape.SetTitle("Ti");
    ape.SetYear("1999");
    TVorbisTags target;
    target.SetDate("2001");
    ape.AssignTo(target);
    EXPECT_EQ(target.Album(), "Al");
    EXPECT_EQ(target.Artist(), "Ar");
    EXPECT_EQ(target.Genre(), "Ge");
    EXPECT_EQ(target.Title(), "Ti");
    EXPECT_EQ(target.Date(), ""); // cleared, and APEv2 has no "date"

    // Same layout: everything, and the copy is independent.
    TId3v2Tags a, b;
    a.SetComposer("C");
    a.UsesFourCharIds = false;
    a.SetTitle("two-two");
    b.Assign(a);
    EXPECT_EQ(b.Composer(), "C");
    EXPECT_EQ(b.ValueAsString("TT2"), "two-two");
    a.SetComposer("D");
    EXPECT_EQ(b.Composer(), "C");
    b.Assign(b);
    EXPECT_EQ(b.Composer(), "C");
}

TEST(AuTags, Id3v2FieldsFollowTheFrameIdGeneration) {
    TId3v2Tags t;
    t.SetTitle("four");
    EXPECT_EQ(t.ValueAsString("TIT2"), "four");
    t.UsesFourCharIds = false;
    EXPECT_EQ(t.Title(), "");
    t.SetTitle("three");
    t.SetLink("http://x");
    EXPECT_EQ(t.ValueAsString("TT2"), "three");
    EXPECT_EQ(t.ValueAsString("WXX"), "http://x");
    t.UsesFourCharIds = true;
    EXPECT_EQ(t.Title(), "four");
}

TEST(AuTags, Id3v1TypedFieldsAndGenre) {
    TId3v1Tags t;
    EXPECT_EQ(t.GenreId(), 0); // unset
    EXPECT_EQ(t.Genre(), "Blues");
    t.SetGenre(" rock ");
    EXPECT_EQ(t.GenreId(), 17);
    EXPECT_EQ(t.Genre(), "Rock");
    t.SetGenre("no such genre");
    EXPECT_EQ(t.GenreId(), 17);
    t.SetGenreId(200);
    EXPECT_EQ(t.GenreId(), 12);
    EXPECT_EQ(t.Genre(), "Other");
    t.SetValue("genre", std::int64_t{-3});
    EXPECT_EQ(t.Genre(), "Other");
    t.SetGenre("SYNTHPOP");
    EXPECT_EQ(t.GenreId(), 147);

    t.SetYear(1999);
    EXPECT_EQ(t.Year(), 1999);
    EXPECT_EQ(t.ValueAsString("year"), "1999");
    t.SetTrack(7);
    EXPECT_EQ(t.Track(), 7);
    // Artist reads only strings.
    t.SetValue("artist", std::int64_t{5});
    EXPECT_EQ(t.Artist(), "");
    EXPECT_EQ(t.ValueAsString("artist"), "5");
    t.SetArtist("Someone");
    EXPECT_EQ(t.Artist(), "Someone");
}
