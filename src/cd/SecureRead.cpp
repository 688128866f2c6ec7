#include "SecureRead.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <zlib.h>

namespace bw {

namespace {

constexpr int SectorBytes = 2352;

std::uint32_t Crc(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}

// Sectors numbered in order, gathered into [first, last] runs.
std::vector<std::pair<int, int>> Runs(const std::vector<int>& sectors) {
    std::vector<std::pair<int, int>> runs;
    for (int s : sectors) {
        if (!runs.empty() && runs.back().second + 1 == s)
            runs.back().second = s;
        else
            runs.emplace_back(s, s);
    }
    return runs;
}

} // namespace

std::string TrackTime(int sectors) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d.%02d", sectors / 75 / 60, sectors / 75 % 60,
                  sectors % 75);
    return text;
}

std::string SuspiciousText(const std::vector<std::pair<int, int>>& runs) {
    std::string text;
    for (const auto& [first, last] : runs) {
        if (!text.empty()) text += ", ";
        text += TrackTime(first) + "-" + TrackTime(last + 1);
    }
    return text;
}

bool ReadOk(const TTrackReadStats& stats) {
    return stats.Suspicious.empty() && (!stats.HasTestCrc || stats.TestCrc == stats.CopyCrc);
}

std::string ReadVerdict(const TTrackReadStats& stats) {
    if (!stats.Suspicious.empty()) {
        std::size_t n = stats.Suspicious.size();
        return std::to_string(n) + (n == 1 ? " suspicious position: " : " suspicious positions: ") +
               SuspiciousText(stats.Suspicious);
    }
    return ReadOk(stats) ? "Copy OK" : "Test and copy CRCs differ";
}

int PeakOf(const std::uint8_t* audio, std::size_t bytes) {
    int peak = 0;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        int sample = static_cast<std::int16_t>(audio[i] | (audio[i + 1] << 8));
        peak = std::max(peak, sample < 0 ? -sample : sample);
    }
    return peak;
}

TSecureTrackReader::TSecureTrackReader(TSecureReadSettings settings, TRead read, TRead reread)
    : FSettings(settings), FRead(std::move(read)), FReread(reread ? std::move(reread) : FRead) {}

TDriveRead TSecureTrackReader::ReadWithRetries(std::uint8_t* audio, int first, int count) {
    TDriveRead result = TDriveRead::Failed;
    for (int attempt = 0; attempt <= std::max(0, FSettings.MaxRetries); ++attempt) {
        result = FRead(audio, first, count);
        if (result != TDriveRead::Failed) break;
    }
    if (result == TDriveRead::Gone) FGone = true;
    return result;
}

bool TSecureTrackReader::Pass(int start, int total, std::vector<std::uint32_t>& sectorCrcs,
                              std::vector<bool>& unreadable, const TAppend* append,
                              const TProgress& progress, int progressBase,
                              const std::atomic<bool>& stop) {
    const int block = std::max(1, FSettings.BlockSectors);
    std::vector<std::uint8_t> audio(std::size_t(block) * SectorBytes);
    sectorCrcs.assign(std::size_t(total), 0);
    unreadable.assign(std::size_t(total), false);
    for (int done = 0; done < total;) {
        if (stop) return false;
        const int n = std::min(block, total - done);
        TDriveRead read = ReadWithRetries(audio.data(), start + done, n);
        if (read == TDriveRead::Gone) return false;
        if (read == TDriveRead::Failed) {
            // A block that keeps failing is read sector by sector: only the sectors that
            // never read are lost, and they stay silent until the re-reads.
            for (int i = 0; i < n; ++i) {
                if (stop) return false;
                std::uint8_t* sector = audio.data() + std::size_t(i) * SectorBytes;
                read = ReadWithRetries(sector, start + done + i, 1);
                if (read == TDriveRead::Gone) return false;
                if (read == TDriveRead::Failed) {
                    std::fill(sector, sector + SectorBytes, std::uint8_t{0});
                    unreadable[std::size_t(done + i)] = true;
                }
            }
        }
        for (int i = 0; i < n; ++i)
            sectorCrcs[std::size_t(done + i)] =
                Crc(0, audio.data() + std::size_t(i) * SectorBytes, SectorBytes);
        if (append && !(*append)(audio.data(), std::size_t(n) * SectorBytes)) return false;
        done += n;
        if (progress) progress(progressBase + done * 50 / total);
    }
    return true;
}

