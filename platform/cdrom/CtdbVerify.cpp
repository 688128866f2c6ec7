#include "CtdbVerify.h"

#include "CtdbColumnDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <zlib.h>

namespace bw {

namespace {

// How far a single track is searched when the whole disc does not match.
constexpr int TrackSearchOffset = 2939;

std::vector<std::int64_t> CrcBoundaries(const TCtdbLayout& layout) {
    auto [begin, end] = layout.DiscRange();
    std::vector<std::int64_t> b{begin, end};
    for (std::size_t i = 1; i < layout.TrackStarts.size(); ++i)
        b.push_back(layout.TrackStarts[i]);
    return b;
}

// Offsets nearest 0 first, so that a disc of silence matches where it was read.
std::vector<int> SearchOrder(int limit) {
    std::vector<int> order{0};
    for (int o = 1; o <= limit; ++o) {
        order.push_back(o);
        order.push_back(-o);
    }
    return order;
}

} // namespace

TCtdbDiscSums::TCtdbDiscSums(const TCtdbToc& toc, int npar, int columnStep, int offset)
    : FLayout(toc), FCrc(CrcBoundaries(FLayout), CtdbMaxOffset),
      FSyndromes(FLayout, npar, columnStep, offset) {}

void TCtdbDiscSums::Add(std::int64_t at, const std::uint8_t* bytes, std::size_t size) {
    FCrc.Add(at, bytes, size);
    FSyndromes.Add(at, bytes, size);
}

std::optional<std::uint32_t> TCtdbDiscSums::DiscCrc(int offset) const {
    auto [begin, end] = FLayout.DiscRange();
    return FCrc.RangeCrc(begin + offset, end + offset);
}

std::optional<std::uint32_t> TCtdbDiscSums::TrackCrc(std::size_t index, int offset) const {
    if (index >= FLayout.TrackStarts.size()) return std::nullopt;
    auto [begin, end] = FLayout.TrackRange(index);
    return FCrc.RangeCrc(begin + offset, end + offset);
}

bool CtdbEntryFits(const TCtdbEntry& entry, const TCtdbLayout& layout) {
    if (entry.Stride != 0 && entry.Stride != CtdbStrideSamples) return false;
    if (entry.Toc.empty()) return true;
    TCtdbToc toc;
    std::size_t pos = 0;
    std::vector<std::pair<int, bool>> values;
    while (pos <= entry.Toc.size() && values.size() <= 100) {
        auto next = entry.Toc.find(':', pos);
        if (next == std::string::npos) next = entry.Toc.size();
        std::string item = entry.Toc.substr(pos, next - pos);
        bool data = !item.empty() && item[0] == '-';
        if (data) item.erase(0, 1);
        if (item.empty() || item.size() > 7 ||
            item.find_first_not_of("0123456789") != std::string::npos)
            return false;
        values.push_back({std::atoi(item.c_str()), data});
        pos = next + 1;
    }
    if (values.size() < 2 || values.size() > 100) return false;
    toc.LeadOut = values.back().first;
    values.pop_back();
    for (auto [start, data] : values) {
        toc.Starts.push_back(start);
        toc.IsAudio.push_back(!data);
    }
    try {
        return TCtdbLayout(toc).Samples() == layout.Samples();
    } catch (const std::exception&) {
        return false;
    }
}

TCtdbMatch FindCtdbOffset(const TCtdbDiscSums& sums, const TCtdbEntry& entry) {
    TCtdbMatch match;
    const TCtdbSyndromes& syndromes = sums.Syndromes();
    const std::size_t n =
        std::min<std::size_t>(std::size_t(syndromes.Npar()), entry.Syndrome.size());
    if (n == 0 || !sums.Complete()) {
        // Nothing to search with: the disc CRC where it was read.
        match.Found = sums.DiscCrc() == entry.Crc32;
        return match;
    }
    const std::vector<std::uint16_t> want(entry.Syndrome.begin(), entry.Syndrome.begin() + long(n));
    const std::vector<int> order = SearchOrder(CtdbMaxOffset);
    for (int o : order) {
        auto s = syndromes.ShiftedColumn0(o);
        s.resize(n);
        if (s == want) {
            match.Found = true;
            match.Offset = o;
            break;
        }
    }
    if (!match.Found) {
        // Column 0 may itself be damaged: the offset whose decode finds the fewest errors.
        const int maxErrors = static_cast<int>((n - 1) / 2);
        int best = maxErrors + 1;
        for (int o : order) {
            auto s = syndromes.ShiftedColumn0(o);
            s.resize(n);
            for (std::size_t k = 0; k < n; ++k)
                s[k] ^= want[k];
            auto errors = DecodeCtdbColumn(s, syndromes.Rows(), maxErrors);
            if (errors && static_cast<int>(errors->size()) < best) {
                best = static_cast<int>(errors->size());
                match.Found = true;
                match.Offset = o;
            }
        }
    }
    if (match.Found) match.HasErrors = sums.DiscCrc(-match.Offset) != entry.Crc32;
    return match;
}

TCtdbRepairPlan PlanCtdbRepair(const TCtdbSyndromes& rip, const std::string& parityFile, int npar,
                               const TCtdbEntry& entry, const TCtdbLayout& layout, int offset,
                               std::uint32_t ripCrcAtMinusOffset) {
    TCtdbRepairPlan plan;
    plan.Npar = npar;
    auto fail = [&plan](std::string why) {
        plan.Ok = false;
        plan.Why = std::move(why);
        plan.Fixes.clear();
        return plan;
    };
    if (npar < 1 || npar > rip.Npar() ||
        parityFile.size() != std::size_t(npar) * CtdbStrideWords * 2)
        return fail("the recovery data has the wrong size");
    auto word = [&parityFile](int k, int column) {
        std::size_t at = (std::size_t(k) * CtdbStrideWords + std::size_t(column)) * 2;
        return static_cast<std::uint16_t>(static_cast<unsigned char>(parityFile[at]) |
                                          static_cast<unsigned char>(parityFile[at + 1]) << 8);
    };
    for (int k = 0; k < npar && std::size_t(k) < entry.Syndrome.size(); ++k)
        if (word(k, 0) != entry.Syndrome[std::size_t(k)])
            return fail("the recovery data does not belong to the entry");
    // The pressing's row 0 begins where the rip holds its sample Start - offset.
    const std::int64_t origin = 2 * (layout.Start - offset);
    std::vector<std::uint16_t> difference(std::size_t(npar), 0);
    for (int column = 0; column < CtdbStrideWords; ++column) {
        for (int k = 0; k < npar; ++k)
            difference[std::size_t(k)] = rip.Syndrome(k, column) ^ word(k, column);
        auto errors = DecodeCtdbColumn(difference, rip.Rows(), npar / 2);
        if (!errors) return fail("too much damage for the recovery data");
        for (const auto& e : *errors)
            plan.Fixes.push_back({origin + std::int64_t(e.Row) * CtdbStrideWords + column, e.Xor});
    }
    std::sort(plan.Fixes.begin(), plan.Fixes.end(),
              [](const TCtdbFix& a, const TCtdbFix& b) { return a.Word < b.Word; });
    // The CRC is affine: the mended CRC is the rip's XOR the CRC of the fixes alone (each a
    // two-byte pattern shifted by the bytes after it), without the CRC's constant.
    auto [begin, end] = layout.DiscRange();
    const std::int64_t endByte = (end - offset) * 4;
    const std::uint8_t zero[2] = {0, 0};
    const auto zeroCrc = crc32_z(0, zero, 2);
    std::uint32_t crc = ripCrcAtMinusOffset;
    for (const auto& fix : plan.Fixes) {
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(fix.Xor),
                                       static_cast<std::uint8_t>(fix.Xor >> 8)};
        const uLong pattern = crc32_z(0, bytes, 2) ^ zeroCrc;
        crc ^= static_cast<std::uint32_t>(
            crc32_combine(pattern, 0, static_cast<z_off_t>(endByte - fix.Word * 2 - 2)));
    }
    (void)begin;
    plan.PredictedCrc = crc;
    if (crc != entry.Crc32) return fail("the mended audio would not match the database's CRC");
    plan.Ok = true;
    return plan;
}

