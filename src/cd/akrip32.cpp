#include "akrip32.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

namespace bw {

namespace {

// The latest list and the image drives it was read with.
struct TKnownDrives {
    std::mutex Lock;
    std::optional<TCDList> List;
    std::string Images;
};

TKnownDrives& KnownDrives() {
    static auto* known = new TKnownDrives; // workers may still list drives at exit
    return *known;
}

std::string ImageDrivesNamed() {
    const char* images = std::getenv("BRINDLEWAVE_CD_IMAGES");
    return images ? images : "";
}

} // namespace

TCDList ReadDriveList() {
    TCDList list;
    std::memset(&list, 0, sizeof list);
    list.Capacity = CDMaxDrives;
    const std::string images = ImageDrivesNamed();
    GetCDList(&list);
    TKnownDrives& known = KnownDrives();
    std::lock_guard lock(known.Lock);
    known.List = list;
    known.Images = images;
    return list;
}

TCDList KnownDriveList() {
    {
        TKnownDrives& known = KnownDrives();
        std::lock_guard lock(known.Lock);
        if (known.List && known.Images == ImageDrivesNamed()) return *known.List;
    }
    return ReadDriveList();
}

void ForgetDriveList() {
    TKnownDrives& known = KnownDrives();
    std::lock_guard lock(known.Lock);
    known.List.reset();
}

std::string DriveDisplayName(const TCDEntry& entry) {
    std::string name(entry.Vendor, strnlen(entry.Vendor, sizeof entry.Vendor));
    name.append(entry.Product, strnlen(entry.Product, sizeof entry.Product));
    if (name.size() > 26) name.resize(26);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

TGetCDHandle HandleRequestFor(const TCDEntry& entry) {
    TGetCDHandle request;
    std::memset(&request, 0, sizeof request);
    request.Size = sizeof request;
    request.Version = 1;
    request.HostAdapter = entry.HostAdapter;
    request.Target = entry.Target;
    request.Lun = entry.Lun;
    return request;
}

std::string DriveOpenProblem(const TCDEntry& entry) {
    if (GetAspiLibError() == CDERR_TOO_MANY_HANDLES)
        return "every drive handle is in use (stop a play or a search and try again)";
    const std::string problem = GetCDAccessProblem(entry);
    return problem.empty() ? "the drive cannot be opened" : problem;
}

int FramesOf(const TTOCTrack& entry) {
    return entry.Address[1] * 4500 + entry.Address[2] * 75 + entry.Address[3];
}

int TOCEntryCount(const TTOC& toc) {
    int count = toc.LastTrack - toc.FirstTrack + 2;
    return count < 0 ? 0 : std::min(count, CDMaxTOCEntries);
}

bool IsAudioEntry(const TTOCTrack& entry) {
    return (entry.AdrControl & 0x04) == 0;
}

std::vector<int> TOCStartFrames(const TTOC& toc) {
    std::vector<int> frames;
    for (int i = 0; i < TOCEntryCount(toc); ++i)
        frames.push_back(FramesOf(toc.Tracks[i]));
    return frames;
}

std::vector<int> TOCEndFrames(const TTOC& toc) {
    std::vector<int> ends;
    const int entries = TOCEntryCount(toc);
    for (int i = 0; i + 1 < entries; ++i) {
        const TTOCTrack& next = toc.Tracks[i + 1];
        bool laterSession =
            i + 2 < entries && next.Session > toc.Tracks[i].Session && toc.Tracks[i].Session != 0;
        ends.push_back(FramesOf(next) - (laterSession ? CDSessionGapSectors : 0));
    }
    return ends;
}

int TOCTrackFrames(const TTOC& toc, int index) {
    auto ends = TOCEndFrames(toc);
    if (index < 0 || index >= static_cast<int>(ends.size())) return 0;
    return ends[static_cast<std::size_t>(index)] - FramesOf(toc.Tracks[index]);
}

} // namespace bw