bool TSecureTrackReader::ReadCacheAway(const std::vector<int>& avoid,
                                       const std::atomic<bool>& stop) {
    const int want = FSettings.CacheSectors;
    if (want <= 0 || avoid.empty()) return true;
    // Right after the sectors, else right before them, else whatever the disc has besides.
    int from = avoid.back() + 1;
    if (from + want > FSettings.DiscEnd) from = avoid.front() - want;
    std::vector<int> sectors;
    if (from >= FSettings.DiscFirst) {
        for (int s = from; s < from + want; ++s)
            sectors.push_back(s);
    } else {
        for (int s = FSettings.DiscFirst; s < FSettings.DiscEnd && int(sectors.size()) < want; ++s)
            if (!std::binary_search(avoid.begin(), avoid.end(), s)) sectors.push_back(s);
        FCacheDefeated = FCacheDefeated && int(sectors.size()) >= want;
    }
    const int block = std::max(1, FSettings.BlockSectors);
    std::vector<std::uint8_t> audio(std::size_t(block) * SectorBytes);
    for (std::size_t at = 0; at < sectors.size();) {
        if (stop) return false;
        // Runs of consecutive sectors, a block at a time.
        std::size_t n = 1;
        while (at + n < sectors.size() && int(n) < block && sectors[at + n] == sectors[at] + int(n))
            ++n;
        // What it reads does not matter, only that the drive reads it.
        if (FRead(audio.data(), sectors[at], int(n)) == TDriveRead::Gone) {
            FGone = true;
            return false;
        }
        at += n;
    }
    return true;
}