std::string CtdbFixTimes(const std::vector<TCtdbFix>& fixes, std::int64_t firstSector) {
    // Errors less than five sectors apart make one stretch, as CUETools' logs show them.
    constexpr std::int64_t Join = 5 * 2 * CtdbSectorSamples;
    constexpr std::int64_t SectorWords = 2 * CtdbSectorSamples;
    std::string out;
    for (std::size_t i = 0; i < fixes.size();) {
        std::size_t j = i + 1;
        while (j < fixes.size() && fixes[j].Word - fixes[j - 1].Word <= Join)
            ++j;
        const std::int64_t first = fixes[i].Word / SectorWords - firstSector;
        const std::int64_t last = fixes[j - 1].Word / SectorWords - firstSector;
        if (!out.empty()) out += ',';
        out += CtdbSectorTime(first);
        if (last != first) out += "-" + CtdbSectorTime(last);
        i = j;
    }
    return out;
}

std::string CtdbVerdictText(const TCtdbVerdict& v) {
    std::string text;
    switch (v.Status) {
    case TCtdbStatus::Accurate:
        text = "accurately ripped (confidence " + std::to_string(v.Confidence) + " of " +
               std::to_string(v.Total) + ")";
        break;
    case TCtdbStatus::Differs:
        text = v.DifferingWords > 0 ? "differs in " + std::to_string(v.DifferingWords) + " samples"
                                    : "differs";
        break;
    case TCtdbStatus::NoMatch:
        return "no match";
    case TCtdbStatus::NotInDatabase:
        return "disc not present in database";
    case TCtdbStatus::Unreachable:
        return "not checked: the database could not be reached";
    case TCtdbStatus::NotChecked:
        return v.Reason.empty() ? "not checked" : "not checked: " + v.Reason;
    }
    if (v.Offset != 0)
        text += std::string(" (found at offset ") + (v.Offset > 0 ? "+" : "") +
                std::to_string(v.Offset) + ")";
    return text;
}

