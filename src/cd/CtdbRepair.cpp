#include "CtdbRepair.h"

#include "CtdbLookup.h"
#include "FlacMend.h"
#include "TrackChecksums.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace bw {

namespace {

constexpr std::int64_t SectorBytes = 2352;

// One file of the rip and the stretches of the disc it holds.
struct TRipFile {
    fs::path Path;
    std::uint64_t Base = 0; // where its decoded bytes begin among the file's bytes (WAV header)
    struct TPiece {
        std::uint64_t DataByte = 0; // in the decoded audio
        std::int64_t Sector = 0;    // on the disc
        std::int64_t Sectors = 0;
    };
    std::vector<TPiece> Pieces;
    bool Flac = false;
};

std::vector<TRipFile> FilesOf(const TImageLayout& layout) {
    std::vector<TRipFile> files;
    for (const auto& e : layout.Extents) {
        if (e.Silence) continue;
        auto it = std::find_if(files.begin(), files.end(),
                               [&e](const TRipFile& f) { return f.Path == e.File; });
        if (it == files.end()) {
            TRipFile f;
            f.Path = e.File;
            const TImageFileInfo info = ProbeImageFile(e.File, true);
            f.Flac = info.Decoded;
            f.Base = info.Decoded ? 0 : info.DataOffset;
            files.push_back(f);
            it = files.end() - 1;
        }
        it->Pieces.push_back({e.Offset - it->Base, e.Start, e.Sectors});
    }
    return files;
}

TCtdbToc TocOf(const TImageLayout& layout) {
    TCtdbToc toc;
    for (const auto& t : layout.Tracks) {
        toc.Starts.push_back(int(t.Index01));
        toc.IsAudio.push_back(t.Audio);
    }
    toc.LeadOut = int(layout.LeadOut);
    return toc;
}

// Decodes every file once, giving each stretch of audio to add() at its disc position.
std::string
ReadFiles(const std::vector<TRipFile>& files,
          const std::function<void(std::int64_t, const std::uint8_t*, std::size_t)>& add,
          const TCtdbRepairOptions& options, double from, double to, const std::string& what) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (options.Cancel && options.Cancel->load()) return "stopped";
        if (options.Progress)
            options.Progress(from + (to - from) * double(i) / double(files.size()),
                             what + " " + files[i].Path.filename().string());
        const TRipFile& f = files[i];
        std::uint64_t at = 0;
        TSampleSink sink = [&](const std::uint8_t* bytes, std::size_t size) {
            for (const auto& p : f.Pieces) {
                const std::uint64_t end = p.DataByte + std::uint64_t(p.Sectors * SectorBytes);
                const std::uint64_t a = std::max(at, p.DataByte), b = std::min(at + size, end);
                if (a >= b) continue;
                add(p.Sector * CtdbSectorSamples + std::int64_t((a - p.DataByte) / 4),
                    bytes + (a - at), std::size_t(b - a));
            }
            at += size;
        };
        TTrackChecksums sums = ChecksumAudioFile(f.Path, false, false, false, sink);
        if (!sums.Ok) return sums.Error;
    }
    return {};
}

std::string Hex8(std::uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

} // namespace

TCtdbRepairInput CtdbRepairInputFromCue(const fs::path& cue) {
    TCtdbRepairInput input;
    input.Layout = LoadImageLayout(cue);
    input.CueSheet = cue;
    return input;
}

TCtdbRepairInput CtdbRepairInputFromFiles(const std::vector<fs::path>& files) {
    TCtdbRepairInput input;
    std::int64_t sector = 0;
    int number = 1;
    for (const auto& path : files) {
        const TImageFileInfo info = ProbeImageFile(path, true);
        if (info.DataBytes % SectorBytes != 0 && &path != &files.back())
            throw EDiscImage(path.string() + " is not a whole number of sectors (a track's file)");
        const std::int64_t sectors = std::int64_t(info.DataBytes / SectorBytes);
        TImageTrack track;
        track.Number = number++;
        track.Start = track.Index01 = sector;
        input.Layout.Tracks.push_back(track);
        TImageExtent extent;
        extent.Start = sector;
        extent.Sectors = sectors;
        extent.Silence = false;
        extent.File = path;
        extent.Offset = info.Decoded ? 0 : info.DataOffset;
        extent.Decoded = info.Decoded;
        input.Layout.Extents.push_back(extent);
        sector += sectors;
    }
    input.Layout.LeadOut = sector;
    return input;
}

