// MusicBrainz replies come from servers outside our control (or from whatever answers in
// their place).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "MusicBrainzRelease.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int tracks = data[0] % 12 + 1;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        auto releases = bw::ParseMusicBrainzReleases(text, "lwHl8fGzJyLXQR33ug60E8jhf4k-", tracks);
        const int chosen = bw::ChooseMusicBrainzRelease(releases);
        if (chosen >= static_cast<int>(releases.size())) std::abort();
        for (const auto& release : releases) {
            if (release.TrackTitles.size() > static_cast<std::size_t>(tracks)) std::abort();
            for (char c : release.Title)
                if (static_cast<unsigned char>(c) < 0x20) std::abort(); // plain text only
            bw::MusicBrainzFieldsOf(release);
        }
    } catch (const bw::EMusicBrainzReply&) {
        // refused as it should be
    }
    bw::MusicBrainzErrorText(text);
    return 0;
}
