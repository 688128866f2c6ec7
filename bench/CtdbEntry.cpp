// The CUETools database's view of a clean disc image, for the benchmarks' stand-in server:
// writes ROOT/lookup2.php (a lookup reply with the disc's entry) and ROOT/parity/1 (its
// recovery data, 16 syndromes a column), and prints the seconds the sums took.
//
//   ctdb-entry DISC.bin "START START ... LEADOUT" ROOT
#include "CtdbVerify.h"
#include "Sha1Base64.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ctdb-entry DISC.bin \"STARTS... LEADOUT\" ROOT\n");
        return 2;
    }
    std::vector<int> sectors;
    std::istringstream toc(argv[2]);
    for (int s; toc >> s;)
        sectors.push_back(s);
    const bw::TCtdbToc disc = bw::TCtdbToc::Audio(sectors);
    bw::TCtdbDiscSums sums(disc, 16, 1);
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> block(1 << 20);
    const auto begun = std::chrono::steady_clock::now();
    std::int64_t at = 0;
    while (in.read(block.data(), std::streamsize(block.size())) || in.gcount() > 0) {
        sums.Add(at, reinterpret_cast<const std::uint8_t*>(block.data()), std::size_t(in.gcount()));
        at += in.gcount() / 4;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    if (!sums.Complete()) {
        std::fprintf(stderr, "ctdb-entry: the image is shorter than its TOC\n");
        return 1;
    }
    auto syndrome = sums.Syndromes().ShiftedColumn0(0);
    std::vector<std::uint8_t> bytes;
    for (auto w : syndrome) {
        bytes.push_back(std::uint8_t(w));
        bytes.push_back(std::uint8_t(w >> 8));
    }
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", *sums.DiscCrc());
    std::string tracks;
    for (std::size_t i = 0; i < sums.Layout().TrackStarts.size(); ++i) {
        char t[16];
        std::snprintf(t, sizeof t, "%s%08x", i ? " " : "", *sums.TrackCrc(i));
        tracks += t;
    }
    const std::filesystem::path root = argv[3];
    std::filesystem::create_directories(root / "parity");
    std::ofstream(root / "lookup2.php")
        << "<?xml version=\"1.0\"?><ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"><entry "
           "id=\"1\" "
        << "crc32=\"" << crc << "\" confidence=\"5\" npar=\"16\" stride=\"5880\" "
        << "hasparity=\"/parity/1\" syndrome=\"" << bw::Base64Encode(bytes.data(), bytes.size())
        << "\" toc=\"" << bw::CtdbTocString(disc) << "\" trackcrcs=\"" << tracks << "\"/></ctdb>\n";
    std::ofstream(root / "parity" / "1", std::ios::binary) << sums.Syndromes().ParityFile();
    std::printf("%.3f\n", seconds);
    return 0;
}
