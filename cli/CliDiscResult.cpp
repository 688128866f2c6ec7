#include "CliDiscResult.h"

#include "CdTextFields.h"
#include "CliCommands.h"
#include "Genres.h"

#include <iostream>

namespace bw::cli {

TDiscFields CachedDiscFields(const std::string& key, const TCliDrive& drive) {
    LoadDiscInfoOrCdText(key, drive.Handle(), drive.TOC().FirstTrack);
    return TDiscFields{Settings.CDArtist, Settings.CDAlbum,   Settings.CDYear,
                       Settings.CDGenre,  Settings.CDComment, Settings.CDGenreText};
}

int ShowDiscResult(const std::string& command, const TCddbQueryResult& result, TDiscFields fields,
                   const TCliDrive& drive, const std::string& key, bool save) {
    const int first = drive.TOC().FirstTrack, last = drive.TOC().LastTrack;
    if (result.ClearDiscFields) fields = TDiscFields{};
    if (result.Release)
        Settings.CDRelease = *result.Release;
    else if (result.ClearDiscFields)
        Settings.CDRelease = TDiscRelease{};
    if (result.Artist) fields.Artist = *result.Artist;
    if (result.Album) fields.Album = *result.Album;
    if (result.Year) fields.Year = *result.Year;
    if (result.Genre) {
        // Only a name written exactly as in the list selects it.
        const int index = GenreListIndexOf(*result.Genre, false);
        fields.GenreIndex = index > 0 ? index : -1;
        fields.Genre.clear();
    }
    Settings.TrackCount = last - first + 1;
    for (int row = 0; row < Settings.TrackCount && row < MaxTracks; ++row) {
        std::string& title = Settings.TrackTitles[row + 1];
        if (result.TrackTitles && row < static_cast<int>(result.TrackTitles->size()))
            title = (*result.TrackTitles)[row];
        else if (title.empty())
            title = "Track" + TwoDigits(first + row);
    }

    const bool listed = fields.GenreIndex > 0 && fields.GenreIndex < GenreListCount;
    std::cout << "Artist: " << fields.Artist << "\n"
              << "Album:  " << fields.Album << "\n"
              << "Year:   " << fields.Year << "\n"
              << "Genre:  " << (listed ? GenreListEntries[fields.GenreIndex] : fields.Genre)
              << "\n";
    for (int row = 0; row < Settings.TrackCount && row < MaxTracks; ++row)
        std::cout << TwoDigits(first + row) << "  " << Settings.TrackTitles[row + 1] << "\n";

    if (save) {
        if (key.empty()) return Fail(command, "the disc has no audio track to remember");
        try {
            LoadSaveDiscInfo(key, false, fields);
        } catch (const std::exception& e) {
            return Fail(command, e.what());
        }
    }
    return 0;
}

} // namespace bw::cli
