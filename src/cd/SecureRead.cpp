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

std::string ReadVerdict(const TTrackReadStats& stats) {
    if (stats.Suspicious.empty()) return "Copy OK";
    std::size_t n = stats.Suspicious.size();
    return std::to_string(n) + (n == 1 ? " suspicious position: " : " suspicious positions: ") +
           SuspiciousText(stats.Suspicious);
}

int PeakOf(const std::uint8_t* audio, std::size_t bytes) {
    int peak = 0;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        int sample = static_cast<std::int16_t>(audio[i] | (audio[i + 1] << 8));
        peak = std::max(peak, sample < 0 ? -sample : sample);
    }
    return peak;
}

TSecureTrackReader::TSecureTrackReader(TSecureReadSettings settings, TRead read)
    : FSettings(settings), FRead(std::move(read)) {}

bool TSecureTrackReader::ReadWithRetries(std::uint8_t* audio, int first, int count) {
    for (int attempt = 0; attempt <= std::max(0, FSettings.MaxRetries); ++attempt) {
        FSectorsRead += count;
        if (FRead(audio, first, count)) return true;
    }
    return false;
}

bool TSecureTrackReader::Pass(int start, int total, std::vector<std::uint32_t>& sectorCrcs,
                              std::vector<bool>& unreadable, std::uint32_t& crc,
                              const TAppend* append, const TProgress& progress, int progressBase,
                              const std::atomic<bool>& stop) {
    const int block = std::max(1, FSettings.BlockSectors);
    std::vector<std::uint8_t> audio(std::size_t(block) * SectorBytes);
    sectorCrcs.assign(std::size_t(total), 0);
    unreadable.assign(std::size_t(total), false);
    crc = Crc(0, nullptr, 0);
    for (int done = 0; done < total;) {
        if (stop) return false;
        const int n = std::min(block, total - done);
        if (!ReadWithRetries(audio.data(), start + done, n)) {
            // A block that keeps failing is read sector by sector: only the sectors that
            // never read are lost, and they stay silent until the re-reads.
            for (int i = 0; i < n; ++i) {
                std::uint8_t* sector = audio.data() + std::size_t(i) * SectorBytes;
                if (!ReadWithRetries(sector, start + done + i, 1)) {
                    std::fill(sector, sector + SectorBytes, std::uint8_t{0});
                    unreadable[std::size_t(done + i)] = true;
                }
            }
        }
        // The pass's CRC follows from the sectors' without reading the audio again.
        static const uLong sectorOp = crc32_combine_gen(SectorBytes);
        for (int i = 0; i < n; ++i) {
            std::uint32_t sectorCrc =
                Crc(0, audio.data() + std::size_t(i) * SectorBytes, SectorBytes);
            sectorCrcs[std::size_t(done + i)] = sectorCrc;
            crc = static_cast<std::uint32_t>(crc32_combine_op(crc, sectorCrc, sectorOp));
        }
        if (append && !(*append)(audio.data(), std::size_t(n) * SectorBytes)) return false;
        done += n;
        if (progress) progress(progressBase + done * 50 / total);
    }
    return true;
}

bool TSecureTrackReader::ReadTrack(int start, int total, const TAppend& append, const TPatch& patch,
                                   const TProgress& progress, const std::atomic<bool>& stop,
                                   TTrackReadStats& stats) {
    const auto began = std::chrono::steady_clock::now();
    stats = TTrackReadStats();
    stats.Secure = true;
    FSectorsRead = 0;
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
    if (!Pass(start, total, testCrcs, testBad, stats.TestCrc, nullptr, progress, 0, stop))
        return false;
    stats.HasTestCrc = true;
    if (!Pass(start, total, copyCrcs, copyBad, stats.CopyCrc, &keep, progress, 50, stop))
        return false;

    std::vector<int> suspicious;
    std::vector<std::uint8_t> audio(SectorBytes);
    for (int s = 0; s < total; ++s) {
        const auto at = std::size_t(s);
        if (testCrcs[at] == copyCrcs[at] && !testBad[at] && !copyBad[at]) continue;
        if (stop) return false;
        ++stats.RereadPieces;
        // Every value read so far, by its CRC: how many reads gave it, and its audio when
        // a read that we kept gave it (the test pass keeps only CRCs).
        struct TCandidate {
            int Reads = 0;
            std::vector<std::uint8_t> Audio;
        };
        std::map<std::uint32_t, TCandidate> seen;
        if (!testBad[at]) seen[testCrcs[at]].Reads = 1;
        // The copy's audio is in the output already: it needs no patch when it wins.
        const std::uint32_t copyKey = copyCrcs[at];
        if (!copyBad[at]) ++seen[copyKey].Reads;
        std::uint32_t agreed = 0;
        bool agree = false;
        for (int r = 0; r < FSettings.MaxRereads && !agree; ++r) {
            if (stop) return false;
            if (!ReadWithRetries(audio.data(), start + s, 1)) continue;
            TCandidate& candidate = seen[Crc(0, audio.data(), SectorBytes)];
            if (candidate.Audio.empty()) candidate.Audio = audio;
            if (++candidate.Reads >= 2) {
                agree = true;
                agreed = Crc(0, audio.data(), SectorBytes);
            }
        }
        if (!agree) {
            suspicious.push_back(s);
            // Keep what most reads gave; among equals the copy's.
            int most = copyBad[at] ? 0 : seen[copyKey].Reads;
            agreed = copyKey;
            for (const auto& [key, candidate] : seen)
                if (!candidate.Audio.empty() && candidate.Reads > most) {
                    most = candidate.Reads;
                    agreed = key;
                }
            if (most == 0) continue; // never read at all: the silence stays
        }
        if (agreed == copyKey && !copyBad[at]) continue;
        const std::vector<std::uint8_t>& best = seen[agreed].Audio;
        if (!patch(s, best.data())) return false;
        peaks[at] = PeakOf(best.data(), SectorBytes);
    }
    stats.Suspicious = Runs(suspicious);
    stats.PeakPercent = total ? *std::max_element(peaks.begin(), peaks.end()) * 100.0 / 32768 : 0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    stats.ReadSpeed = seconds > 0 ? FSectorsRead / 75.0 / seconds : 0;
    return true;
}

} // namespace bw
