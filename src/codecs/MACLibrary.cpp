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
    // The library ships with the program, beside it in a build tree or an unpacked copy and
    // in the private library folder when installed; neither is on any search path.
    const std::string path = ProgramLibraryPath(LibraryName, ExecutableFolder());
    if (binding.FileName() == LibraryName && path != LibraryName) {
        binding.SetFileName(path);
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
