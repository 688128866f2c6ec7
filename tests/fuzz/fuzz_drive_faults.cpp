// The fault list parser must never crash or hang on any text; what it accepts must be
// usable as it stands: ranges in order, counts and speed within their limits.
#include "DriveFaults.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        bw::TDriveFaultList list = bw::ParseDriveFaults(text);
        for (const auto& fault : list.Sectors)
            if (fault.First < 0 || fault.Last < fault.First || fault.Reads < 0) std::abort();
        if (list.Speed < 0 || list.Speed > 10000) std::abort();
    } catch (const bw::EDriveFaults&) {
    }
    return 0;
}
