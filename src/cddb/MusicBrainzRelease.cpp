#include "MusicBrainzRelease.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "Genres.h"

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

int Integer(const json& object, const char* name, int fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(name);
    if (it == object.end() || !it->is_number_integer()) return fallback;
    const auto value = it->get<long long>();
    return value < -1000000 || value > 1000000 ? fallback : static_cast<int>(value);
}

std::string ArtistCredit(const json& credits) {
    std::string artist;
    for (const json& credit : credits) {
        std::string name = Text(credit, "name");
        if (name.empty() && credit.is_object()) {
            auto artist = credit.find("artist");
            if (artist != credit.end()) name = Text(*artist, "name");
        }
        artist += name + Text(credit, "joinphrase");
    }
    return artist;
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

void TakeMedium(TMusicBrainzRelease& release, const json& medium, int trackCount) {
    release.MediumPosition = Integer(medium, "position", 0);
    release.MediumFormat = Text(medium, "format");
    struct TTrack {
        int first;
        std::string second; // the title
        std::string recording;
    };
    std::vector<TTrack> tracks;
    for (const json& track : Array(medium, "tracks")) {
        // Position 0 is a hidden track before the first; it is not one of the disc's tracks.
        const int position = Integer(track, "position", -1);
        if (position < 1 || position > trackCount) continue;
        auto recording = track.is_object() ? track.find("recording") : track.end();
        tracks.push_back({position, Text(track, "title"),
                          recording != track.end() && recording->is_object()
                              ? Text(*recording, "id")
                              : std::string()});
    }
    std::stable_sort(tracks.begin(), tracks.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Titles go to the rows in track order; a gap in the positions ends them.
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].first != static_cast<int>(release.TrackTitles.size()) + 1) break;
        release.TrackTitles.push_back(tracks[i].second);
        release.RecordingIds.push_back(tracks[i].recording);
    }
}

TMusicBrainzRelease ReleaseOf(const json& r, const std::string& discId, int trackCount) {
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

    const json& media = Array(r, "media");
    release.MediumCount = static_cast<int>(media.size());
    const json* chosen = nullptr;
    for (const json& medium : media) {
        if (HoldsDisc(medium, discId)) {
            chosen = &medium;
            release.MediumMatches = true;
            break;
        }
    }
    if (!chosen) {
        // A lookup by TOC finds releases whose medium has the same layout, but that medium
        // does not list our id: the one with as many tracks as the disc is it.
        for (const json& medium : media) {
            if (Integer(medium, "track-count", -1) == trackCount ||
                static_cast<int>(Array(medium, "tracks").size()) == trackCount) {
                chosen = &medium;
                release.MediumMatches = true;
                break;
            }
        }
    }
    if (!chosen && !media.empty()) chosen = &media.front();
    if (chosen) TakeMedium(release, *chosen, trackCount);
    return release;
}

} // namespace

std::vector<TMusicBrainzRelease>
ParseMusicBrainzReleases(std::string_view text, const std::string& discId, int trackCount) {
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
        releases.push_back(ReleaseOf(r, discId, trackCount));
    return releases;
}

int ChooseMusicBrainzRelease(const std::vector<TMusicBrainzRelease>& releases) {
    for (std::size_t i = 0; i < releases.size(); ++i)
        if (releases[i].MediumMatches) return static_cast<int>(i);
    return releases.empty() ? -1 : 0;
}

TCddbQueryResult MusicBrainzFieldsOf(const TMusicBrainzRelease& release) {
    TCddbQueryResult result;
    result.Artist = release.Artist;
    result.Album = release.Title;
    result.Year = release.Year;
    result.Genre = release.Genre;
    if (!release.TrackTitles.empty()) result.TrackTitles = release.TrackTitles;
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
