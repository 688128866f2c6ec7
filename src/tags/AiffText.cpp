#include "AiffText.h"

#include "Latin1.h"

#include <array>
#include <cstdint>

namespace bw {

namespace {

constexpr std::uint32_t MaxKeptText = 64 * 1024;
constexpr int MaxChunks = 10000; // a FORM of empty chunks is walked no further

std::uint32_t BigEndian(const unsigned char* Bytes) {
    return std::uint32_t{Bytes[0]} << 24 | std::uint32_t{Bytes[1]} << 16 |
           std::uint32_t{Bytes[2]} << 8 | Bytes[3];
}

bool ValidUtf8(const std::string& Text) {
    for (std::size_t i = 0; i < Text.size();) {
        const auto Lead = static_cast<unsigned char>(Text[i]);
        const std::size_t Length = Lead < 0x80         ? 1
                                   : (Lead >> 5) == 6  ? 2
                                   : (Lead >> 4) == 14 ? 3
                                   : (Lead >> 3) == 30 ? 4
                                                       : 0;
        if (Length == 0 || i + Length > Text.size()) return false;
        for (std::size_t k = 1; k < Length; ++k)
            if ((static_cast<unsigned char>(Text[i + k]) & 0xC0) != 0x80) return false;
        i += Length;
    }
    return true;
}

// The chunk's text up to its first NUL, as UTF-8.
std::string TextOf(std::string Bytes) {
    if (std::size_t Nul = Bytes.find('\0'); Nul != std::string::npos) Bytes.resize(Nul);
    return ValidUtf8(Bytes) ? Bytes : Utf8FromLatin1(Bytes);
}

} // namespace

TAiffText ReadAiffText(std::istream& In) {
    TAiffText Text;
    std::array<unsigned char, 12> Head{};
    if (!In.read(reinterpret_cast<char*>(Head.data()), Head.size())) return Text;
    const std::string Form(Head.begin(), Head.begin() + 4), Kind(Head.begin() + 8, Head.end());
    if (Form != "FORM" || (Kind != "AIFF" && Kind != "AIFC")) return Text;
    const std::uint64_t End = std::uint64_t{BigEndian(Head.data() + 4)} + 8;
    std::uint64_t At = 12;
    for (int Count = 0; Count < MaxChunks && At + 8 <= End; ++Count) {
        std::array<unsigned char, 8> Chunk{};
        In.seekg(static_cast<std::streamoff>(At));
        if (!In.read(reinterpret_cast<char*>(Chunk.data()), Chunk.size())) break;
        const std::string Id(Chunk.begin(), Chunk.begin() + 4);
        const std::uint32_t Size = BigEndian(Chunk.data() + 4);
        std::string* Field = Id == "NAME"   ? &Text.Name
                             : Id == "AUTH" ? &Text.Author
                             : Id == "ANNO" ? &Text.Annotation
                                            : nullptr;
        if (Field) {
            std::string Bytes(std::min(Size, MaxKeptText), '\0');
            if (!In.read(Bytes.data(), static_cast<std::streamsize>(Bytes.size()))) break;
            std::string Value = TextOf(std::move(Bytes));
            if (!Value.empty()) *Field = Field->empty() ? Value : *Field + "\n" + Value;
        }
        At += 8 + std::uint64_t{Size} + (Size & 1); // chunks are padded to an even size
    }
    return Text;
}

} // namespace bw