TCtdbRepairResult RepairWithCtdb(const TCtdbRepairInput& input, const TCtdbRepairOptions& options) {
    TCtdbRepairResult result;
    auto fail = [&result](std::string why) {
        result.Ok = false;
        result.Why = std::move(why);
        return result;
    };
    std::vector<TRipFile> files;
    try {
        files = FilesOf(input.Layout);
    } catch (const EDiscImage& e) {
        return fail(e.what());
    }
    for (const auto& f : files) {
        std::error_code ec;
        if (fs::equivalent(f.Path.parent_path(), options.Output, ec))
            return fail("the output folder is the files' own: the originals are never replaced");
        const std::string ext = f.Path.extension().string();
        if (!f.Flac && ext != ".wav" && ext != ".WAV")
            return fail("only WAV and FLAC files can be mended: " + f.Path.string());
    }
    const TCtdbToc toc = TocOf(input.Layout);
    std::string& log = result.Log;
    log = "Repair with the CUETools database\n\nTOC: " + CtdbTocString(toc) +
          "\nCTDB TOCID: " + CtdbTocId(toc) + "\n";
    if (options.Progress) options.Progress(0, "Looking the disc up");
    TCtdbLookup lookup = LookUpCtdb(options.Server, toc, options.Http, options.Cancel);
    if (lookup.Kind == TCtdbLookup::TKind::Failed) return fail(lookup.Error);
    if (lookup.Kind == TCtdbLookup::TKind::NotInDatabase)
        return fail("the disc is not in the CUETools database");
    int npar = 1;
    for (const auto& e : lookup.Entries)
        if (!e.ParityUrl.empty()) npar = std::max(npar, std::min(e.Npar, CtdbMaxNpar));

    // Every column's syndromes where the rip was read; a rip found elsewhere is read again.
    std::optional<TCtdbDiscSums> sums;
    try {
        sums.emplace(toc, npar, 1, 0);
    } catch (const std::invalid_argument& e) {
        return fail(e.what());
    }
    auto add = [&sums](std::int64_t at, const std::uint8_t* b, std::size_t n) {
        sums->Add(at, b, n);
    };
    if (auto why = ReadFiles(files, add, options, 0.05, 0.5, "Reading"); !why.empty())
        return fail(why);
    if (!sums->Complete()) return fail("the files do not hold the whole disc");
    result.Verdicts = JudgeCtdb(toc, *sums, lookup.Entries);
    const auto& v = result.Verdicts;
    if (!v.Entry) return fail("too much damage: no entry of the database matches the rip");
    const TCtdbEntry& entry = *v.Entry;
    const int offset = v.Match.Offset;
    log += "Entry: " + Hex8(entry.Crc32) + " (id " + std::to_string(entry.Id) + "), confidence " +
           std::to_string(entry.Confidence) + " of " + std::to_string(v.Disc.Total) + "\n";
    if (!v.Match.HasErrors) {
        result.NothingToRepair = true;
        log += "The rip matches the database: nothing to repair.\n";
        return result;
    }
    if (offset != 0) {
        log += "The rip was found at offset " + std::to_string(offset) +
               " samples: it is repaired into the audio of its own offset.\n";
        sums.emplace(toc, npar, 1, offset);
        if (auto why = ReadFiles(files, add, options, 0.5, 0.6, "Reading"); !why.empty())
            return fail(why);
    }
    if (options.Progress) options.Progress(0.6, "Fetching the recovery data");
    const TCtdbLayout layout = sums->Layout();
    TCtdbRepairPlan plan = RepairFromCtdb(options.Server, entry, sums->Syndromes(), layout, offset,
                                          *sums->DiscCrc(-offset), options.Http, options.Cancel,
                                          [&log](const std::string& s) { log += "  " + s + "\n"; });
    if (!plan.Ok) return fail(plan.Why);
    result.Corrected = std::int64_t(plan.Fixes.size());
    ApplyCtdbRepairToVerdicts(result.Verdicts, layout, plan);
    log += "Corrected: " + std::to_string(plan.Fixes.size()) + " samples @" +
           CtdbFixTimes(plan.Fixes) + "\n";
    for (std::size_t t = 0; t < result.Verdicts.Tracks.size(); ++t)
        if (result.Verdicts.Tracks[t].DifferingWords > 0)
            log += "Track " + std::to_string(t + 1) + ": " +
                   std::to_string(result.Verdicts.Tracks[t].DifferingWords) +
                   " samples corrected @" + result.Verdicts.Tracks[t].Times + "\n";

    // The fixes of each file, by byte of its decoded audio.
    std::error_code ec;
    fs::create_directories(options.Output, ec);
    auto removeWritten = [&result] {
        std::error_code e;
        for (const auto& p : result.Written)
            fs::remove(p, e);
        result.Written.clear();
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TRipFile& f = files[i];
        if (options.Progress)
            options.Progress(0.65 + 0.15 * double(i) / double(files.size()),
                             "Writing " + f.Path.filename().string());
        std::map<std::uint64_t, std::uint16_t> fixes;
        for (const auto& fix : plan.Fixes) {
            const std::int64_t sample = fix.Word / 2;
            for (const auto& p : f.Pieces)
                if (sample >= p.Sector * CtdbSectorSamples &&
                    sample < (p.Sector + p.Sectors) * CtdbSectorSamples)
                    fixes[p.DataByte + std::uint64_t(sample - p.Sector * CtdbSectorSamples) * 4 +
                          std::uint64_t(fix.Word % 2) * 2] = fix.Xor;
        }
        const fs::path out = options.Output / f.Path.filename();
        if (fs::exists(out, ec)) {
            removeWritten();
            return fail(out.string() + " exists already");
        }
        std::string why;
        if (fixes.empty() || !f.Flac) {
            // Untouched files, and WAV files, are copied; a WAV file is then mended in place.
            if (!fs::copy_file(f.Path, out, ec)) why = "cannot write " + out.string();
            std::fstream file(out, std::ios::in | std::ios::out | std::ios::binary);
            for (const auto& [at, x] : fixes) {
                if (!why.empty()) break;
                char b[2];
                file.seekg(std::streamoff(f.Base + at));
                file.read(b, 2);
                b[0] = char(b[0] ^ char(x & 0xff));
                b[1] = char(b[1] ^ char(x >> 8));
                file.seekp(std::streamoff(f.Base + at));
                file.write(b, 2);
                if (!file) why = "cannot write " + out.string();
            }
        } else {
            why = WriteMendedFlac(f.Path, out, fixes, options.Cancel);
        }
        if (!why.empty() || fs::exists(out, ec)) result.Written.push_back(out);
        if (!why.empty()) {
            removeWritten();
            return fail(why);
        }
    }
    if (!input.CueSheet.empty()) {
        const fs::path cue = options.Output / input.CueSheet.filename();
        if (!fs::exists(cue, ec) && fs::copy_file(input.CueSheet, cue, ec))
            result.Written.push_back(cue);
    }

    // What was written must now match the database.
    std::vector<TRipFile> mended = files;
    for (auto& f : mended)
        f.Path = options.Output / f.Path.filename();
    TCtdbDiscSums check(toc, 1, 2, 0);
    auto addCheck = [&check](std::int64_t at, const std::uint8_t* b, std::size_t n) {
        check.Add(at, b, n);
    };
    std::string why = ReadFiles(mended, addCheck, options, 0.8, 1.0, "Verifying");
    bool verified = why.empty() && check.DiscCrc(-offset) == entry.Crc32;
    for (std::size_t t = 0; verified && t < entry.TrackCrcs.size(); ++t)
        verified = check.TrackCrc(t, -offset) == entry.TrackCrcs[t];
    if (!verified) {
        removeWritten();
        return fail(why.empty() ? "the mended files do not match the database" : why);
    }
    log += "Verified: the mended files match the database (CRC " + Hex8(entry.Crc32) + ").\n";
    result.LogFile = options.Output / "repair.log";
    std::ofstream out(result.LogFile, std::ios::binary | std::ios::trunc);
    out << log;
    out.close();
    if (!out) {
        removeWritten();
        return fail("cannot write " + result.LogFile.string());
    }
    result.Written.push_back(result.LogFile);
    result.Ok = true;
    if (options.Progress) options.Progress(1, "Repaired");
    return result;
}

