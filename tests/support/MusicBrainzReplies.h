// Replies of the MusicBrainz web service (ws/2, JSON) put together from their parts, in the
// shape the service sends, for stand-in servers and parser tests.
#pragma once

#include <string>
#include <vector>

namespace bwtest::mb {

// A medium's track list: titles are JSON values (quoted strings, or anything else on purpose),
// numbered from firstPosition.
inline std::string Tracks(const std::vector<std::string>& titles, int firstPosition = 1) {
    std::string out = "[";
    for (std::size_t i = 0; i < titles.size(); ++i) {
        int position = firstPosition + static_cast<int>(i);
        out += (i ? "," : "") + std::string("{\"id\":\"t") + std::to_string(i) +
               "\",\"position\":" + std::to_string(position) + ",\"number\":\"" +
               std::to_string(position) + "\",\"title\":" + titles[i] +
               ",\"length\":215000,\"recording\":{\"id\":\"r\",\"title\":\"Recording\"}}";
    }
    return out + "]";
}

// A medium: the disc id it holds (none when empty), its tracks and their count.
inline std::string Medium(int position, const std::string& discId, const std::string& tracks,
                          int trackCount) {
    std::string discs = discId.empty() ? "[]"
                                       : "[{\"id\":\"" + discId +
                                             "\",\"sectors\":58317,\"offset-count\":3,"
                                             "\"offsets\":[150,22767,41887]}]";
    return "{\"position\":" + std::to_string(position) +
           ",\"title\":\"\",\"format\":\"CD\",\"format-id\":\"9712d52a\",\"track-count\":" +
           std::to_string(trackCount) + ",\"track-offset\":0,\"discs\":" + discs +
           ",\"tracks\":" + tracks + "}";
}

// A release with the given media (a comma-separated list of Medium(...)).
inline std::string Release(const std::string& title, const std::string& credit,
                           const std::string& date, const std::string& genres,
                           const std::string& media) {
    return "{\"id\":\"2c5a9b7e\",\"title\":" + title +
           ",\"status\":\"Official\",\"quality\":\"normal\",\"date\":\"" + date +
           "\",\"country\":\"GB\",\"barcode\":\"\",\"artist-credit\":" + credit +
           ",\"genres\":" + genres + ",\"media\":[" + media + "]}";
}

inline const std::string OneArtist =
    R"([{"name":"Solo","joinphrase":"","artist":{"id":"a1","name":"Solo","sort-name":"Solo"}}])";

} // namespace bwtest::mb
