#include "TagText.h"

#include <charconv>
#include <string_view>

namespace bw::tagtext {

TagLib::String Utf8(const std::string& Text) {
    return TagLib::String(Text, TagLib::String::UTF8);
}
std::string FromTag(const TagLib::String& Text) {
    return Text.to8Bit(true);
}

TagLib::ByteVector Bytes(const std::vector<unsigned char>& Data) {
    return TagLib::ByteVector(reinterpret_cast<const char*>(Data.data()),
                              static_cast<unsigned int>(Data.size()));
}
std::vector<unsigned char> FromBytes(const TagLib::ByteVector& Data) {
    return std::vector<unsigned char>(Data.begin(), Data.end());
}

std::string Decimal(int Value) {
    return Value > 0 ? std::to_string(Value) : std::string();
}

// "n/N" as ID3v2 and APEv2 carry a track or disc position; "n" alone without a total.
std::string Position(int Number, int Total) {
    if (Number <= 0) return {};
    std::string Text = std::to_string(Number);
    if (Total > 0) Text += "/" + std::to_string(Total);
    return Text;
}

// A field's values: its own, then its further ones.
std::vector<std::string> AllValues(const TFileTags& Tags, std::string TFileTags::*Field,
                                   const char* Key) {
    std::vector<std::string> Values;
    if (!(Tags.*Field).empty()) Values.push_back(Tags.*Field);
    if (auto More = Tags.MoreValues.find(Key); More != Tags.MoreValues.end())
        for (const std::string& Value : More->second)
            if (!Value.empty()) Values.push_back(Value);
    return Values;
}

int LeadingNumber(const std::string& Text) {
    std::size_t Start = Text.find_first_not_of(' ');
    if (Start == std::string::npos) return 0;
    int Value = 0;
    auto [End, Error] = std::from_chars(Text.data() + Start, Text.data() + Text.size(), Value);
    (void)End;
    return Error == std::errc() && Value > 0 ? Value : 0;
}

// A value that decodes to nothing is no value: a frame holding only a byte-order mark
// (read as one, or as the Latin-1 "þÿ" a mislabelled frame gives), NULs or blanks. A
// byte-order mark before real text goes as well.
std::string Meaningful(std::string Text) {
    static const std::string_view Marks[] = {"\xEF\xBB\xBF", "\xEF\xBF\xBE", "\xC3\xBE\xC3\xBF",
                                             "\xC3\xBF\xC3\xBE"};
    for (bool Found = true; Found;) {
        Found = false;
        for (std::string_view Mark : Marks)
            if (Text.starts_with(Mark)) Text.erase(0, Mark.size()), Found = true;
    }
    const std::size_t Last = Text.find_last_not_of(std::string_view(" \0", 2));
    Text.resize(Last == std::string::npos ? 0 : Last + 1);
    return Text;
}

} // namespace bw::tagtext