bool TSecureTrackReader::ReadTrack(int start, int total, const TAppend& append, const TPatch& patch,
                                   const TProgress& progress, const std::atomic<bool>& stop,
                                   TTrackReadStats& stats) {
    const auto began = std::chrono::steady_clock::now();
    stats = TTrackReadStats();
    stats.Secure = true;
    stats.MaxRereads = FSettings.MaxRereads;
    stats.MaxRetries = FSettings.MaxRetries;
    stats.CacheSectors = FSettings.CacheSectors;
    FGone = false;
    FCacheDefeated = true;
    auto finish = [&](bool ok) {
        stats.DiscGone = FGone;
        stats.CacheDefeated = FSettings.CacheSectors > 0 && FCacheDefeated;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        stats.ReadSpeed = seconds > 0 ? total / 75.0 / seconds : 0;
        return ok && !FGone;
    };
    std::vector<std::uint32_t> testCrcs, copyCrcs;
    std::vector<bool> testBad, copyBad;
    std::vector<int> peaks(std::size_t(total), 0);
    // The copy pass's audio goes to the output as it comes, its peaks noted by sector.
    int appended = 0;
    TAppend keep = [&](const std::uint8_t* audio, std::size_t bytes) {
        for (std::size_t at = 0; at < bytes; at += SectorBytes)
            peaks[std::size_t(appended++)] = PeakOf(audio + at, SectorBytes);
        return append(audio, bytes);
    };
    std::vector<int> track;
    if (!Pass(start, total, testCrcs, testBad, nullptr, progress, 0, stop)) return finish(false);
    stats.HasTestCrc = true;
    // A track the drive's cache could hold whole would be copied from the cache.
    if (total <= FSettings.CacheSectors) {
        for (int s = 0; s < total; ++s)
            track.push_back(start + s);
        if (!ReadCacheAway(track, stop)) return finish(false);
    }
    if (!Pass(start, total, copyCrcs, copyBad, &keep, progress, 50, stop)) return finish(false);

    // Every value read of a sector to read again, by its CRC: how many reads gave it, and its
    // audio when a read that we kept gave it (the test pass keeps only CRCs).
    struct TCandidate {
        int Reads = 0;
        std::vector<std::uint8_t> Audio;
    };
    struct TPending {
        int Sector = 0;
        std::map<std::uint32_t, TCandidate> Seen;
        int Reads = 0;
    };
    std::vector<TPending> pending;
    for (int s = 0; s < total; ++s) {
        const auto at = std::size_t(s);
        if (testCrcs[at] == copyCrcs[at] && !testBad[at] && !copyBad[at]) continue;
        TPending p;
        p.Sector = s;
        if (!testBad[at]) ++p.Seen[testCrcs[at]].Reads;
        if (!copyBad[at]) ++p.Seen[copyCrcs[at]].Reads;
        p.Reads = 2;
        pending.push_back(std::move(p));
    }
    stats.RereadPieces = static_cast<int>(pending.size());
    std::vector<std::uint32_t> finalCrcs = copyCrcs, testFinal = testCrcs;
    std::vector<std::uint8_t> audio(SectorBytes);
    auto settle = [&](const TPending& p, std::uint32_t key) {
        const auto at = std::size_t(p.Sector);
        testFinal[at] = finalCrcs[at] = key;
        // The copy's audio is in the output already: it needs no patch when it wins.
        if (key == copyCrcs[at] && !copyBad[at]) return true;
        const std::vector<std::uint8_t>& best = p.Seen.at(key).Audio;
        peaks[at] = PeakOf(best.data(), SectorBytes);
        return patch(p.Sector, best.data());
    };
    // Rounds: each reads the cache away and then every sector still open once, so that no
    // two reads of a sector can come from the drive's cache, and a sector that never agrees
    // costs MaxRereads reads in all.
    for (int round = 0; round < FSettings.MaxRereads && !pending.empty(); ++round) {
        std::vector<int> open;
        for (const auto& p : pending)
            open.push_back(start + p.Sector);
        if (!ReadCacheAway(open, stop)) return finish(false);
        std::vector<TPending> still;
        for (auto& p : pending) {
            if (stop) return finish(false);
            ++stats.Rereads;
            ++p.Reads;
            const TDriveRead read = FReread(audio.data(), start + p.Sector, 1);
            if (read == TDriveRead::Gone) {
                FGone = true;
                return finish(false);
            }
            if (read == TDriveRead::Ok) {
                const std::uint32_t key = Crc(0, audio.data(), SectorBytes);
                TCandidate& candidate = p.Seen[key];
                if (candidate.Audio.empty()) candidate.Audio = audio;
                if (++candidate.Reads >= 2) {
                    stats.Confirmed.push_back({p.Sector, candidate.Reads, p.Reads});
                    if (!settle(p, key)) return finish(false);
                    continue;
                }
            }
            still.push_back(std::move(p));
        }
        pending = std::move(still);
    }
    std::vector<int> suspicious;
    for (auto& p : pending) {
        suspicious.push_back(p.Sector);
        // Keep what most reads gave; among equals the copy's.
        const auto at = std::size_t(p.Sector);
        int most = copyBad[at] ? 0 : p.Seen[copyCrcs[at]].Reads;
        std::uint32_t kept = copyCrcs[at];
        for (const auto& [key, candidate] : p.Seen)
            if (!candidate.Audio.empty() && candidate.Reads > most) {
                most = candidate.Reads;
                kept = key;
            }
        if (most == 0) continue; // never read at all: the silence stays
        finalCrcs[at] = kept;
        if (kept != copyCrcs[at] || copyBad[at]) {
            peaks[at] = PeakOf(p.Seen[kept].Audio.data(), SectorBytes);
            if (!patch(p.Sector, p.Seen[kept].Audio.data())) return finish(false);
        }
    }
    std::sort(stats.Confirmed.begin(), stats.Confirmed.end(),
              [](const auto& a, const auto& b) { return a.Sector < b.Sector; });
    // The CRCs are of the final data: the copy as written, and the test pass as its re-reads
    // settled it, so that a user can compare them with other rippers' logs.
    static const uLong sectorOp = crc32_combine_gen(SectorBytes);
    auto combined = [](const std::vector<std::uint32_t>& crcs) {
        std::uint32_t crc = Crc(0, nullptr, 0);
        for (std::uint32_t sector : crcs)
            crc = static_cast<std::uint32_t>(crc32_combine_op(crc, sector, sectorOp));
        return crc;
    };
    stats.TestCrc = combined(testFinal);
    stats.CopyCrc = combined(finalCrcs);
    stats.Suspicious = Runs(suspicious);
    stats.PeakPercent = total ? *std::max_element(peaks.begin(), peaks.end()) * 100.0 / 32768 : 0;
    return finish(true);
}

} // namespace bw
