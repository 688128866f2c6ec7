#include "DiscIdentity.h"

#include "CddbDiscId.h"
#include "CutOff.h"
#include "akrip32.h"

#include <cstdint>
#include <optional>

namespace bw {

namespace {

// The TOC of the disc in a listed drive, read through a handle of its own so that the
// caller's handle and its parameters stay untouched.
std::optional<TTOC> ReadDiscTOC(const TCDEntry& entry, TCutOff* cut = nullptr) {
    TGetCDHandle request = HandleRequestFor(entry);
    int handle = GetCDHandle(&request);
    if (handle == 0) return std::nullopt;
    TTOC toc;
    bool ok = !cut || cut->SetHook([handle] { CutCDHandle(handle); });
    ok = ok && ModifyCDParms(handle, CDP_MSF, 1) != 0 && ReadTOC(handle, &toc) == 1;
    // The hook goes before the number is given back: it may be another opener's next.
    if (cut) cut->ClearHook();
    CloseCDHandle(handle);
    if (!ok) return std::nullopt;
    return toc;
}

bool HasAudioTrack(const TTOC& toc) {
    for (int i = 0; i + 1 < TOCEntryCount(toc); ++i)
        if (IsAudioEntry(toc.Tracks[i])) return true;
    return false;
}

} // namespace

std::string DiscKeyText(unsigned discId) {
    return std::to_string(static_cast<std::int32_t>(discId));
}

std::string DiscKeyOfTOC(const TTOC& toc) {
    if (!HasAudioTrack(toc)) return {};
    return DiscKeyText(CddbDiscId(TOCStartFrames(toc)));
}

std::string DiscKeyOfDrive(const TCDEntry& entry, TCutOff* cut) {
    auto toc = ReadDiscTOC(entry, cut);
    return toc ? DiscKeyOfTOC(*toc) : std::string();
}

std::string GetDiscKey() {
    TCDList list = ReadDriveList();
    for (int i = 0; i < list.Count; ++i) {
        std::string key = DiscKeyOfDrive(list.Entries[i]);
        if (!key.empty()) return key;
    }
    return {};
}

bool IsAudioDiscPresent() {
    TCDList list = ReadDriveList();
    if (list.Count == 0) return false;
    auto toc = ReadDiscTOC(list.Entries[0]);
    return toc && HasAudioTrack(*toc);
}

} // namespace bw
