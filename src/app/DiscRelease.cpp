#include "DiscRelease.h"

#include "IniFile.h"

namespace bw {

namespace {

// Lists are kept as one value, their items split by a character that no text from a lookup
// holds (control characters become blanks on the way in).
constexpr char ListSeparator = '\x1f';

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i ? std::string(1, ListSeparator) : std::string()) + items[i];
    return text;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(ListSeparator, start)) != std::string::npos;
         start = at + 1)
        items.push_back(text.substr(start, at - start));
    items.push_back(text.substr(start));
    return items;
}

struct TTextKey {
    const char* Key;
    std::string TDiscRelease::*Field;
};
const TTextKey TextKeys[] = {
    {"AlbumArtist", &TDiscRelease::AlbumArtist},
    {"AlbumArtistSort", &TDiscRelease::AlbumArtistSort},
    {"DiscSubtitle", &TDiscRelease::DiscSubtitle},
    {"Date", &TDiscRelease::Date},
    {"OriginalDate", &TDiscRelease::OriginalDate},
    {"Label", &TDiscRelease::Label},
    {"CatalogNumber", &TDiscRelease::CatalogNumber},
    {"Barcode", &TDiscRelease::Barcode},
    {"Asin", &TDiscRelease::Asin},
    {"ReleaseCountry", &TDiscRelease::Country},
    {"ReleaseType", &TDiscRelease::ReleaseType},
    {"ReleaseStatus", &TDiscRelease::ReleaseStatus},
    {"Media", &TDiscRelease::Media},
    {"Script", &TDiscRelease::Script},
    {"Language", &TDiscRelease::Language},
    {"MusicBrainzReleaseGroupId", &TDiscRelease::ReleaseGroupId},
    {"HiddenTrackTitle", &TDiscRelease::HiddenTrackTitle},
    {"HiddenTrackId", &TDiscRelease::HiddenTrackId},
};

struct TTrackKey {
    const char* Key; // followed by the track number
    std::string TTrackCredit::*Text;
    std::vector<std::string> TTrackCredit::*List;
};
const TTrackKey TrackKeys[] = {
    {"TrackArtist", &TTrackCredit::Artist, nullptr},
    {"TrackArtistSort", &TTrackCredit::ArtistSort, nullptr},
    {"TrackArtists", nullptr, &TTrackCredit::Artists},
    {"TrackArtistIds", nullptr, &TTrackCredit::ArtistIds},
    {"ReleaseTrackId", &TTrackCredit::ReleaseTrackId, nullptr},
};

constexpr int MaxTrackNumber = 99;

void Put(TIniFile& ini, const std::string& section, const std::string& key,
         const std::string& value) {
    if (!value.empty() || ini.HasKey(section, key)) ini.WriteString(section, key, value);
}

} // namespace

std::string TDiscRelease::TrackArtist(int track) const {
    auto it = Tracks.find(track);
    return it == Tracks.end() ? std::string() : it->second.Artist;
}

TDiscRelease ReadDiscRelease(const TIniFile& ini, const std::string& section) {
    TDiscRelease release;
    for (const TTextKey& k : TextKeys)
        release.*(k.Field) = ini.ReadString(section, k.Key, "");
    release.AlbumArtistIds = Split(ini.ReadString(section, "AlbumArtistIds", ""));
    release.DiscNumber = std::max(0, ini.ReadInteger(section, "DiscNumber", 0));
    release.DiscTotal = std::max(0, ini.ReadInteger(section, "DiscTotal", 0));
    for (int track = 0; track <= MaxTrackNumber; ++track) {
        TTrackCredit credit;
        for (const TTrackKey& k : TrackKeys) {
            const std::string value = ini.ReadString(section, k.Key + std::to_string(track), "");
            if (k.Text)
                credit.*(k.Text) = value;
            else
                credit.*(k.List) = Split(value);
        }
        if (credit != TTrackCredit{}) release.Tracks[track] = std::move(credit);
    }
    return release;
}

void WriteDiscRelease(TIniFile& ini, const std::string& section, const TDiscRelease& release) {
    for (const TTextKey& k : TextKeys)
        Put(ini, section, k.Key, release.*(k.Field));
    Put(ini, section, "AlbumArtistIds", Joined(release.AlbumArtistIds));
    Put(ini, section, "DiscNumber",
        release.DiscNumber > 0 ? std::to_string(release.DiscNumber) : std::string());
    Put(ini, section, "DiscTotal",
        release.DiscTotal > 0 ? std::to_string(release.DiscTotal) : std::string());
    for (int track = 0; track <= MaxTrackNumber; ++track) {
        auto it = release.Tracks.find(track);
        const TTrackCredit none;
        const TTrackCredit& credit = it == release.Tracks.end() ? none : it->second;
        for (const TTrackKey& k : TrackKeys)
            Put(ini, section, k.Key + std::to_string(track),
                k.Text ? credit.*(k.Text) : Joined(credit.*(k.List)));
    }
}

bool SplitCddbTrackArtist(std::string& title, std::string& artist) {
    const std::size_t at = title.find(" / ");
    if (at == std::string::npos) return false;
    artist = title.substr(0, at);
    title = title.substr(at + 3);
    return true;
}

} // namespace bw
