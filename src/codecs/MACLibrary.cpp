#include "MACLibrary.h"

#include "Folders.h"

#include <filesystem>

#define BW_RESOLVE(name) lib.Resolve(api.name, #name)

namespace bw {

namespace {

constexpr const char* LibraryName = "libMACDll.so";

bool ResolveMAC(const TSharedLibrary& lib, TMACApi& api) {
    return BW_RESOLVE(FillWaveFormatEx) && BW_RESOLVE(c_APECompress_Create) &&
           BW_RESOLVE(c_APECompress_Destroy) && BW_RESOLVE(c_APECompress_Start) &&
           BW_RESOLVE(c_APECompress_LockBuffer) && BW_RESOLVE(c_APECompress_UnlockBuffer) &&
           BW_RESOLVE(c_APECompress_Finish);
}

} // namespace

TLibraryBinding<TMACApi>& MACLibrary() {
    static TLibraryBinding<TMACApi> binding(LibraryName, ResolveMAC);
    return binding;
}

void LoadMACLibrary() {
    auto& binding = MACLibrary();
    if (binding.Loaded()) return;
    // The library ships beside the program, which need not be on any search path.
    std::error_code ec;
    const auto beside = ExecutableFolder() / LibraryName;
    if (binding.FileName() == LibraryName && std::filesystem::exists(beside, ec)) {
        binding.SetFileName(beside.string());
        if (binding.Load()) return;
        binding.SetFileName(LibraryName);
    }
    binding.Load();
}

void UnloadMACLibrary() {
    MACLibrary().Unload();
}

bool MACLoaded() {
    return MACLibrary().Loaded();
}

} // namespace bw
