#include "Genres.h"

#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace bw;

namespace {
std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}
} // namespace

TEST(Genres, ListIndexMapsToCodes) {
    EXPECT_EQ(GenreCodeOfListIndex(18), 0);   // Blues
    EXPECT_EQ(GenreCodeOfListIndex(96), 12);  // Other
    EXPECT_EQ(GenreCodeOfListIndex(0), 255);  // no genre
    EXPECT_EQ(GenreCodeOfListIndex(-1), 255); // empty selection, taken as the byte 255
    EXPECT_EQ(GenreCodeOfListIndex(149), 255);
    EXPECT_EQ(GenreCodeOfListIndex(148), 28); // Vocal
    EXPECT_EQ(GenreCodeOfListIndex(1), 123);  // A Cappella
    // Taken as a byte: 256 + 18 is entry 18.
    EXPECT_EQ(GenreCodeOfListIndex(256 + 18), 0);

    EXPECT_STREQ(GenreListEntries[44], "Drum & Base");
    EXPECT_EQ(Id3v1GenreName(GenreCodeOfListIndex(44)), "Drum & Bass");
    EXPECT_EQ(Id3v1GenreName(GenreCodeOfListIndex(61)), "Gangsta");
    EXPECT_EQ(Id3v1GenreName(GenreCodeOfListIndex(26)), "Christian Gangsta Rap");
}

TEST(Genres, EveryListEntryNamesTheGenreOfItsCode) {
    // The list spells ten genres its own way; all others are the ID3v1 name.
    const std::set<std::string> ownSpelling = {
        "Chamber Music",     "Christian Gangsta", "Death Metal", "Drum & Base",
        "Fast-Fusion",       "Folk/Rock",         "Gangsta Rap", "Instrumental Pop",
        "Instrumental Rock", "Rhythmic Soul"};
    std::set<int> codes;
    int ownSpelled = 0;
    for (int i = 1; i < GenreListCount; ++i) {
        int code = GenreCodeOfListIndex(i);
        ASSERT_LT(code, Id3v1GenreCount);
        codes.insert(code);
        std::string entry(GenreListEntries[static_cast<std::size_t>(i)]);
        if (ownSpelling.count(entry)) {
            ++ownSpelled;
            EXPECT_NE(entry, Id3v1GenreName(code)) << entry;
        } else {
            EXPECT_EQ(entry, Id3v1GenreName(code)) << "entry " << i;
        }
    }
    EXPECT_EQ(codes.size(), 148u); // each code once
    EXPECT_EQ(ownSpelled, 10);
}

TEST(Genres, ListIsAlphabeticalButForTwoEntries) {
    std::vector<std::string> names;
    for (int i = 1; i < GenreListCount; ++i)
        names.push_back(Lower(GenreListEntries[static_cast<std::size_t>(i)]));
    int outOfOrder = 0;
    for (std::size_t i = 1; i < names.size(); ++i)
        if (names[i - 1] > names[i]) ++outOfOrder;
    EXPECT_EQ(outOfOrder, 2);
    EXPECT_STREQ(GenreListEntries[50], "Eurodance");
    EXPECT_STREQ(GenreListEntries[51], "Euro-House");
    EXPECT_STREQ(GenreListEntries[100], "Pop/Funk");
    EXPECT_STREQ(GenreListEntries[101], "Pop-Folk");
}

TEST(Genres, NameLookups) {
    EXPECT_EQ(Id3v1GenreName(0), "Blues");
    EXPECT_EQ(Id3v1GenreName(147), "Synthpop");
    EXPECT_EQ(Id3v1GenreName(148), "");
    EXPECT_EQ(Id3v1GenreName(-1), "");
    EXPECT_EQ(Id3v1GenreCodeOfName("  rock \t"), 17);
    EXPECT_EQ(Id3v1GenreCodeOfName("HIP-HOP"), 7);
    EXPECT_EQ(Id3v1GenreCodeOfName("Drum & Base"), std::nullopt);
    EXPECT_EQ(Id3v1GenreCodeOfName(""), std::nullopt);

    // A genre text from a WMA file: case ignored, the empty text finds entry 0.
    EXPECT_EQ(GenreListIndexOf("BLUES", true), 18);
    EXPECT_EQ(GenreCodeOfListIndex(GenreListIndexOf("BLUES", true)), 0);
    EXPECT_EQ(GenreListIndexOf("", true), 0);
    EXPECT_EQ(GenreCodeOfListIndex(GenreListIndexOf("", true)), 255);
    EXPECT_EQ(GenreCodeOfListIndex(GenreListIndexOf("Polka Dots", true)), 255);
    // A CDDB genre: case counts.
    EXPECT_EQ(GenreListIndexOf("Blues", false), 18);
    EXPECT_EQ(GenreListIndexOf("blues", false), -1);
}
