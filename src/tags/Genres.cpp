#include "Genres.h"

#include <algorithm>
#include <cctype>

namespace bw {

const std::array<const char*, Id3v1GenreCount> Id3v1GenreNames = {
    "Blues",                  // 0
    "Classic Rock",           // 1
    "Country",                // 2
    "Dance",                  // 3
    "Disco",                  // 4
    "Funk",                   // 5
    "Grunge",                 // 6
    "Hip-Hop",                // 7
    "Jazz",                   // 8
    "Metal",                  // 9
    "New Age",                // 10
    "Oldies",                 // 11
    "Other",                  // 12
    "Pop",                    // 13
    "R&B",                    // 14
    "Rap",                    // 15
    "Reggae",                 // 16
    "Rock",                   // 17
    "Techno",                 // 18
    "Industrial",             // 19
    "Alternative",            // 20
    "Ska",                    // 21
    "Death metal",            // 22
    "Pranks",                 // 23
    "Soundtrack",             // 24
    "Euro-Techno",            // 25
    "Ambient",                // 26
    "Trip-Hop",               // 27
    "Vocal",                  // 28
    "Jazz+Funk",              // 29
    "Fusion",                 // 30
    "Trance",                 // 31
    "Classical",              // 32
    "Instrumental",           // 33
    "Acid",                   // 34
    "House",                  // 35
    "Game",                   // 36
    "Sound Clip",             // 37
    "Gospel",                 // 38
    "Noise",                  // 39
    "Alt. Rock",              // 40
    "Bass",                   // 41
    "Soul",                   // 42
    "Punk",                   // 43
    "Space",                  // 44
    "Meditative",             // 45
    "Instrumental pop",       // 46
    "Instrumental rock",      // 47
    "Ethnic",                 // 48
    "Gothic",                 // 49
    "Darkwave",               // 50
    "Techno-Industrial",      // 51
    "Electronic",             // 52
    "Pop-Folk",               // 53
    "Eurodance",              // 54
    "Dream",                  // 55
    "Southern Rock",          // 56
    "Comedy",                 // 57
    "Cult",                   // 58
    "Gangsta",                // 59
    "Top 40",                 // 60
    "Christian Rap",          // 61
    "Pop/Funk",               // 62
    "Jungle",                 // 63
    "Native American",        // 64
    "Cabaret",                // 65
    "New Wave",               // 66
    "Psychedelic",            // 67
    "Rave",                   // 68
    "Showtunes",              // 69
    "Trailer",                // 70
    "Lo-Fi",                  // 71
    "Tribal",                 // 72
    "Acid Punk",              // 73
    "Acid Jazz",              // 74
    "Polka",                  // 75
    "Retro",                  // 76
    "Musical",                // 77
    "Rock & Roll",            // 78
    "Hard Rock",              // 79
    "Folk",                   // 80
    "Folk-Rock",              // 81
    "National Folk",          // 82
    "Swing",                  // 83
    "Fast Fusion",            // 84
    "Bebob",                  // 85
    "Latin",                  // 86
    "Revival",                // 87
    "Celtic",                 // 88
    "Bluegrass",              // 89
    "Avantgarde",             // 90
    "Gothic Rock",            // 91
    "Progressive Rock",       // 92
    "Psychedelic Rock",       // 93
    "Symphonic Rock",         // 94
    "Slow Rock",              // 95
    "Big Band",               // 96
    "Chorus",                 // 97
    "Easy Listening",         // 98
    "Acoustic",               // 99
    "Humour",                 // 100
    "Speech",                 // 101
    "Chanson",                // 102
    "Opera",                  // 103
    "Chamber music",          // 104
    "Sonata",                 // 105
    "Symphony",               // 106
    "Booty Bass",             // 107
    "Primus",                 // 108
    "Porn Groove",            // 109
    "Satire",                 // 110
    "Slow Jam",               // 111
    "Club",                   // 112
    "Tango",                  // 113
    "Samba",                  // 114
    "Folklore",               // 115
    "Ballad",                 // 116
    "Power Ballad",           // 117
    "Rhythmic soul",          // 118
    "Freestyle",              // 119
    "Duet",                   // 120
    "Punk Rock",              // 121
    "Drum Solo",              // 122
    "A Cappella",             // 123
    "Euro-House",             // 124
    "Dance Hall",             // 125
    "Goa",                    // 126
    "Drum & Bass",            // 127
    "Club-House",             // 128
    "Hardcore",               // 129
    "Terror",                 // 130
    "Indie",                  // 131
    "BritPop",                // 132
    "Negerpunk",              // 133
    "Polsk Punk",             // 134
    "Beat",                   // 135
    "Christian Gangsta Rap",  // 136
    "Heavy Metal",            // 137
    "Black Metal",            // 138
    "Crossover",              // 139
    "Contemporary Christian", // 140
    "Christian Rock",         // 141
    "Merengue",               // 142
    "Salsa",                  // 143
    "Thrash Metal",           // 144
    "Anime",                  // 145
    "JPop",                   // 146
    "Synthpop",               // 147
};

const std::array<const char*, GenreListCount> GenreListEntries = {
    "",
    "A Cappella",             // 1
    "Acid",                   // 2
    "Acid Jazz",              // 3
    "Acid Punk",              // 4
    "Acoustic",               // 5
    "Alt. Rock",              // 6
    "Alternative",            // 7
    "Ambient",                // 8
    "Anime",                  // 9
    "Avantgarde",             // 10
    "Ballad",                 // 11
    "Bass",                   // 12
    "Beat",                   // 13
    "Bebob",                  // 14
    "Big Band",               // 15
    "Black Metal",            // 16
    "Bluegrass",              // 17
    "Blues",                  // 18
    "Booty Bass",             // 19
    "BritPop",                // 20
    "Cabaret",                // 21
    "Celtic",                 // 22
    "Chamber Music",          // 23
    "Chanson",                // 24
    "Chorus",                 // 25
    "Christian Gangsta",      // 26
    "Christian Rap",          // 27
    "Christian Rock",         // 28
    "Classic Rock",           // 29
    "Classical",              // 30
    "Club",                   // 31
    "Club-House",             // 32
    "Comedy",                 // 33
    "Contemporary Christian", // 34
    "Country",                // 35
    "Crossover",              // 36
    "Cult",                   // 37
    "Dance",                  // 38
    "Dance Hall",             // 39
    "Darkwave",               // 40
    "Death Metal",            // 41
    "Disco",                  // 42
    "Dream",                  // 43
    "Drum & Base",            // 44
    "Drum Solo",              // 45
    "Duet",                   // 46
    "Easy Listening",         // 47
    "Electronic",             // 48
    "Ethnic",                 // 49
    "Eurodance",              // 50
    "Euro-House",             // 51
    "Euro-Techno",            // 52
    "Fast-Fusion",            // 53
    "Folk",                   // 54
    "Folk/Rock",              // 55
    "Folklore",               // 56
    "Freestyle",              // 57
    "Funk",                   // 58
    "Fusion",                 // 59
    "Game",                   // 60
    "Gangsta Rap",            // 61
    "Goa",                    // 62
    "Gospel",                 // 63
    "Gothic",                 // 64
    "Gothic Rock",            // 65
    "Grunge",                 // 66
    "Hard Rock",              // 67
    "Hardcore",               // 68
    "Heavy Metal",            // 69
    "Hip-Hop",                // 70
    "House",                  // 71
    "Humour",                 // 72
    "Indie",                  // 73
    "Industrial",             // 74
    "Instrumental",           // 75
    "Instrumental Pop",       // 76
    "Instrumental Rock",      // 77
    "Jazz",                   // 78
    "Jazz+Funk",              // 79
    "JPop",                   // 80
    "Jungle",                 // 81
    "Latin",                  // 82
    "Lo-Fi",                  // 83
    "Meditative",             // 84
    "Merengue",               // 85
    "Metal",                  // 86
    "Musical",                // 87
    "National Folk",          // 88
    "Native American",        // 89
    "Negerpunk",              // 90
    "New Age",                // 91
    "New Wave",               // 92
    "Noise",                  // 93
    "Oldies",                 // 94
    "Opera",                  // 95
    "Other",                  // 96
    "Polka",                  // 97
    "Polsk Punk",             // 98
    "Pop",                    // 99
    "Pop/Funk",               // 100
    "Pop-Folk",               // 101
    "Porn Groove",            // 102
    "Power Ballad",           // 103
    "Pranks",                 // 104
    "Primus",                 // 105
    "Progressive Rock",       // 106
    "Psychedelic",            // 107
    "Psychedelic Rock",       // 108
    "Punk",                   // 109
    "Punk Rock",              // 110
    "R&B",                    // 111
    "Rap",                    // 112
    "Rave",                   // 113
    "Reggae",                 // 114
    "Retro",                  // 115
    "Revival",                // 116
    "Rhythmic Soul",          // 117
    "Rock",                   // 118
    "Rock & Roll",            // 119
    "Salsa",                  // 120
    "Samba",                  // 121
    "Satire",                 // 122
    "Showtunes",              // 123
    "Ska",                    // 124
    "Slow Jam",               // 125
    "Slow Rock",              // 126
    "Sonata",                 // 127
    "Soul",                   // 128
    "Sound Clip",             // 129
    "Soundtrack",             // 130
    "Southern Rock",          // 131
    "Space",                  // 132
    "Speech",                 // 133
    "Swing",                  // 134
    "Symphonic Rock",         // 135
    "Symphony",               // 136
    "Synthpop",               // 137
    "Tango",                  // 138
    "Techno",                 // 139
    "Techno-Industrial",      // 140
    "Terror",                 // 141
    "Thrash Metal",           // 142
    "Top 40",                 // 143
    "Trailer",                // 144
    "Trance",                 // 145
    "Tribal",                 // 146
    "Trip-Hop",               // 147
    "Vocal",                  // 148
};

namespace {

// The ID3v1 code of each list entry, entry 0 (no genre) included.
constexpr std::array<std::uint8_t, GenreListCount> ListCodes = {
    NoGenreCode, 123, 34,  74,  73,  99,  40,  20,  26,  145, 90,  116, 41,  135, 85,  96,  138,
    89,          0,   107, 132, 65,  88,  104, 102, 97,  136, 61,  141, 1,   32,  112, 128, 57,
    140,         2,   139, 58,  3,   125, 50,  22,  4,   55,  127, 122, 120, 98,  52,  48,  54,
    124,         25,  84,  80,  81,  115, 119, 5,   30,  36,  59,  126, 38,  49,  91,  6,   79,
    129,         137, 7,   35,  100, 131, 19,  33,  46,  47,  8,   29,  146, 63,  86,  71,  45,
    142,         9,   77,  82,  64,  133, 10,  66,  39,  11,  103, 12,  75,  134, 13,  62,  53,
    109,         117, 23,  108, 92,  67,  93,  43,  121, 14,  15,  68,  16,  76,  87,  118, 17,
    78,          143, 114, 110, 69,  21,  111, 95,  105, 42,  37,  24,  56,  44,  101, 83,  94,
    106,         147, 113, 18,  51,  130, 144, 60,  70,  31,  72,  27,  28,
};
char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

// Trims characters up to and including the space, as the genre field's users expect.
std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

std::uint8_t GenreCodeOfListIndex(int Index) {
    auto index = static_cast<std::uint8_t>(Index);
    return index < GenreListCount ? ListCodes[index] : NoGenreCode;
}

std::string_view Id3v1GenreName(int code) {
    return code >= 0 && code < Id3v1GenreCount ? Id3v1GenreNames[static_cast<std::size_t>(code)]
                                               : std::string_view();
}

std::optional<std::uint8_t> Id3v1GenreCodeOfName(std::string_view name) {
    name = Trim(name);
    for (int code = 0; code < Id3v1GenreCount; ++code)
        if (EqualIgnoringCase(Id3v1GenreNames[static_cast<std::size_t>(code)], name))
            return static_cast<std::uint8_t>(code);
    return std::nullopt;
}

int GenreListIndexOf(std::string_view text, bool ignoreCase) {
    for (int i = 0; i < GenreListCount; ++i) {
        std::string_view entry = GenreListEntries[static_cast<std::size_t>(i)];
        if (ignoreCase ? EqualIgnoringCase(entry, text) : entry == text) return i;
    }
    return -1;
}

} // namespace bw
