// CDDB records come from servers outside our control.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "CddbRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    int first = data[0] % 4 + 1;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    auto fields = bw::ParseCddbRecord(text, first, first + data[0] % 20);
    if (fields.TrackTitles && fields.TrackTitles->size() > 20u) std::abort();
    return 0;
}
