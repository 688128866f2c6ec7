// brindlewave-cli musicbrainz: looks the disc up in the MusicBrainz web service, lists the
// releases found and shows (or stores) one of them.
#include "CliCommands.h"
#include "CliDiscResult.h"
#include "CliDrive.h"
#include "DiscIdentity.h"
#include "Global.h"
#include "MusicBrainzQuery.h"
#include "RipTagging.h"

#include <cstdio>
#include <getopt.h>
#include <iostream>

namespace bw::cli {

namespace {

void PrintHelp() {
    std::cout << "Usage: brindlewave-cli musicbrainz [OPTION]...\n"
                 "Looks up the disc of a drive in the MusicBrainz web service by its disc id\n"
                 "(and, when nothing is attached to it, by its TOC), lists the releases found,\n"
                 "and prints the artist, album, year, genre and track titles of one of them:\n"
                 "the one chosen for the disc before (marked [remembered]), else the first\n"
                 "whose medium holds the disc, unless --release names another.\n"
                 "The server and the proxy come from the settings file.\n\n"
                 "  -d, --drive N       drive index from 0 (default 0)\n"
                 "      --server URL    the web service's address, e.g. https://musicbrainz.org\n"
                 "  -r, --release N     show release N of the list (from 1)\n"
                 "  -s, --save          remember the result in the title cache, so that\n"
                 "                      'rip' names the files after it\n";
}

std::string ReleaseLine(const TMusicBrainzRelease& release) {
    std::string details = release.Date;
    if (!release.Country.empty()) details += (details.empty() ? "" : ", ") + release.Country;
    if (release.MediumCount > 0) {
        const std::string medium =
            (release.MediumFormat.empty() ? "medium" : release.MediumFormat) + " " +
            std::to_string(release.MediumPosition) + "/" + std::to_string(release.MediumCount);
        details += (details.empty() ? "" : ", ") + medium;
    }
    return release.Artist + " - " + release.Title + (details.empty() ? "" : " (" + details + ")");
}

} // namespace

int RunMusicBrainz(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},   {"server", required_argument, nullptr, 'S'},
        {"release", required_argument, nullptr, 'r'}, {"save", no_argument, nullptr, 's'},
        {"help", no_argument, nullptr, 'h'},          {nullptr, 0, nullptr, 0},
    };
    LoadSaveOptions(true);
    int drive = 0;
    int releaseNumber = 0;
    bool save = false;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:r:sh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("musicbrainz", "bad drive index: " + std::string(optarg));
            break;
        case 'S':
            Settings.MusicBrainzServer = optarg;
            break;
        case 'r':
            if (!ParseInt(optarg, releaseNumber) || releaseNumber < 1)
                return Fail("musicbrainz", "bad release number: " + std::string(optarg));
            break;
        case 's':
            save = true;
            break;
        case 'h':
            PrintHelp();
            return 0;
        default:
            return 2;
        }
    }
    if (optind < argc)
        return Fail("musicbrainz", std::string("unexpected argument '") + argv[optind] + "'");
    CommandLineRead();

    TCliDrive cd;
    if (!cd.Open("musicbrainz", drive)) return 1;
    TMusicBrainzLookup lookup =
        LookupMusicBrainzDrive(MusicBrainzOptionsFromSettings(), cd.Handle());
    if (lookup.Status != TMusicBrainzStatus::Found) return Fail("musicbrainz", lookup.Message);

    const std::string key = DiscKeyOfDrive(cd.Entry());
    // The release chosen for the disc before (here or in the window) is shown again.
    const std::string remembered = RememberedMusicBrainzRelease(key);
    int chosen = ChooseMusicBrainzRelease(lookup.Releases);
    for (std::size_t i = 0; i < lookup.Releases.size(); ++i)
        if (!remembered.empty() && lookup.Releases[i].Id == remembered)
            chosen = static_cast<int>(i);
    if (releaseNumber > 0) {
        if (releaseNumber > static_cast<int>(lookup.Releases.size()))
            return Fail("musicbrainz", "there is no release " + std::to_string(releaseNumber) +
                                           " (releases 1 to " +
                                           std::to_string(lookup.Releases.size()) + ")");
        chosen = releaseNumber - 1;
    }
    std::cout << "Disc id: " << lookup.Disc.Id << "\n";
    for (std::size_t i = 0; i < lookup.Releases.size(); ++i)
        std::cout << (static_cast<int>(i) == chosen ? "* " : "  ") << i + 1 << "  "
                  << ReleaseLine(lookup.Releases[i])
                  << (!remembered.empty() && lookup.Releases[i].Id == remembered ? "  [remembered]"
                                                                                 : "")
                  << "\n";
    std::cout << "\n";

    const TMusicBrainzRelease& release = lookup.Releases[chosen];
    // A release the user names (now or before) is taken even when none of its media is the disc.
    const bool chosenByUser =
        releaseNumber > 0 || (!remembered.empty() && release.Id == remembered);
    if (!release.MediumMatches)
        std::cout << (chosenByUser ? "No medium of this release matches the disc: the track "
                                     "titles are its first medium's.\n\n"
                                   : "No medium of this release matches the disc: its track "
                                     "titles are not taken.\n\n");
    const int status = ShowDiscResult(
        "musicbrainz", MusicBrainzFieldsOf(release, cd.TOC().FirstTrack, chosenByUser),
        CachedDiscFields(key, cd), cd, key, save);
    if (status != 0 || !save) return status;
    // The ids go into the files' tags and name the release whose cover a rip fetches.
    const TMusicBrainzIds ids = MusicBrainzIdsOf(lookup, chosen, cd.TOC().FirstTrack);
    try {
        SaveMusicBrainzIds(key, ids);
    } catch (const std::exception& e) {
        return Fail("musicbrainz", e.what());
    }
    return 0;
}

} // namespace bw::cli
