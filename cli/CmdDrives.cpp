// brindlewave-cli drives: lists the CD drives; brindlewave-cli toc: shows a disc's tracks.
#include "CdTextFields.h"
#include "CliCommands.h"
#include "CliDrive.h"
#include "DiscIdentity.h"
#include "Global.h"
#include "MusicBrainzDiscId.h"

#include <cstdio>
#include <getopt.h>
#include <iostream>

namespace bw::cli {

namespace {

std::string MinSec(int minutes, int seconds) {
    return TwoDigits(minutes) + ":" + TwoDigits(seconds);
}

std::string MinSecFrame(const TTOCTrack& entry) {
    return MinSec(entry.Address[1], entry.Address[2]) + ":" + TwoDigits(entry.Address[3]);
}

// The length between a track's start and its end frame from their minutes and seconds
// only, as the track list of the main window shows it.
std::string LengthText(const TTOCTrack& entry, int endFrame) {
    int minutes = endFrame / 4500 - entry.Address[1];
    int seconds = endFrame / 75 % 60 - entry.Address[2];
    if (seconds < 0) {
        seconds += 60;
        minutes -= 1;
    }
    return MinSec(minutes, seconds);
}

// The disc's CD-Text, when it carries any.
void PrintCdText(int handle, int firstTrack) {
    TCDText text;
    if (!ReadDiscCdText(handle, text)) return;
    bool any = !text.Title.empty() || !text.Performer.empty();
    for (const auto& t : text.TrackTitles)
        any = any || !t.empty();
    for (const auto& p : text.TrackPerformers)
        any = any || !p.empty();
    if (!any) return;
    std::printf("CD-Text title: %s\nCD-Text performer: %s\n", text.Title.c_str(),
                text.Performer.c_str());
    for (std::size_t i = 0; i < text.TrackTitles.size(); ++i) {
        const std::string performer =
            i < text.TrackPerformers.size() ? text.TrackPerformers[i] : std::string();
        // A track's own performer only when it differs from the disc's.
        const std::string by =
            performer.empty() || performer == text.Performer ? "" : " / " + performer;
        std::printf("CD-Text track %s: %s%s\n", TwoDigits(firstTrack + static_cast<int>(i)).c_str(),
                    text.TrackTitles[i].c_str(), by.c_str());
    }
}

} // namespace

int RunDrives(int argc, char** argv) {
    static const option longOptions[] = {
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "h", longOptions, nullptr)) != -1) {
        if (c != 'h') return 2;
        std::cout << "Usage: brindlewave-cli drives\n"
                     "Lists the CD drives, one a line: index, name, and the device or image\n"
                     "file it reads. CD images named in BRINDLEWAVE_CD_IMAGES (separated by\n"
                     "':') follow the physical drives.\n";
        return 0;
    }
    if (optind < argc)
        return Fail("drives", std::string("unexpected argument '") + argv[optind] + "'");
    CommandLineRead();
    TCDList list = ReadDriveList();
    if (list.Count == 0) std::cerr << "brindlewave-cli: drives: no CD drive found\n";
    for (int i = 0; i < list.Count; ++i) {
        std::printf("%d  %-26s  %s\n", i, DriveDisplayName(list.Entries[i]).c_str(),
                    GetCDSource(list.Entries[i]).c_str());
        const std::string problem = GetCDAccessProblem(list.Entries[i]);
        if (!problem.empty()) std::printf("   %s\n", problem.c_str());
    }
    return 0;
}

int RunToc(int argc, char** argv) {
    static const option longOptions[] = {
        {"drive", required_argument, nullptr, 'd'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int drive = 0;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, "d:h", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'd':
            if (!ParseDriveIndex(optarg, drive))
                return Fail("toc", std::string("invalid drive '") + optarg + "'");
            break;
        case 'h':
            std::cout << "Usage: brindlewave-cli toc [--drive N]\n"
                         "Shows the table of contents of the disc in a drive: each track's\n"
                         "start (mm:ss:ff), length (mm:ss) and length in sectors, the lead-out,\n"
                         "the disc key its titles are remembered under, the disc's MusicBrainz\n"
                         "disc id, and the CD-Text the disc carries.\n\n"
                         "  -d, --drive N   the drive's index in 'brindlewave-cli drives' (0)\n";
            return 0;
        default:
            return 2;
        }
    }
    if (optind < argc)
        return Fail("toc", std::string("unexpected argument '") + argv[optind] + "'");
    CommandLineRead();

    TCliDrive cd;
    if (!cd.Open("toc", drive)) return 1;
    const TTOC& toc = cd.TOC();
    const int entries = TOCEntryCount(toc);
    std::printf("Drive: %s\nFirst track: %d\nLast track: %d\n",
                DriveDisplayName(cd.Entry()).c_str(), toc.FirstTrack, toc.LastTrack);
    std::printf("Track  Start     Length  Sectors\n");
    const std::vector<int> ends = TOCEndFrames(toc);
    // Audio in the first track's pregap, from the disc's first sector (00:02:00).
    if (const int hidden = GetCDHiddenTrack(cd.Handle()); hidden > 0) {
        TTOCTrack first{};
        first.Address[2] = 2;
        std::printf("%5d  %s  %s   %7d  %s\n", 0, MinSecFrame(first).c_str(),
                    LengthText(first, hidden + 150).c_str(), hidden, HiddenTrackTitle);
    }
    for (int i = 0; i + 1 < entries; ++i) {
        const TTOCTrack& entry = toc.Tracks[i];
        const int end = ends[static_cast<std::size_t>(i)];
        std::string session;
        if (i > 0 && entry.Session > toc.Tracks[i - 1].Session)
            session = "  session " + std::to_string(entry.Session);
        std::printf("%5d  %s  %s   %7d%s%s%s\n", entry.TrackNumber, MinSecFrame(entry).c_str(),
                    LengthText(entry, end).c_str(), end - FramesOf(entry),
                    IsAudioEntry(entry) ? "" : "  data", session.c_str(),
                    IsAudioEntry(entry) && (entry.AdrControl & 0x01) ? "  pre-emphasis" : "");
    }
    std::printf("Lead-out: %s\n", MinSecFrame(toc.Tracks[entries - 1]).c_str());
    std::printf("Disc key: %s\n", DiscKeyOfDrive(cd.Entry()).c_str());
    auto disc = MusicBrainzDiscOf(toc);
    std::printf("MusicBrainz disc id: %s\n", disc ? disc->Id.c_str() : "");
    for (const auto& warning : GetCDDiscWarnings(cd.Handle()))
        std::cerr << "brindlewave-cli: toc: warning: " << warning << "\n";
    PrintCdText(cd.Handle(), toc.FirstTrack);
    TCDCodes codes;
    if (GetCDCodes(cd.Handle(), codes)) {
        if (!codes.Catalog.empty()) std::printf("Catalog number: %s\n", codes.Catalog.c_str());
        for (std::size_t i = 0; i < codes.Isrc.size(); ++i)
            if (!codes.Isrc[i].empty())
                std::printf("ISRC track %s: %s\n",
                            TwoDigits(toc.FirstTrack + static_cast<int>(i)).c_str(),
                            codes.Isrc[i].c_str());
    }
    return 0;
}

} // namespace bw::cli
