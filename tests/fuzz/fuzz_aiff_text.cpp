// AIFF text chunks come from files of any origin.
#include "AiffText.h"

#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const bw::TAiffText text = bw::ReadAiffText(in);
    // Each kept text comes from the input: never more than it (and the joins).
    if (text.Name.size() > 2 * size + 1 || text.Author.size() > 2 * size + 1) std::abort();
    return 0;
}
