// The bytes at the end of an MP3 file as the ID3v1 writer and parser see them: where a new
// block goes, what an existing block holds, and that the writer reproduces what it parsed.
#include "Latin1.h"
#include "id3.h"

#include <cstdlib>
#include <span>

using namespace bw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> file(data, size);
    std::span<const std::uint8_t> tail = file.size() >= Id3v1BlockSize
                                             ? file.subspan(file.size() - Id3v1BlockSize)
                                             : std::span<const std::uint8_t>();
    auto size64 = static_cast<std::int64_t>(size);
    std::int64_t position = Id3v1BlockPosition(size64, tail);
    if (position != size64 && position != size64 - 128) std::abort();

    if (auto fields = ParseId3v1Block(tail)) {
        if (position != size64 - 128) std::abort();
        Tid3tag tag;
        tag.SetTitle(fields->Title);
        tag.SetArtist(fields->Artist);
        tag.SetAlbum(fields->Album);
        tag.SetYear(fields->Year);
        tag.SetComment(fields->Comment);
        tag.SetTrack(fields->Track.value_or(0));
        tag.Genre = fields->Genre;
        auto block = tag.Block();
        auto again = ParseId3v1Block(block);
        if (!again || again->Title != fields->Title || again->Artist != fields->Artist ||
            again->Album != fields->Album || again->Year != fields->Year ||
            again->Comment != fields->Comment || again->Track != fields->Track ||
            again->Genre != fields->Genre)
            std::abort();
    }

    // Text conversion: ISO-8859-1 survives a trip through UTF-8, and narrowing never grows.
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (Latin1FromUtf8(Utf8FromLatin1(text)) != text) std::abort();
    if (Latin1FromUtf8(text).size() > size) std::abort();
    return 0;
}
