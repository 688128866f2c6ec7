// A release's own data in every output format: replies in the MusicBrainz web service's shapes
// (a set of five media looked up by the second's disc id, a compilation whose tracks have
// credits of their own with join phrases, a release with a pregap track, a release with label
// info, barcode and release group), each ripped to FLAC, MP3, Ogg Vorbis, Opus, APE and WMA
// and read back with mutagen (and ffprobe for WMA), field by field.
#include "CdImage.h"
#include "CddbTestServer.h"
#include "CliTestSupport.h"

#include <map>

namespace {

using TFields = std::map<std::string, std::string>;

std::string Credit(const std::string& parts) {
    return "[" + parts + "]";
}
std::string Part(const std::string& name, const std::string& id, const std::string& sort,
                 const std::string& join = "") {
    return R"({"name":")" + name + R"(","joinphrase":")" + join + R"(","artist":{"id":")" + id +
           R"(","name":")" + name + R"(","sort-name":")" + sort + R"("}})";
}
const std::string Solo = Credit(Part("Solo Artist", "solo-id", "Artist, Solo"));

// A medium of the disc's three tracks (position 0: a pregap track before them).
std::string Medium(int position, const std::string& discId, const std::string& title,
                   const std::string& prefix, const std::vector<std::string>& credits = {},
                   bool pregap = false) {
    std::string tracks;
    for (int n = pregap ? 0 : 1; n <= 3; ++n) {
        const std::string credit =
            n >= 1 && n <= static_cast<int>(credits.size()) ? credits[n - 1] : Solo;
        tracks += (tracks.empty() ? "" : ",") + std::string(R"({"id":")") + prefix + "track" +
                  std::to_string(n) + R"(","position":)" + std::to_string(n) + R"(,"title":")" +
                  prefix + "Title " + std::to_string(n) + R"(","length":1000,"artist-credit":)" +
                  credit + R"(,"recording":{"id":")" + prefix + "rec" + std::to_string(n) +
                  R"(","artist-credit":)" + credit + "}}";
    }
    return R"({"position":)" + std::to_string(position) + R"(,"title":")" + title +
           R"(","format":"CD","track-count":3,"discs":[)" +
           (discId.empty() ? "" : R"({"id":")" + discId + R"("})") + R"(],"tracks":[)" + tracks +
           "]}";
}

std::string Release(const std::string& title, const std::string& credit, const std::string& media,
                    const std::string& extra = "") {
    return R"({"releases":[{"id":"rel-id","title":")" + title +
           R"(","status":"Official","date":"2011-07-11","country":"GB",)"
           R"("text-representation":{"language":"eng","script":"Latn"},"artist-credit":)" +
           credit + extra + R"(,"media":[)" + media + "]}]}";
}

struct TShape {
    const char* Name;
    std::string (*Reply)(const std::string& discId);
    TFields Track1, Track2;    // what mutagen reads; a field missing here must be absent
    std::string CuePerformer1; // the first track's PERFORMER in the cue sheet
};

const TShape Shapes[] = {
    {"five media, the disc the second",
     [](const std::string& id) {
         std::string media;
         for (int m = 1; m <= 5; ++m)
             media += (m > 1 ? "," : "") + Medium(m, m == 2 ? id : "other" + std::to_string(m),
                                                  m == 2 ? "The Second" : "", m == 2 ? "" : "x");
         return Release("Box", Solo, media);
     },
     {{"title", "Title 1"},
      {"artist", "Solo Artist"},
      {"album", "Box"},
      {"date", "2011-07-11"},
      {"disc", "2"},
      {"disctotal", "5"},
      {"discsubtitle", "The Second"},
      {"artists", "Solo Artist"},
      {"artistsort", "Artist, Solo"},
      {"mb_artist", "solo-id"},
      {"mb_albumartist", "solo-id"},
      {"mb_releasetrack", "track1"},
      {"mb_track", "rec1"},
      {"mb_album", "rel-id"},
      {"media", "CD"},
      {"releasecountry", "GB"},
      {"releasestatus", "Official"},
      {"script", "Latn"},
      {"language", "eng"}},
     {{"title", "Title 2"}, {"disc", "2"}},
     "Solo Artist"},
    {"a compilation of tracks with their own credits",
     [](const std::string& id) {
         const std::string va = Credit(Part("Various Artists", "89ad4ac3", "Various Artists"));
         const std::vector<std::string> credits = {
             Credit(Part("Ann", "ann-id", "Ann, A", " feat. ") + "," +
                    Part("Bo", "bo-id", "Bo", " & ") + "," + Part("Cy", "cy-id", "Cy, C")),
             Credit(Part("Dee", "dee-id", "Dee")), Credit(Part("Eve", "eve-id", "Eve"))};
         return Release("Hits", va, Medium(1, id, "", "", credits));
     },
     {{"title", "Title 1"},
      {"artist", "Ann feat. Bo & Cy"},
      {"artists", "Ann|Bo|Cy"},
      {"artistsort", "Ann, A feat. Bo & Cy, C"},
      {"mb_artist", "ann-id|bo-id|cy-id"},
      {"albumartist", "Various Artists"},
      {"albumartistsort", "Various Artists"},
      {"mb_albumartist", "89ad4ac3"},
      {"disc", "1"},
      {"disctotal", "1"}},
     {{"artist", "Dee"}, {"albumartist", "Various Artists"}},
     "Ann feat. Bo & Cy"},
    {"a pregap track before the first",
     [](const std::string& id) { return Release("Hidden", Solo, Medium(1, id, "", "", {}, true)); },
     {{"title", "Title 1"}, {"artist", "Solo Artist"}, {"mb_releasetrack", "track1"}},
     {{"title", "Title 2"}, {"mb_releasetrack", "track2"}},
     "Solo Artist"},
    {"label info, barcode and release group",
     [](const std::string& id) {
         return Release(
             "Labelled", Solo, Medium(1, id, "", ""),
             R"(,"barcode":"5016958997123","asin":"B000002LRJ","label-info":[{"catalog-number":)"
             R"("TPLP 1","label":{"id":"lab-id","name":"One Little Indian"}}],)"
             R"("release-group":{"id":"rg-id","primary-type":"Album",)"
             R"("first-release-date":"1986-03","genres":[{"name":"rock"}]})");
     },
     {{"title", "Title 1"},
      {"genre", "Rock"},
      {"label", "One Little Indian"},
      {"catalog", "TPLP 1"},
      {"barcode", "5016958997123"},
      {"asin", "B000002LRJ"},
      {"originaldate", "1986-03"},
      {"releasetype", "Album"},
      {"mb_releasegroup", "rg-id"}},
     {{"label", "One Little Indian"}},
     "Solo Artist"},
};

