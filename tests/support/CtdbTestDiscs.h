// The CUETools database's test vectors (vectors.json beside gen.py in the shared ctdb folder)
// and the audio of their discs, made here as gen.py makes it.
#pragma once

#include "CtdbToc.h"
#include "Sha1Base64.h"
#include "TestSupport.h"
#include "ToolOracles.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace bwtest {

inline std::filesystem::path CtdbVectorsFolder() {
    return BW_CTDB_VECTORS_DIR;
}

// Empty when the shared folder is not there (the tests then skip).
inline const nlohmann::json& CtdbVectors() {
    static const nlohmann::json vectors = [] {
        std::ifstream in(CtdbVectorsFolder() / "vectors.json");
        return in ? nlohmann::json::parse(in) : nlohmann::json();
    }();
    return vectors;
}

inline const nlohmann::json& CtdbDisc(const std::string& name) {
    for (const auto& d : CtdbVectors()["discs"])
        if (d["name"] == name) return d;
    throw std::runtime_error("no disc " + name);
}

// gen.py's counter-based hash.
inline std::uint32_t CtdbGenHash(std::uint32_t seed, std::uint64_t n) {
    std::uint32_t x = static_cast<std::uint32_t>(seed * 0x9E3779B9u + n);
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

inline bw::TCtdbToc CtdbTocOf(const nlohmann::json& disc) {
    std::vector<int> starts = disc["gen_params"]["track_starts_sectors"];
    starts.push_back(disc["gen_params"]["leadout_sectors"]);
    return bw::TCtdbToc::Audio(starts);
}

// The disc's raw audio (sector 0 to the lead-out), with a case's damage_ops applied.
inline std::vector<std::uint8_t>
CtdbDiscAudio(const nlohmann::json& disc, const nlohmann::json& ops = nlohmann::json::array()) {
    const std::uint32_t seed = disc["gen_params"]["seed"];
    const std::size_t words = std::size_t(disc["gen_params"]["leadout_sectors"].get<int>()) * 1176;
    std::vector<std::uint8_t> a(words * 2);
    for (std::size_t n = 0; n < words; ++n) {
        std::uint16_t w = static_cast<std::uint16_t>((CtdbGenHash(seed, n) >> 16) ^ 0x8000);
        a[2 * n] = static_cast<std::uint8_t>(w);
        a[2 * n + 1] = static_cast<std::uint8_t>(w >> 8);
    }
    auto garble = [&a](std::uint32_t dseed, std::size_t n) {
        std::uint16_t m = static_cast<std::uint16_t>((CtdbGenHash(dseed, n) >> 16) | 1);
        a[2 * n] ^= static_cast<std::uint8_t>(m);
        a[2 * n + 1] ^= static_cast<std::uint8_t>(m >> 8);
    };
    for (const auto& op : ops) {
        const std::string kind = op["op"];
        if (kind == "zero") {
            std::size_t start = op["start"], count = op["count"];
            std::fill(a.begin() + long(start * 4), a.begin() + long((start + count) * 4), 0);
        } else if (kind == "garble") {
            std::size_t start = op["start"], count = op["count"];
            for (std::size_t n = 2 * start; n < 2 * (start + count); ++n)
                garble(op["dseed"], n);
        } else if (kind == "words") {
            for (std::size_t n : op["positions"])
                garble(op["dseed"], n);
        } else if (kind == "shift") {
            long s = op["s"];
            std::vector<std::uint8_t> b(a.size(), 0);
            const long samples = long(a.size() / 4);
            for (long i = 0; i < samples; ++i)
                if (i + s >= 0 && i + s < samples)
                    std::copy_n(a.begin() + (i + s) * 4, 4, b.begin() + i * 4);
            a.swap(b);
        }
    }
    return a;
}

// SHA-256 by sha256sum (an oracle apart from our code).
inline std::string Sha256Of(const std::vector<std::uint8_t>& bytes) {
    TempDir dir;
    WriteFileBytes(dir / "a.raw", bytes);
    return Sha256(dir / "a.raw");
}

// The database's lookup reply for a disc of the vectors, and its recovery data (npar 8).
inline std::string CtdbReplyOf(const nlohmann::json& disc) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ctdb "
           "xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">" +
           disc["synthetic_lookup_reply_entry"].get<std::string>() + "</ctdb>";
}
inline std::string CtdbParityOf(const nlohmann::json& disc) {
    auto bytes = bw::Base64Decode(disc["npar8"]["parity_file_b64"].get<std::string>());
    return {bytes->begin(), bytes->end()};
}

// The disc's audio tracks as files (WAV by sox, or FLAC by flac with the tag TITLE=SongN),
// damaged by the ops (JSON).
inline std::vector<std::filesystem::path> CtdbTrackFiles(const nlohmann::json& disc,
                                                         const std::filesystem::path& folder,
                                                         const std::string& ops,
                                                         const std::string& format) {
    auto audio = CtdbDiscAudio(disc, nlohmann::json::parse(ops));
    std::vector<int> starts = disc["gen_params"]["track_starts_sectors"];
    starts.push_back(disc["gen_params"]["leadout_sectors"]);
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> files;
    for (std::size_t t = 0; t + 1 < starts.size(); ++t) {
        const auto raw = folder / ("t" + std::to_string(t + 1) + ".raw");
        WriteFileBytes(raw,
                       {audio.begin() + starts[t] * 2352, audio.begin() + starts[t + 1] * 2352});
        const auto file = folder / ("Track0" + std::to_string(t + 1) + "." + format);
        EXPECT_TRUE(MustRun(
            format == "flac"
                ? "flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
                  "--sample-rate=44100 --tag=TITLE=Song" +
                      std::to_string(t + 1) + " -o " + ShellQuote(file.string()) + " " +
                      ShellQuote(raw.string())
                : "sox -t raw -r 44100 -e signed -b 16 -c 2 " + ShellQuote(raw.string()) + " " +
                      ShellQuote(file.string())));
        std::filesystem::remove(raw);
        files.push_back(file);
    }
    return files;
}

} // namespace bwtest