namespace {

TCtdbVerdict Make(TCtdbStatus status, int confidence, int total, int offset = 0) {
    TCtdbVerdict v;
    v.Status = status;
    v.Confidence = confidence;
    v.Total = total;
    v.Offset = offset;
    return v;
}

// A track judged by its CRC alone: at the offset given, else anywhere near.
TCtdbVerdict JudgeTrack(const TCtdbDiscSums& sums, std::size_t index,
                        const std::vector<TCtdbEntry>& entries, int total, int offset,
                        bool search) {
    if (!sums.TrackCrc(index, offset)) {
        TCtdbVerdict v = Make(TCtdbStatus::NotChecked, 0, total);
        v.Reason = "the track was not read";
        return v;
    }
    auto confidenceAt = [&](int o) {
        auto crc = sums.TrackCrc(index, o);
        int confidence = 0;
        for (const auto& e : entries)
            if (crc && index < e.TrackCrcs.size() && e.TrackCrcs[index] == *crc)
                confidence += e.Confidence;
        return confidence;
    };
    if (int c = confidenceAt(offset); c > 0) return Make(TCtdbStatus::Accurate, c, total, -offset);
    if (search)
        for (int o : SearchOrder(TrackSearchOffset))
            if (int c = confidenceAt(o); c > 0) return Make(TCtdbStatus::Accurate, c, total, -o);
    return Make(TCtdbStatus::NoMatch, 0, total);
}

} // namespace

