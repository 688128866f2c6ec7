// Our Monkey's Audio encoder, libMACDll.so, loaded at program start: from the program's own
// folder first, else through the system's library search.
#pragma once

#include "MACDll.h"
#include "SharedLibrary.h"

namespace bw {

struct TMACApi {
    decltype(&::FillWaveFormatEx) FillWaveFormatEx;
    decltype(&::c_APECompress_Create) c_APECompress_Create;
    decltype(&::c_APECompress_Destroy) c_APECompress_Destroy;
    decltype(&::c_APECompress_Start) c_APECompress_Start;
    decltype(&::c_APECompress_LockBuffer) c_APECompress_LockBuffer;
    decltype(&::c_APECompress_UnlockBuffer) c_APECompress_UnlockBuffer;
    decltype(&::c_APECompress_Finish) c_APECompress_Finish;
};

TLibraryBinding<TMACApi>& MACLibrary();

// Returns at once when loaded; otherwise tries the program's folder, then the search path.
void LoadMACLibrary();
void UnloadMACLibrary();
bool MACLoaded();

} // namespace bw
