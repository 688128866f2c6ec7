// The rip report's part for the CUETools database: its sums made beside the AccurateRip
// checksums, the lookup, the verdicts per track and their lines in the log.
#include "RipReport.h"

#include "CtdbLookup.h"
#include "Global.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace bw {

namespace {

constexpr int LeadInFrames = 150;

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

} // namespace

TCtdbToc CtdbTocOfDisc(const TRipDisc& disc) {
    TCtdbToc toc;
    for (int i = 0; i < disc.TrackCount(); ++i) {
        toc.Starts.push_back(disc.StartFrames[std::size_t(i)] - LeadInFrames);
        toc.IsAudio.push_back(disc.IsAudio[std::size_t(i)]);
    }
    toc.LeadOut = disc.StartFrames.empty() ? 0 : disc.StartFrames.back() - LeadInFrames;
    return toc;
}

std::string CtdbServer() {
    const char* server = std::getenv("BRINDLEWAVE_CTDB_SERVER");
    return server ? server : Settings.CtdbServer;
}

void TRipReport::EnableCtdb() {
    FCtdbToc = CtdbTocOfDisc(FDisc);
    try {
        // Eight syndromes of every column: enough to find the rip's offset and to mend what
        // eight can, without a second pass over the files.
        FCtdbSums = std::make_shared<TCtdbDiscSums>(FCtdbToc, 8, 1);
    } catch (const std::invalid_argument&) {
        FCtdbSums.reset(); // too short for the database
    }
}

void TRipReport::VerifyCtdb(const std::string& server, const THttpRequest& options, bool normalized,
                            const std::atomic<bool>* cancel) {
    if (!FCtdbSums) return;
    const std::size_t tracks = FCtdbSums->Layout().TrackStarts.size();
    FCtdbRepairable = false;
    if (normalized) {
        FCtdb = CtdbUnreachable(FCtdbToc, tracks, "");
        FCtdb->Disc.Status = TCtdbStatus::NotChecked;
        FCtdb->Disc.Reason = "normalization changed the samples";
        FCtdb->Tracks.assign(tracks, FCtdb->Disc);
    } else {
        TCtdbLookup lookup = LookUpCtdb(server, FCtdbToc, options, cancel);
        if (lookup.Cancelled) return;
        if (lookup.Kind == TCtdbLookup::TKind::Failed) {
            FCtdb = CtdbUnreachable(FCtdbToc, tracks, lookup.Error);
        } else {
            FCtdb = JudgeCtdb(FCtdbToc, *FCtdbSums, lookup.Entries);
            const auto& entry = FCtdb->Entry;
            // Mended where it was read: the sums are of the rip's own alignment.
            if (entry && FCtdb->Match.HasErrors && FCtdb->Match.Offset == 0 &&
                !entry->ParityUrl.empty()) {
                TCtdbRepairPlan plan =
                    RepairFromCtdb(server, *entry, FCtdbSums->Syndromes(), FCtdbSums->Layout(), 0,
                                   *FCtdbSums->DiscCrc(), options, cancel);
                ApplyCtdbRepairToVerdicts(*FCtdb, FCtdbSums->Layout(), plan);
                FCtdbRepairable = plan.Ok;
            }
        }
    }
    // Audio tracks in disc order are the database's tracks.
    std::size_t index = 0;
    for (int i = 0; i < FDisc.TrackCount(); ++i) {
        if (!FDisc.IsAudio[std::size_t(i)]) continue;
        for (auto& t : FTracks)
            if (t.Track == FDisc.FirstTrack + i && index < FCtdb->Tracks.size())
                t.Ctdb = FCtdb->Tracks[index];
        ++index;
    }
}

std::string TRipReport::CtdbStatusText() const {
    if (!FCtdb) return {};
    const std::string head = "[CTDB TOCID: " + FCtdb->TocId + "] ";
    return head + (FCtdb->Found ? "found" : CtdbVerdictText(FCtdb->Disc));
}

std::string TRipReport::CtdbLogText() const {
    if (!FCtdb) return {};
    std::string log = "\n" + CtdbStatusText() + "\n";
    if (FCtdb->Disc.Status == TCtdbStatus::Unreachable && !FCtdb->Disc.Reason.empty())
        log += "  " + FCtdb->Disc.Reason + "\n";
    if (FCtdb->Entry) {
        log += "  Entry " + Hex8(FCtdb->Entry->Crc32) + ": " + CtdbVerdictText(FCtdb->Disc);
        if (!FCtdb->Disc.Times.empty()) log += " @" + FCtdb->Disc.Times;
        log += "\n";
        if (FCtdbRepairable) log += "  The database's recovery data can repair the rip.\n";
    }
    if (FCtdbSums)
        if (auto crc = FCtdbSums->DiscCrc()) log += "  CTDB CRC: " + Hex8(*crc) + "\n";
    for (const auto& t : FTracks)
        if (t.Ripped && t.Ctdb.Status != TCtdbStatus::NotChecked) {
            log += "  Track " + TwoDigits(t.Track) + ": " + CtdbVerdictText(t.Ctdb);
            if (!t.Ctdb.Times.empty()) log += " @" + t.Ctdb.Times;
            log += "\n";
        }
    return log;
}

} // namespace bw