TCtdbDiscResult JudgeCtdb(const TCtdbToc& toc, const TCtdbDiscSums& sums,
                          const std::vector<TCtdbEntry>& entries) {
    TCtdbDiscResult result;
    result.TocId = CtdbTocId(toc);
    const std::size_t tracks = sums.Layout().TrackStarts.size();
    int total = 0;
    for (const auto& e : entries)
        total += e.Confidence;
    result.Found = !entries.empty();
    if (entries.empty()) {
        result.Disc = Make(TCtdbStatus::NotInDatabase, 0, 0);
        result.Tracks.assign(tracks, result.Disc);
        return result;
    }
    std::vector<TCtdbEntry> fitting;
    for (const auto& e : entries)
        if (CtdbEntryFits(e, sums.Layout())) fitting.push_back(e);
    // The best entry: matched without errors, else with errors; the most confident first.
    std::optional<std::pair<TCtdbEntry, TCtdbMatch>> best;
    if (sums.Complete())
        for (const auto& e : fitting) {
            TCtdbMatch m = FindCtdbOffset(sums, e);
            if (!m.Found) continue;
            auto rank = [](const TCtdbMatch& x, const TCtdbEntry& y) {
                return std::pair(x.HasErrors ? 0 : 1, y.Confidence);
            };
            if (!best || rank(m, e) > rank(best->second, best->first)) best = {{e, m}};
        }
    if (!best) {
        result.Disc =
            Make(sums.Complete() ? TCtdbStatus::NoMatch : TCtdbStatus::NotChecked, 0, total);
        if (!sums.Complete()) result.Disc.Reason = "the disc was not read whole";
        for (std::size_t i = 0; i < tracks; ++i)
            result.Tracks.push_back(JudgeTrack(sums, i, fitting, total, 0, true));
        return result;
    }
    auto& [entry, match] = *best;
    result.Entry = entry;
    result.Match = match;
    if (!match.HasErrors) {
        result.Disc = Make(TCtdbStatus::Accurate, entry.Confidence, total, match.Offset);
        result.Tracks.assign(tracks, result.Disc);
        return result;
    }
    // Until a repair says how much differs, the disc has no match; tracks by their CRCs at
    // the disc's offset, or near it.
    result.Disc = Make(TCtdbStatus::NoMatch, 0, total);
    for (std::size_t i = 0; i < tracks; ++i)
        result.Tracks.push_back(JudgeTrack(sums, i, fitting, total, -match.Offset, true));
    return result;
}

TCtdbDiscResult CtdbUnreachable(const TCtdbToc& toc, std::size_t tracks, const std::string& why) {
    TCtdbDiscResult result;
    result.TocId = CtdbTocId(toc);
    result.Disc = Make(TCtdbStatus::Unreachable, 0, 0);
    result.Disc.Reason = why;
    result.Tracks.assign(tracks, result.Disc);
    return result;
}

void ApplyCtdbRepairToVerdicts(TCtdbDiscResult& result, const TCtdbLayout& layout,
                               const TCtdbRepairPlan& plan) {
    if (!plan.Ok || !result.Entry) return;
    result.Disc = Make(TCtdbStatus::Differs, result.Entry->Confidence, result.Disc.Total,
                       result.Match.Offset);
    result.Disc.DifferingWords = std::int64_t(plan.Fixes.size());
    result.Disc.Times = CtdbFixTimes(plan.Fixes);
    std::vector<std::vector<TCtdbFix>> perTrack(result.Tracks.size());
    for (const auto& fix : plan.Fixes) {
        std::size_t t = layout.TrackOf(fix.Word / 2);
        if (t < perTrack.size()) perTrack[t].push_back(fix);
    }
    for (std::size_t t = 0; t < perTrack.size(); ++t) {
        if (perTrack[t].empty()) continue;
        TCtdbVerdict& v = result.Tracks[t];
        v = Make(TCtdbStatus::Differs, result.Entry->Confidence, result.Disc.Total,
                 result.Match.Offset);
        v.DifferingWords = std::int64_t(perTrack[t].size());
        v.Times = CtdbFixTimes(perTrack[t], layout.TrackStarts[t] / CtdbSectorSamples);
    }
}

} // namespace bw
