#include "CddbRecord.h"

#include <gtest/gtest.h>

using namespace bw;

namespace {
const char* const Record = "# xmcd CD database file\r\n"
                           "#\r\n"
                           "DISCID=7a0b1c03\r\n"
                           "DTITLE=Some Artist / Some Album\r\n"
                           "DYEAR=1999\r\n"
                           "DGENRE=Blues\r\n"
                           "TTITLE0=First Song\r\n"
                           "TTITLE1=Second Song\r\n"
                           "TTITLE2=Third Song\r\n"
                           "EXTD=\r\n"
                           "EXTT0=\r\n"
                           "PLAYORDER=\r\n";
}

TEST(CddbRecord, ReadsDiscFieldsAndTitles) {
    auto f = ParseCddbRecord(Record, 1, 3);
    EXPECT_EQ(f.Artist, "Some Artist");
    EXPECT_EQ(f.Album, "Some Album");
    EXPECT_EQ(f.Year, "1999");
    EXPECT_EQ(f.Genre, "Blues");
    ASSERT_TRUE(f.TrackTitles);
    EXPECT_EQ(*f.TrackTitles,
              (std::vector<std::string>{"First Song", "Second Song", "Third Song"}));
}

TEST(CddbRecord, EdgeCasesOfTheDiscFields) {
    // Split at the first "/": an artist with "/" in the name is cut there.
    auto f = ParseCddbRecord("DTITLE=AC/DC / Live\nDYEAR=\nDGENRE= blues \n", 1, 1);
    EXPECT_EQ(f.Artist, "AC");
    EXPECT_EQ(f.Album, "DC / Live");
    EXPECT_EQ(f.Year, ""); // an empty year empties the field
    EXPECT_EQ(f.Genre, "blues");
    EXPECT_FALSE(f.TrackTitles);

    // Without "/", artist and album share the name (not the keyword and all as album).
    f = ParseCddbRecord("DTITLE=Compilation\n", 1, 1);
    EXPECT_EQ(f.Artist, "Compilation");
    EXPECT_EQ(f.Album, "Compilation");

    // A later line of the same kind wins; lines without "=" are ignored.
    f = ParseCddbRecord("DTITLE=A / B\nDYEAR\nDTITLE=C / D\n", 1, 1);
    EXPECT_EQ(f.Artist, "C");
    EXPECT_FALSE(f.Year);
}

TEST(CddbRecord, ContinuedDiscTitleIsJoinedBeforeTheSplit) {
    struct Case {
        const char* Record;
        const char* Artist;
        const char* Album;
    };
    for (const Case& c : {
             Case{"DTITLE=A Long Artist Na\nDTITLE=me / The Album\n", "A Long Artist Name",
                  "The Album"},
             Case{"DTITLE=Artist / Two \r\nDTITLE=Words\r\nDYEAR=1999\r\n", "Artist", "Two Words"},
             Case{"DTITLE=A / B\nDTITLE=C\nDTITLE=D\n", "A", "BCD"},
         }) {
        auto f = ParseCddbRecord(c.Record, 1, 1);
        EXPECT_EQ(f.Artist, c.Artist) << c.Record;
        EXPECT_EQ(f.Album, c.Album) << c.Record;
    }
}

TEST(CddbRecord, TitleLines) {
    // TTITLE0 is the disc's first track whatever its number: a disc numbered from 2 too.
    auto f = ParseCddbRecord("TTITLE0=zero\nTTITLE1=one\nTTITLE2=two\n", 2, 3);
    ASSERT_TRUE(f.TrackTitles);
    EXPECT_EQ(*f.TrackTitles, (std::vector<std::string>{"zero", "one"}));

    // More titles than tracks: the extra ones are left; fewer: the list is short.
    f = ParseCddbRecord("TTITLE0=a\nTTITLE1=b\nTTITLE2=c\n", 1, 2);
    EXPECT_EQ(f.TrackTitles->size(), 2u);
    f = ParseCddbRecord("TTITLE0=a\nEXTD=x\n", 1, 5);
    EXPECT_EQ(*f.TrackTitles, std::vector<std::string>{"a"});

    // A title continued over two lines is joined.
    f = ParseCddbRecord("TTITLE0=A very long \nTTITLE0=title\nTTITLE1=b\n", 1, 2);
    EXPECT_EQ(*f.TrackTitles, (std::vector<std::string>{"A very long title", "b"}));

    // The disc title mentioning TITLE0 does not start the titles; fields after the
    // titles are never read.
    f = ParseCddbRecord("DTITLE=X / Best of TITLE0\nTTITLE0=real\nDYEAR=2001\n", 1, 1);
    EXPECT_EQ(f.Album, "Best of TITLE0");
    EXPECT_EQ(*f.TrackTitles, std::vector<std::string>{"real"});
    EXPECT_FALSE(f.Year);

    // Hostile titles stay text; what a file may be named is decided elsewhere.
    f = ParseCddbRecord("TTITLE0=../../etc/passwd\nTTITLE1=a/b\n", 1, 2);
    EXPECT_EQ(*f.TrackTitles, (std::vector<std::string>{"../../etc/passwd", "a/b"}));
}
