#include "DriveFaults.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

namespace bw {

namespace {

constexpr std::size_t SectorBytes = 2352;
constexpr std::size_t MaxEntries = 1000;
constexpr std::int64_t MaxNumber = 999'999'999;
constexpr double MaxSpeed = 10000;
constexpr std::int64_t MaxCacheSectors = 10000;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t at = text.find(separator);
        parts.push_back(Trim(text.substr(0, at)));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// The entry as an error message quotes it: short, and only printable ASCII.
std::string Quoted(std::string_view entry) {
    std::string shown;
    for (char c : entry.substr(0, 40))
        shown += (c >= 0x20 && c < 0x7f) ? c : '?';
    if (entry.size() > 40) shown += "...";
    return "'" + shown + "'";
}

// A plain decimal number, no sign, at most MaxNumber.
bool Number(std::string_view text, std::int64_t& value) {
    // from_chars would take a minus sign.
    if (text.empty() || text.size() > 9 || text.front() < '0' || text.front() > '9') return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value <= MaxNumber;
}

class TEntryParser {
public:
    explicit TEntryParser(std::string_view entry) : FEntry(entry), FParts(Split(entry, ':')) {}

    // `counted`: K follows; `optional`: it may be left out (every read).
    TSectorFault Range(TSectorFaultKind kind, bool counted, bool optional = false) const {
        if (optional && FParts.size() == 2) {
            TSectorFault fault = Range(kind, false);
            fault.Reads = EveryRead;
            return fault;
        }
        Expect(counted ? 3 : 2, counted ? "FIRST-LAST:K" : "FIRST-LAST");
        TSectorFault fault;
        fault.Kind = kind;
        std::vector<std::string_view> bounds = Split(FParts[1], '-');
        if (bounds.size() > 2 || !Number(bounds.front(), fault.First) ||
            !Number(bounds.back(), fault.Last))
            Fail("the sectors are not FIRST-LAST");
        if (fault.Last < fault.First) Fail("LAST comes before FIRST");
        if (counted) {
            std::int64_t reads = 0;
            if (!Number(FParts[2], reads)) Fail("K is not a number of reads");
            fault.Reads = static_cast<int>(reads);
        }
        return fault;
    }

    // SECTOR[:COUNT], COUNT sectors from SECTOR.
    TSectorFault Run(TSectorFaultKind kind) const {
        if (FParts.size() != 2 && FParts.size() != 3)
            Fail("expected " + std::string(Name()) + ":SECTOR[:COUNT]");
        TSectorFault fault;
        fault.Kind = kind;
        std::int64_t count = 1;
        if (!Number(FParts[1], fault.First)) Fail("SECTOR is not a sector");
        if (FParts.size() == 3 && (!Number(FParts[2], count) || count < 1))
            Fail("COUNT is not a number of sectors");
        fault.Last = fault.First + count - 1;
        return fault;
    }

    double Speed() const {
        Expect(2, "X");
        std::string_view text = FParts[1];
        // Digits with at most one decimal point: no signs, exponents or "inf".
        bool plain = !text.empty() && text.size() <= 12 &&
                     std::count(text.begin(), text.end(), '.') <= 1 &&
                     std::all_of(text.begin(), text.end(),
                                 [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
        double speed = 0;
        if (plain) {
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), speed);
            plain = error == std::errc() && end == text.data() + text.size();
        }
        if (!plain || !(speed > 0) || speed > MaxSpeed)
            Fail("the speed is not a number above 0 and at most 10000");
        return speed;
    }

    // A whole number with an optional minus sign, at most `limit` either way.
    std::int64_t Signed(std::int64_t limit) const {
        Expect(2, "N");
        std::string_view text = FParts[1];
        bool negative = !text.empty() && text.front() == '-';
        if (negative) text.remove_prefix(1);
        std::int64_t value = 0;
        if (!Number(text, value) || value > limit)
            Fail("the value is not a number from -" + std::to_string(limit) + " to " +
                 std::to_string(limit));
        return negative ? -value : value;
    }

    [[noreturn]] void Fail(const std::string& why) const {
        throw EDriveFaults(std::string(DriveFaultsVariable) + ": cannot use the entry " +
                           Quoted(FEntry) + ": " + why + ".");
    }

