// Verification and repair against the CUETools database: a disc's CTDB sums gathered in one
// pass as its audio streams by, the offset search against an entry, the verdict per track,
// and the repair plan (every column decoded and the mended CRC predicted, or nothing).
#pragma once

#include "CtdbCrc.h"
#include "CtdbReply.h"
#include "CtdbSyndromes.h"
#include "CtdbToc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bw {

// The CRCs and syndromes of one disc's audio, from samples given at their disc positions.
class TCtdbDiscSums {
public:
    // npar 8 of the even columns is what the offset search needs; a repair wants every
    // column (columnStep 1) at the entry's npar and the offset it was found at.
    explicit TCtdbDiscSums(const TCtdbToc& toc, int npar = 8, int columnStep = 2, int offset = 0);

    void Add(std::int64_t at, const std::uint8_t* bytes, std::size_t size);

    const TCtdbLayout& Layout() const { return FLayout; }
    const TCtdbSyndromes& Syndromes() const { return FSyndromes; }
    // The whole disc was read, in order.
    bool Complete() const { return FSyndromes.Complete() && DiscCrc().has_value(); }
    // CRCs with every range moved by offset samples.
    std::optional<std::uint32_t> DiscCrc(int offset = 0) const;
    std::optional<std::uint32_t> TrackCrc(std::size_t index, int offset = 0) const;

private:
    TCtdbLayout FLayout;
    TCtdbCrc FCrc;
    TCtdbSyndromes FSyndromes;
};

// Whether an entry's TOC gives the same audio length after the pregap and its stride ours.
bool CtdbEntryFits(const TCtdbEntry& entry, const TCtdbLayout& layout);

struct TCtdbMatch {
    bool Found = false;
    int Offset = 0;         // rip sample s holds the pressing's sample s + Offset
    bool HasErrors = false; // the disc CRC at -Offset differs from the entry's
};

// The offset search: column 0's syndromes at every offset within a stride, equal first,
// else the fewest errors (under npar/2) a decode of column 0 finds.
TCtdbMatch FindCtdbOffset(const TCtdbDiscSums& sums, const TCtdbEntry& entry);

struct TCtdbFix {
    std::int64_t Word = 0; // 16-bit word position from the disc's start
    std::uint16_t Xor = 0;
};

struct TCtdbRepairPlan {
    bool Ok = false;
    std::string Why; // when not Ok
    int Npar = 0;
    std::vector<TCtdbFix> Fixes; // in order
    std::uint32_t PredictedCrc = 0;
};

// Decodes every column from a rip's syndromes (every column, aligned at the match's offset)
// and the entry's recovery data of npar syndromes a column.
TCtdbRepairPlan PlanCtdbRepair(const TCtdbSyndromes& rip, const std::string& parityFile, int npar,
                               const TCtdbEntry& entry, const TCtdbLayout& layout, int offset,
                               std::uint32_t ripCrcAtMinusOffset);

// "00:28:53-00:28:55,00:31:07": the sectors the fixes touch (errors under five sectors apart
// joined), counted from firstSector.
std::string CtdbFixTimes(const std::vector<TCtdbFix>& fixes, std::int64_t firstSector = 0);

enum class TCtdbStatus { Accurate, Differs, NoMatch, NotInDatabase, Unreachable, NotChecked };

// One track's verdict (or the disc's), as reports show it.
struct TCtdbVerdict {
    TCtdbStatus Status = TCtdbStatus::NotChecked;
    int Confidence = 0; // the matching entry's
    int Total = 0;      // every entry's together
    std::int64_t DifferingWords = 0;
    int Offset = 0;     // where it was found
    std::string Times;  // of the differing words
    std::string Reason; // why not checked
};

// "accurately ripped (confidence 3 of 3)", "differs in 2000 samples", "no match",
// "disc not present in database", "not checked: the database could not be reached"; a match
// at another offset says which.
std::string CtdbVerdictText(const TCtdbVerdict& verdict);

// The verdicts of a disc against a lookup's entries.
struct TCtdbDiscResult {
    std::string TocId;
    bool Found = false; // the database knows the TOC
    TCtdbVerdict Disc;
    std::vector<TCtdbVerdict> Tracks;
    std::optional<TCtdbEntry> Entry; // the entry matched, even with errors
    TCtdbMatch Match;
};

// Judges the sums against every entry (none: not in the database). Tracks whose CRC cannot
// be known (not read) are not checked. A disc not read whole is judged by its track CRCs.
TCtdbDiscResult JudgeCtdb(const TCtdbToc& toc, const TCtdbDiscSums& sums,
                          const std::vector<TCtdbEntry>& entries);

// The same when the database could not be asked.
TCtdbDiscResult CtdbUnreachable(const TCtdbToc& toc, std::size_t tracks, const std::string& why);

// The repair plan's effect on the verdicts: differing words and times per track.
void ApplyCtdbRepairToVerdicts(TCtdbDiscResult& result, const TCtdbLayout& layout,
                               const TCtdbRepairPlan& plan);

} // namespace bw
