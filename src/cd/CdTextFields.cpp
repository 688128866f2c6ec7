#include "CdTextFields.h"

#include "Global.h"

namespace bw {

namespace {

std::string PlainText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

} // namespace

bool ReadDiscCdText(int handle, TCDText& text) {
    if (!GetCDText(handle, text)) return false;
    text.Title = PlainText(std::move(text.Title));
    text.Performer = PlainText(std::move(text.Performer));
    for (auto& title : text.TrackTitles)
        title = PlainText(std::move(title));
    for (auto& performer : text.TrackPerformers)
        performer = PlainText(std::move(performer));
    return true;
}

bool LoadDiscInfoOrCdText(const std::string& DiscKey, int handle, int firstTrack) {
    LoadSaveDiscInfo(DiscKey, true, {}, firstTrack);
    TCDText text;
    if (DiscKey.empty() || IsDiscInfoKnown(DiscKey) || !ReadDiscCdText(handle, text)) return false;
    std::string performer = text.Performer;
    if (performer.empty() && !text.TrackPerformers.empty()) {
        // A disc that names its performer only per track, the same on every track.
        performer = text.TrackPerformers.front();
        for (const auto& p : text.TrackPerformers)
            if (p != performer) performer.clear();
    }
    bool used = false;
    if (!performer.empty()) Settings.CDArtist = performer, used = true;
    if (!text.Title.empty()) Settings.CDAlbum = text.Title, used = true;
    // Each track's own performer, where it is not the disc's, is that track's artist.
    Settings.CDRelease = TDiscRelease{};
    for (std::size_t i = 0; i < text.TrackPerformers.size() && i < MaxTracks; ++i) {
        const std::string& own = text.TrackPerformers[i];
        if (own.empty() || own == performer) continue;
        TTrackCredit& credit = Settings.CDRelease.Tracks[firstTrack + static_cast<int>(i)];
        credit.Artist = own;
        credit.Artists = {own};
        used = true;
    }
    // CD-Text lists titles from the disc's first track on; they are kept by row.
    for (std::size_t i = 0; i < text.TrackTitles.size() && i < MaxTracks; ++i) {
        if (text.TrackTitles[i].empty()) continue;
        Settings.TrackTitles[i + 1] = text.TrackTitles[i];
        used = true;
    }
    return used;
}

} // namespace bw