TCtdbRepairResult RepairInPlaceWithCtdb(const TCtdbRepairInput& input, TCtdbRepairOptions options) {
    std::vector<TRipFile> files;
    try {
        files = FilesOf(input.Layout);
    } catch (const EDiscImage& e) {
        TCtdbRepairResult result;
        result.Why = e.what();
        return result;
    }
    if (files.empty()) return {};
    const fs::path folder = files.front().Path.parent_path();
    options.Output = folder / ".repair.part";
    std::error_code ec;
    fs::remove_all(options.Output, ec);
    TCtdbRepairResult result = RepairWithCtdb(input, options);
    auto cleanUp = [&options] {
        std::error_code e;
        fs::remove_all(options.Output, e);
    };
    if (!result.Ok) {
        cleanUp();
        return result;
    }
    // Only the files that changed move; each original waits as ".damaged" until all are in.
    std::vector<std::pair<fs::path, fs::path>> moved; // original, its ".damaged"
    auto undo = [&moved] {
        std::error_code e;
        for (auto it = moved.rbegin(); it != moved.rend(); ++it)
            fs::rename(it->second, it->first, e);
    };
    for (const auto& f : files) {
        const fs::path mended = options.Output / f.Path.filename();
        std::ifstream a(f.Path, std::ios::binary), b(mended, std::ios::binary);
        if (std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b),
                       {}))
            continue;
        const fs::path damaged = f.Path.string() + ".damaged";
        fs::rename(f.Path, damaged, ec);
        if (!ec) {
            moved.push_back({f.Path, damaged});
            fs::rename(mended, f.Path, ec);
        }
        if (ec) {
            undo();
            cleanUp();
            result.Ok = false;
            result.Why = "cannot replace " + f.Path.string() + " (" + ec.message() + ")";
            return result;
        }
    }
    for (const auto& [original, damaged] : moved)
        fs::remove(damaged, ec);
    const fs::path log = folder / "repair.log";
    fs::rename(result.LogFile, log, ec);
    result.LogFile = ec ? fs::path() : log;
    result.Written.clear();
    for (const auto& [original, damaged] : moved)
        result.Written.push_back(original);
    cleanUp();
    return result;
}

} // namespace bw