    std::string_view Name() const { return FParts[0]; }

private:
    void Expect(std::size_t parts, const char* form) const {
        if (FParts.size() != parts) Fail("expected " + std::string(Name()) + ":" + form);
    }

    std::string_view FEntry;
    std::vector<std::string_view> FParts;
};

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

TDriveFaultList ParseDriveFaults(std::string_view text) {
    TDriveFaultList faults;
    std::vector<std::string_view> entries = Split(text, ',');
    if (entries.size() > MaxEntries)
        throw EDriveFaults(std::string(DriveFaultsVariable) + ": more than " +
                           std::to_string(MaxEntries) + " entries.");
    for (std::string_view entry : entries) {
        if (entry.empty()) continue; // "a,,b" or a trailing comma
        TEntryParser parser(entry);
        std::string_view name = parser.Name();
        if (name == "flaky")
            faults.Sectors.push_back(parser.Range(TSectorFaultKind::Flaky, true));
        else if (name == "error")
            faults.Sectors.push_back(parser.Range(TSectorFaultKind::Error, true, true));
        else if (name == "unstable")
            faults.Sectors.push_back(parser.Range(TSectorFaultKind::Unstable, false));
        else if (name == "sticky")
            faults.Sectors.push_back(parser.Run(TSectorFaultKind::Sticky));
        else if (name == "cache") {
            const std::int64_t sectors = parser.Signed(MaxCacheSectors);
            if (sectors < 1) parser.Fail("N is not a number of sectors from 1 to 10000");
            faults.CacheSectors = static_cast<int>(sectors);
        } else if (name == "speed") {
            if (faults.Speed != 0) parser.Fail("the speed is given twice");
            faults.Speed = parser.Speed();
        } else if (name == "offset") {
            faults.Offset = static_cast<int>(parser.Signed(5880));
        } else if (name == "notready") {
            faults.NotReadySeconds = static_cast<int>(parser.Signed(3600));
            if (faults.NotReadySeconds < 0) parser.Fail("S is not a number of seconds");
        } else if (name == "eject") {
            faults.EjectAt = parser.Signed(MaxNumber);
            if (faults.EjectAt < 0) parser.Fail("SECTOR is not a sector");
        } else if (name == "tray") {
            faults.Tray = true;
        } else
            parser.Fail("unknown fault (flaky, error, unstable, sticky, cache, speed, offset, "
                        "notready, eject or tray)");
    }
    return faults;
}

TDriveFaultList DriveFaultsFromEnvironment() {
    const char* text = std::getenv(DriveFaultsVariable);
    return ParseDriveFaults(text ? text : "");
}

namespace {
std::mutex TrayLock;
std::set<std::string> OpenTrays; // under TrayLock
} // namespace

void SetSimulatedTrayOpen(const std::string& image, bool open) {
    std::lock_guard lock(TrayLock);
    if (open)
        OpenTrays.insert(image);
    else
        OpenTrays.erase(image);
}

bool SimulatedTrayOpen(const std::string& image) {
    std::lock_guard lock(TrayLock);
    return OpenTrays.count(image) != 0;
}

TDriveFaultState::TDriveFaultState(TDriveFaultList faults)
    : FFaults(std::move(faults)), FReads(FFaults.Sectors.size()) {}

bool TDriveFaultState::Covers(const TSectorFault& fault, std::int64_t first,
                              std::uint32_t count) const {
    return fault.First < first + std::int64_t(count) && fault.Last >= first;
}

bool TDriveFaultState::Read(std::uint8_t* audio, std::int64_t first, std::uint32_t count,
                            const TReader& read) {
    if (FFaults.CacheSectors <= 0) return ReadMedium(audio, first, count, read);
    // Sectors the cache holds come from there; the others from the disc, in runs.
    const std::int64_t end = first + std::int64_t(count);
    for (std::int64_t s = first; s < end;) {
        std::uint8_t* to = audio + std::size_t(s - first) * SectorBytes;
        if (auto hit = FCache.find(s); hit != FCache.end()) {
            std::copy(hit->second.second.begin(), hit->second.second.end(), to);
            ++FCacheHits;
            Remember(s, to);
            ++s;
            continue;
        }
        std::int64_t run = s + 1;
        while (run < end && FCache.find(run) == FCache.end())
            ++run;
        if (!ReadMedium(to, s, static_cast<std::uint32_t>(run - s), read)) return false;
        for (; s < run; ++s)
            Remember(s, audio + std::size_t(s - first) * SectorBytes);
    }
    return true;
}

void TDriveFaultState::Remember(std::int64_t sector, const std::uint8_t* audio) {
    if (auto known = FCache.find(sector); known != FCache.end()) {
        FCacheOrder.splice(FCacheOrder.begin(), FCacheOrder, known->second.first);
        return;
    }
    FCacheOrder.push_front(sector);
    FCache.emplace(sector, std::make_pair(FCacheOrder.begin(),
                                          std::vector<std::uint8_t>(audio, audio + SectorBytes)));
    while (FCacheOrder.size() > std::size_t(FFaults.CacheSectors)) {
        FCache.erase(FCacheOrder.back());
        FCacheOrder.pop_back();
    }
}

bool TDriveFaultState::ReadMedium(std::uint8_t* audio, std::int64_t first, std::uint32_t count,
                                  const TReader& read) {
    Pace(count);
    const std::int64_t end = first + std::int64_t(count);
    // Every attempt counts as a read of an error sector, even one that another sector fails.
    bool failed = false;
    for (std::size_t i = 0; i < FFaults.Sectors.size(); ++i) {
        const TSectorFault& fault = FFaults.Sectors[i];
        if (fault.Kind != TSectorFaultKind::Error || !Covers(fault, first, count)) continue;
        for (std::int64_t s = std::max(first, fault.First); s < end && s <= fault.Last; ++s)
            if (++FReads[i][s] <= fault.Reads) failed = true;
    }
    if (failed || !read(audio, first, count)) return false;
    for (std::size_t i = 0; i < FFaults.Sectors.size(); ++i) {
        const TSectorFault& fault = FFaults.Sectors[i];
        if (fault.Kind == TSectorFaultKind::Error || !Covers(fault, first, count)) continue;
        for (std::int64_t s = std::max(first, fault.First); s < end && s <= fault.Last; ++s) {
            std::uint8_t* sector = audio + std::size_t(s - first) * SectorBytes;
            if (fault.Kind == TSectorFaultKind::Sticky)
                SpoilAlike(sector, s);
            else if (fault.Kind == TSectorFaultKind::Unstable || ++FReads[i][s] <= fault.Reads)
                Spoil(sector);
        }
    }
    return true;
}

void TDriveFaultState::Spoil(std::uint8_t* sector) {
    // One changed byte in each of 16 stripes: never the right data, and (the noise never
    // repeating) never the same wrong data twice.
    constexpr std::size_t stripes = 16, stripe = SectorBytes / stripes;
    for (std::size_t k = 0; k < stripes; ++k) {
        std::uint64_t noise = SplitMix(FNoise);
        auto flip = static_cast<std::uint8_t>(noise >> 56);
        sector[k * stripe + noise % stripe] ^= flip ? flip : 0x5a;
    }
}

void TDriveFaultState::SpoilAlike(std::uint8_t* sector, std::int64_t at) {
    // The same stripes as Spoil, from noise that depends on the sector alone.
    std::uint64_t state = 0x51ed270b27a3f1c5ULL ^ std::uint64_t(at);
    constexpr std::size_t stripes = 16, stripe = SectorBytes / stripes;
    for (std::size_t k = 0; k < stripes; ++k) {
        std::uint64_t noise = SplitMix(state);
        auto flip = static_cast<std::uint8_t>(noise >> 56);
        sector[k * stripe + noise % stripe] ^= flip ? flip : 0x5a;
    }
}

void TDriveFaultState::Pace(std::uint32_t count) {
    if (FFaults.Speed <= 0) return;
    // A drive that stood idle does not bank the time: it is ready from now on at most.
    auto now = std::chrono::steady_clock::now();
    if (FReadyAt < now) FReadyAt = now;
    FReadyAt += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(count / (75.0 * FFaults.Speed)));
    std::this_thread::sleep_until(FReadyAt);
}

} // namespace bw
