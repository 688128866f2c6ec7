// Rewriting the file names of a cdrdao TOC file must never fail on any text, must keep
// text without file statements unchanged, and must only ever add the folder.
#include "CdrdaoToc.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string folder = "/images/";
    std::string out = bw::AbsoluteTocFileNames(text, folder);
    if (out.size() < text.size() || (out.size() - text.size()) % folder.size() != 0) std::abort();
    if (text.find("FILE") == std::string::npos && out != text) std::abort();
    return 0;
}