const char* const Formats[] = {"flac", "mp3", "ogg", "opus", "ape", "wma"};

// Fields that are the release's: each shape says which it has, and one it does not name
// must not be written.
const char* const Checked[] = {"albumartist", "albumartistsort", "label",
                               "catalog",     "originaldate",    "discsubtitle"};

} // namespace

TEST(CliReleaseTags, EveryFormatCarriesTheReleaseFieldByField) {
    bwtest::TempDir dir;
    TCliRun cli(dir / "config");
    cli.Program = ProgramCopy(dir.Path());
    fs::copy_file(fs::path(BW_BINARY_DIR) / "libMACDll.so", dir / "bin" / "libMACDll.so");
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {150, 120, 90});
    cli.Images = image.CuePath();
    bwtest::CddbTestServer server(dir / "fixtures");
    // No cover is fetched: the stand-in names no server that answers.
    fs::create_directories(dir / "config" / "Vellamor" / "Brindlewave");
    bwtest::WriteFileText(dir / "config" / "Vellamor" / "Brindlewave" / "options.ini",
                          "[Tags]\nEmbedCover=0\nSaveCover=0\n[Rip]\nWriteLog=1\n");
    auto toc = cli("toc");
    const std::string label = "MusicBrainz disc id: ";
    ASSERT_THAT(toc.Output, HasSubstr(label));
    const std::string id = toc.Output.substr(toc.Output.find(label) + label.size(), 28);

    for (const TShape& shape : Shapes) {
        SCOPED_TRACE(shape.Name);
        server.PutMusicBrainz(id, 200, shape.Reply(id));
        auto saved = cli("musicbrainz --server " + server.MusicBrainzUrl() + " --save");
        ASSERT_EQ(saved.ExitCode, 0) << saved.Output;
        for (const char* format : Formats) {
            SCOPED_TRACE(format);
            const fs::path out = dir / "out" / (std::string(shape.Name).substr(0, 4) + format);
            auto rip = cli("rip --format " + std::string(format) + " --output " + Q(out));
            ASSERT_EQ(rip.ExitCode, 0) << rip.Output;
            const std::string ext = std::string(".") + format;
            for (int n : {1, 2}) {
                const TFields& expected = n == 1 ? shape.Track1 : shape.Track2;
                auto read = bwtest::MutagenTags(out / ("Title " + std::to_string(n) + ext));
                for (const auto& [field, value] : expected)
                    EXPECT_EQ(read[field], value) << "track " << n << " " << field;
                for (const char* field : Checked) {
                    if (n == 1 && !expected.count(field)) {
                        EXPECT_EQ(read.count(field), 0u) << field;
                    }
                }
            }
            if (std::string(format) == "wma") {
                EXPECT_THAT(bwtest::FFprobe(out / ("Title 1" + ext), "format_tags"),
                            HasSubstr("TAG:artist=" + shape.CuePerformer1));
            }
            if (std::string(format) == "flac") {
                // The cue sheet names each track's own performer.
                std::string cue;
                for (const auto& entry : fs::directory_iterator(out))
                    if (entry.path().extension() == ".cue")
                        cue = bwtest::ReadFileText(entry.path());
                EXPECT_THAT(cue, HasSubstr("TITLE \"Title 1\"\n    PERFORMER \"" +
                                           shape.CuePerformer1 + "\"\n"));
            }
        }
    }
    // The pregap track's title and id stay with the disc.
    server.PutMusicBrainz(id, 200, Shapes[2].Reply(id));
    ASSERT_EQ(cli("musicbrainz --server " + server.MusicBrainzUrl() + " --save").ExitCode, 0);
    const std::string cache = bwtest::ReadFileText(dir / "bin" / "cd.dat");
    EXPECT_THAT(cache, HasSubstr("HiddenTrackTitle=Title 0\n"));
    EXPECT_THAT(cache, HasSubstr("HiddenTrackId=rec0\n"));
}
