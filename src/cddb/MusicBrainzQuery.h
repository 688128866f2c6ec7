// Looks a disc up in the MusicBrainz web service (version 2, JSON): by its disc id, and when
// nothing is attached to that id, by its TOC. At most one request a second leaves this
// process, and a rate-limit answer (503) is retried once after the delay it asks for.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "MusicBrainzDiscId.h"
#include "MusicBrainzRelease.h"
#include "RipTagging.h"

namespace bw {

inline const std::string DefaultMusicBrainzServer = "https://musicbrainz.org";
inline const std::string NoMusicBrainzEntryText = "No MusicBrainz entry for this disc.";

struct TMusicBrainzOptions {
    std::string Server = DefaultMusicBrainzServer; // scheme and host, optionally a port
    bool UseProxy = false;
    std::string ProxyHost;
    int ProxyPort = 80;
};

// The server of the settings with the program's proxy settings.
TMusicBrainzOptions MusicBrainzOptionsFromSettings();

// "Brindlewave/<version> ( <home page> )", as the service asks clients to name themselves.
std::string MusicBrainzUserAgent();

enum class TMusicBrainzStatus { Found, NotFound, Failed, Stopped };

struct TMusicBrainzLookup {
    TMusicBrainzStatus Status = TMusicBrainzStatus::Failed;
    std::string Message; // for the user, when not Found
    TMusicBrainzDisc Disc;
    std::vector<TMusicBrainzRelease> Releases; // at least one when Found
};

// Looks the disc up; blocks for the network. A set cancel flag ends it within a moment.
TMusicBrainzLookup LookupMusicBrainz(const TMusicBrainzOptions& options,
                                     const TMusicBrainzDisc& disc,
                                     const std::atomic<bool>* cancel = nullptr);

// The same for the disc in an open drive, whose TOC it reads first.
TMusicBrainzLookup LookupMusicBrainzDrive(const TMusicBrainzOptions& options, int CDHandle,
                                          const std::atomic<bool>* cancel = nullptr);

// The ids of release `chosen` of a lookup, its recordings by track number from firstTrack on.
TMusicBrainzIds MusicBrainzIdsOf(const TMusicBrainzLookup& lookup, int chosen, int firstTrack);

// The base URL of a server setting: "https://" is assumed without a scheme, and a trailing
// "/" is dropped.
std::string MusicBrainzBaseUrl(const std::string& server);

} // namespace bw
