#include "MusicBrainzRelease.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "Genres.h"
#include "Global.h"

#include <cstdlib>

namespace bw {

namespace {

using json = nlohmann::json;

// The web service's replies nest a dozen levels; far deeper is hostile or broken, and reading
// it would only spend memory and stack.
constexpr int MaxReplyDepth = 64;

// Parses a reply without ever holding more than MaxReplyDepth levels.
json ParseReply(std::string_view text) {
    return json::parse(text.begin(), text.end(), [](int depth, json::parse_event_t, json&) {
        if (depth > MaxReplyDepth)
            throw EMusicBrainzReply("the reply is nested deeper than " +
                                    std::to_string(MaxReplyDepth) + " levels");
        return true;
    });
}

std::string PlainText(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = ' ';
    }
    return text;
}

// A member's text, or empty when it is missing or not a string.
std::string Text(const json& object, const char* name) {
    if (!object.is_object()) return {};
    auto it = object.find(name);
    return it != object.end() && it->is_string() ? PlainText(it->get<std::string>())
                                                 : std::string();
}

const json& Array(const json& object, const char* name) {
    static const json empty = json::array();
    if (!object.is_object()) return empty;
    auto it = object.find(name);
    return it != object.end() && it->is_array() ? *it : empty;
}

long long Number(const json& object, const char* name, long long fallback, long long limit) {
    if (!object.is_object()) return fallback;
    auto it = object.find(name);
    if (it == object.end() || !it->is_number_integer()) return fallback;
    const auto value = it->get<long long>();
    return value < -limit || value > limit ? fallback : value;
}

int Integer(const json& object, const char* name, int fallback) {
    return static_cast<int>(Number(object, name, fallback, 1000000));
}

// An artist credit: the names joined by their join phrases, the sort names joined the same
// way, each name and each artist's id.
TTrackCredit CreditOf(const json& credits) {
    TTrackCredit credit;
    for (const json& part : credits) {
        const json* artist = nullptr;
        if (part.is_object())
            if (auto it = part.find("artist"); it != part.end() && it->is_object()) artist = &*it;
        std::string name = Text(part, "name");
        if (name.empty() && artist) name = Text(*artist, "name");
        std::string sort = artist ? Text(*artist, "sort-name") : std::string();
        if (sort.empty()) sort = name;
        const std::string join = Text(part, "joinphrase");
        credit.Artist += name + join;
        credit.ArtistSort += sort + join;
        if (!name.empty()) credit.Artists.push_back(name);
        if (artist && !Text(*artist, "id").empty()) credit.ArtistIds.push_back(Text(*artist, "id"));
    }
    return credit;
}

std::string ArtistCredit(const json& credits) {
    return CreditOf(credits).Artist;
}

std::optional<std::string> YearOf(const std::string& date) {
    if (date.size() < 4 ||
        !std::all_of(date.begin(), date.begin() + 4, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return date.substr(0, 4);
}

std::optional<std::string> ListGenre(const json& genres) {
    for (const json& genre : genres) {
        const int index = GenreListIndexOf(Text(genre, "name"), true);
        if (index > 0) return std::string(GenreListEntries[index]);
    }
    return std::nullopt;
}

bool HoldsDisc(const json& medium, const std::string& discId) {
    for (const json& disc : Array(medium, "discs"))
        if (Text(disc, "id") == discId) return true;
    return false;
}

// The service's TOC search finds media whose tracks are each within 10 seconds of the
// disc's; a medium is taken for the disc only when it is that close.
constexpr long long TocToleranceMs = 10000;

long long SectorsToMs(long long sectors) {
    return sectors * 1000 / 75;
}

// How far a medium's track lengths lie from the disc's (the sum of the differences in ms);
// nothing when the medium has another track count or a track beyond the tolerance, or when
// neither its discs nor its tracks give lengths.
std::optional<long long> Distance(const json& medium, const TMusicBrainzDiscLayout& disc) {
    const std::size_t count = disc.TrackLengths.size();
    std::optional<long long> best;
    auto Consider = [&](const std::vector<long long>& lengthsMs) {
        if (lengthsMs.size() != count) return;
        long long sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const long long difference =
                std::llabs(lengthsMs[i] - SectorsToMs(disc.TrackLengths[i]));
            if (difference > TocToleranceMs) return;
            sum += difference;
        }
        if (!best || sum < *best) best = sum;
    };
    for (const json& attached : Array(medium, "discs")) {
        const json& offsets = Array(attached, "offsets");
        const int sectors = Integer(attached, "sectors", -1);
        if (offsets.size() != count || sectors < 0) continue;
        std::vector<long long> lengths;
        for (std::size_t i = 0; i < count; ++i) {
            if (!offsets[i].is_number_integer()) break; // lengths stay short: no match
            const long long end = i + 1 < count && offsets[i + 1].is_number_integer()
                                      ? offsets[i + 1].get<long long>()
                                      : sectors;
            lengths.push_back(SectorsToMs(end - offsets[i].get<long long>()));
        }
        Consider(lengths);
    }
    std::vector<long long> lengths;
    for (const json& track : Array(medium, "tracks")) {
        const int position = Integer(track, "position", 0);
        if (position < 1) continue; // a hidden track before the first is not on the TOC
        const long long length = Number(track, "length", -1, 1000000000);
        if (length < 0) return best;
        lengths.push_back(length);
    }
    Consider(lengths);
    return best;
}

bool HasLengths(const json& medium) {
    for (const json& attached : Array(medium, "discs"))
        if (!Array(attached, "offsets").empty()) return true;
    for (const json& track : Array(medium, "tracks"))
        if (Number(track, "length", -1, 1000000000) >= 0) return true;
    return false;
}

int TrackCountOf(const json& medium) {
    const int count = Integer(medium, "track-count", -1);
    if (count >= 0) return count;
    int tracks = 0;
    for (const json& track : Array(medium, "tracks"))
        if (Integer(track, "position", 1) >= 1) ++tracks;
    return tracks;
}

// The medium that is the disc: the one holding its id; else, by the layout, the closest
// within the service's tolerance; else the only one with the disc's track count that gives
// no lengths to compare. None when nothing fits: the disc is not on this release.
const json* MediumOf(const json& media, const TMusicBrainzDiscLayout& disc) {
    for (const json& medium : media)
        if (HoldsDisc(medium, disc.Id)) return &medium;
    const int count = disc.TrackCount;
    const json* closest = nullptr;
    long long closestDistance = 0;
    if (!disc.TrackLengths.empty()) {
        for (const json& medium : media) {
            const auto distance = Distance(medium, disc);
            if (distance && (!closest || *distance < closestDistance))
                closest = &medium, closestDistance = *distance;
        }
        if (closest) return closest;
    }
    const json* counted = nullptr;
    int sameCount = 0;
    for (const json& medium : media) {
        if (TrackCountOf(medium) != count) continue;
        ++sameCount;
        if (disc.TrackLengths.empty() || !HasLengths(medium)) counted = &medium;
    }
    return sameCount == 1 ? counted : nullptr;
}

// A track's own credit, else its recording's.
TTrackCredit TrackCreditOf(const json& track) {
    if (!Array(track, "artist-credit").empty()) return CreditOf(Array(track, "artist-credit"));
    auto recording = track.find("recording");
    return recording != track.end() ? CreditOf(Array(*recording, "artist-credit")) : TTrackCredit{};
}

void TakeMedium(TMusicBrainzRelease& release, const json& medium, int trackCount) {
    release.MediumPosition = Integer(medium, "position", 0);
    release.MediumFormat = Text(medium, "format");
    release.MediumTrackCount = TrackCountOf(medium);
    release.Disc.DiscNumber = std::max(release.MediumPosition, 0);
    release.Disc.DiscSubtitle = Text(medium, "title");
    release.Disc.Media = release.MediumFormat;
    for (const json& track : Array(medium, "tracks")) {
        const int position = Integer(track, "position", -1);
        if (position == 0) {
            // The hidden track in the first track's pregap.
            release.Disc.HiddenTrackTitle = Text(track, "title");
            auto recording = track.find("recording");
            if (recording != track.end()) release.Disc.HiddenTrackId = Text(*recording, "id");
        }
        if (position < 1 || position > trackCount) continue;
        TTrackCredit credit = TrackCreditOf(track);
        credit.ReleaseTrackId = Text(track, "id");
        release.Disc.Tracks[position] = std::move(credit);
    }
    const json& tracks = Array(medium, "tracks");
    if (tracks.empty() || trackCount < 1) return;
    // Each track goes where its own position puts it; one without a usable position is
    // left out alone, and a position the medium does not list keeps no title.
    release.TrackTitles.assign(static_cast<std::size_t>(trackCount), std::string());
    release.RecordingIds.assign(static_cast<std::size_t>(trackCount), std::string());
    for (const json& track : tracks) {
        // Position 0 is a hidden track before the first; it is not one of the disc's tracks.
        const int position = Integer(track, "position", -1);
        if (position < 1 || position > trackCount) continue;
        const auto at = static_cast<std::size_t>(position - 1);
        release.TrackTitles[at] = Text(track, "title");
        auto recording = track.find("recording");
        if (recording != track.end()) release.RecordingIds[at] = Text(*recording, "id");
    }
}

TMusicBrainzRelease ReleaseOf(const json& r, const TMusicBrainzDiscLayout& disc) {
    if (!r.is_object()) throw EMusicBrainzReply("a release is not an object");
    TMusicBrainzRelease release;
    release.Id = Text(r, "id");
    release.Title = Text(r, "title");
    release.Artist = ArtistCredit(Array(r, "artist-credit"));
    release.Date = Text(r, "date");
    release.Country = Text(r, "country");
    release.Year = YearOf(release.Date);
    release.Genre = ListGenre(Array(r, "genres"));
    if (auto group = r.find("release-group"); !release.Genre && group != r.end())
        release.Genre = ListGenre(Array(*group, "genres"));

    TDiscRelease& own = release.Disc;
    const TTrackCredit albumCredit = CreditOf(Array(r, "artist-credit"));
    own.AlbumArtist = albumCredit.Artist;
    own.AlbumArtistSort = albumCredit.ArtistSort;
    own.AlbumArtistIds = albumCredit.ArtistIds;
    own.Date = release.Date;
    own.Country = release.Country;
    own.Barcode = Text(r, "barcode");
    own.Asin = Text(r, "asin");
    own.ReleaseStatus = Text(r, "status");
    if (auto text = r.find("text-representation"); text != r.end()) {
        own.Script = Text(*text, "script");
        own.Language = Text(*text, "language");
    }
    if (auto group = r.find("release-group"); group != r.end()) {
        own.ReleaseGroupId = Text(*group, "id");
        own.OriginalDate = Text(*group, "first-release-date");
        own.ReleaseType = Text(*group, "primary-type");
    }
    for (const json& info : Array(r, "label-info")) {
        auto label = info.find("label");
        if (own.Label.empty() && label != info.end()) own.Label = Text(*label, "name");
        if (own.CatalogNumber.empty()) own.CatalogNumber = Text(info, "catalog-number");
    }

    const json& media = Array(r, "media");
    release.MediumCount = static_cast<int>(media.size());
    own.DiscTotal = release.MediumCount;
    if (const json* chosen = MediumOf(media, disc)) {
        release.MediumMatches = true;
        TakeMedium(release, *chosen, disc.TrackCount);
    } else if (!media.empty()) {
        // Kept for a user who picks this release anyway; never taken on its own.
        TakeMedium(release, media.front(), disc.TrackCount);
    }
    return release;
}

} // namespace

std::vector<TMusicBrainzRelease> ParseMusicBrainzReleases(std::string_view text,
                                                          const TMusicBrainzDiscLayout& disc) {
    json reply;
    try {
        reply = ParseReply(text);
    } catch (const json::exception& e) {
        throw EMusicBrainzReply(std::string("the reply is not JSON (") + e.what() + ")");
    }
    if (!reply.is_object()) throw EMusicBrainzReply("the reply is not a JSON object");
    auto it = reply.find("releases");
    if (it == reply.end()) {
        if (reply.contains("error")) throw EMusicBrainzReply(Text(reply, "error"));
        return {};
    }
    if (!it->is_array()) throw EMusicBrainzReply("the reply's releases are not a list");
    std::vector<TMusicBrainzRelease> releases;
    for (const json& r : *it)
        releases.push_back(ReleaseOf(r, disc));
    return releases;
}

int ChooseMusicBrainzRelease(const std::vector<TMusicBrainzRelease>& releases) {
    for (std::size_t i = 0; i < releases.size(); ++i)
        if (releases[i].MediumMatches) return static_cast<int>(i);
    return releases.empty() ? -1 : 0;
}

std::vector<TMusicBrainzRelease>
ParseMusicBrainzReleases(std::string_view json, const std::string& discId, int trackCount) {
    TMusicBrainzDiscLayout disc;
    disc.Id = discId;
    disc.TrackCount = trackCount;
    return ParseMusicBrainzReleases(json, disc);
}

TMusicBrainzDiscLayout MusicBrainzLayoutOf(const std::string& discId, const std::string& toc) {
    TMusicBrainzDiscLayout disc;
    disc.Id = discId;
    std::vector<long long> numbers;
    std::size_t at = 0;
    while (at < toc.size()) {
        std::size_t used = 0;
        try {
            numbers.push_back(std::stoll(toc.substr(at), &used));
        } catch (const std::exception&) {
            break;
        }
        at += used;
        while (at < toc.size() && toc[at] == ' ')
            ++at;
    }
    if (numbers.size() < 3) return disc;
    const long long first = numbers[0], last = numbers[1], leadOut = numbers[2];
    if (last < first || numbers.size() != static_cast<std::size_t>(last - first + 1) + 3)
        return disc;
    disc.TrackCount = static_cast<int>(last - first + 1);
    for (std::size_t i = 3; i < numbers.size(); ++i)
        disc.TrackLengths.push_back((i + 1 < numbers.size() ? numbers[i + 1] : leadOut) -
                                    numbers[i]);
    return disc;
}

TCddbQueryResult MusicBrainzFieldsOf(const TMusicBrainzRelease& release, int firstTrack,
                                     bool chosenByUser) {
    const bool takeMedium = release.MediumMatches || chosenByUser;
    // The release's own data and nothing else: a year or genre it lacks is empty, not what an
    // earlier lookup left. The comment is the user's own and stays.
    TCddbQueryResult result;
    TDiscRelease disc = release.Disc;
    disc.Tracks.clear();
    for (const auto& [position, credit] : release.Disc.Tracks)
        if (takeMedium) disc.Tracks[firstTrack + position - 1] = credit;
    if (!takeMedium) {
        disc.DiscNumber = 0;
        disc.DiscSubtitle.clear();
        disc.HiddenTrackTitle.clear();
        disc.HiddenTrackId.clear();
    }
    result.Release = std::move(disc);
    result.Artist = release.Artist;
    result.Album = release.Title;
    result.Year = release.Year.value_or(std::string());
    result.Genre = release.Genre.value_or(std::string());
    if (takeMedium && !release.TrackTitles.empty()) {
        result.TrackTitles = release.TrackTitles;
        for (std::size_t i = 0; i < result.TrackTitles->size(); ++i)
            if ((*result.TrackTitles)[i].empty())
                (*result.TrackTitles)[i] = "Track" + TwoDigits(firstTrack + static_cast<int>(i));
    }
    return result;
}

std::string MusicBrainzErrorText(std::string_view body) {
    std::string text;
    try {
        text = Text(ParseReply(body), "error");
    } catch (const EMusicBrainzReply&) {
        text = "the reply is nested too deeply";
    } catch (const json::exception&) {
        // A page from a proxy or a front server: keep its words, drop its markup.
        bool inTag = false;
        for (char c : body) {
            if (c == '<')
                inTag = true;
            else if (c == '>')
                inTag = false, text += ' ';
            else if (!inTag)
                text += c;
        }
    }
    text = PlainText(std::move(text));
    std::string words;
    for (char c : text) {
        if (c == ' ' && (words.empty() || words.back() == ' ')) continue;
        words += c;
    }
    while (!words.empty() && words.back() == ' ')
        words.pop_back();
    if (words.size() > 200) {
        words.resize(200);
        // Do not leave half a UTF-8 character at the cut.
        while (!words.empty() && (static_cast<unsigned char>(words.back()) & 0xC0) == 0x80)
            words.pop_back();
        if (!words.empty() && static_cast<unsigned char>(words.back()) >= 0xC0) words.pop_back();
        words += "...";
    }
    return words;
}

} // namespace bw
