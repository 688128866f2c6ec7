// Reads the fields the program uses out of one CDDB database record (the xmcd text format:
// "KEYWORD=value" lines).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

struct TCddbRecordFields {
    std::optional<std::string> Artist; // from DTITLE, with Album
    std::optional<std::string> Album;
    std::optional<std::string> Year;  // from DYEAR
    std::optional<std::string> Genre; // from DGENRE, as written
    // Titles of the tracks firstTrack, firstTrack + 1, ... in order; set when the record has
    // the first track's title line, and then this record is the one whose titles count.
    std::optional<std::vector<std::string>> TrackTitles;
};

// Walks the record's lines in order, as a later line of the same kind replaces an earlier
// one; stops at the track titles, which are the last thing taken.
TCddbRecordFields ParseCddbRecord(std::string_view record, int firstTrack, int lastTrack);

} // namespace bw
