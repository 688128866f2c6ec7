#include "AuTags.h"

#include "Genres.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace bw {

namespace {

int CompareIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int x = std::tolower(static_cast<unsigned char>(a[i]));
        int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

// ---------------------------------------------------------------------------------------
// TAuTags

std::size_t TAuTags::LowerBound(std::string_view Key) const {
    auto it = std::lower_bound(FTags.begin(), FTags.end(), Key, [](const auto& tag, auto key) {
        return CompareIgnoringCase(tag.first, key) < 0;
    });
    return static_cast<std::size_t>(it - FTags.begin());
}

const TTagValue* TAuTags::Find(std::string_view Key) const {
    std::size_t i = LowerBound(Key);
    if (i < FTags.size() && CompareIgnoringCase(FTags[i].first, Key) == 0) return &FTags[i].second;
    return nullptr;
}

std::string TAuTags::KeyAt(int Index) const {
    if (Index < 0 || Index >= TagCount()) return {};
    return FTags[static_cast<std::size_t>(Index)].first;
}

TTagValue TAuTags::GetValue(std::string_view Key) const {
    const TTagValue* v = Find(Key);
    return v ? *v : TTagValue();
}

void TAuTags::SetValue(std::string_view Key, const TTagValue& Value) {
    auto* v = const_cast<TTagValue*>(Find(Key));
    if (!v || *v == Value) return;
    *v = Value;
}

std::int64_t TAuTags::ValueAsInteger(std::string_view Key) const {
    const TTagValue* v = Find(Key);
    if (!v) return 0;
    if (auto* i = std::get_if<std::int64_t>(v)) return *i;
    if (auto* s = std::get_if<std::string>(v)) {
        std::string_view text = *s;
        if (!text.empty() && text.front() == '+') text.remove_prefix(1);
        std::int64_t n = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return 0;
        return n;
    }
    return 0;
}

std::string TAuTags::ValueAsString(std::string_view Key) const {
    const TTagValue* v = Find(Key);
    if (!v) return {};
    if (auto* i = std::get_if<std::int64_t>(v)) return std::to_string(*i);
    if (auto* s = std::get_if<std::string>(v)) return *s;
    return {};
}

void TAuTags::AddKey(std::string_view Key) {
    if (Key.empty()) return;
    std::size_t i = LowerBound(Key);
    if (i < FTags.size() && CompareIgnoringCase(FTags[i].first, Key) == 0) return;
    FTags.insert(FTags.begin() + static_cast<std::ptrdiff_t>(i), {std::string(Key), TTagValue()});
}

void TAuTags::Clear() {
    for (auto& tag : FTags)
        tag.second = TTagValue();
}

void TAuTags::Assign(const TAuTags& Source) {
    if (&Source == this) return;
    Clear();
    for (const auto& [key, value] : Source.FTags)
        SetValue(key, value);
}

// ---------------------------------------------------------------------------------------
// TId3v1Tags

TId3v1Tags::TId3v1Tags() {
    for (const char* key : {"artist", "album", "genre", "year", "track", "title", "comment"})
        AddKey(key);
}

std::string TId3v1Tags::Artist() const {
    TTagValue v = GetValue("artist");
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    return {};
}

std::uint8_t TId3v1Tags::GenreId() const {
    TTagValue v = GetValue("genre");
    if (std::holds_alternative<std::monostate>(v)) return 0;
    std::int64_t code = ValueAsInteger("genre");
    // Out-of-range values (148 and above, and negatives) name no genre: "Other".
    return code >= 0 && code < Id3v1GenreCount ? static_cast<std::uint8_t>(code) : OtherGenreCode;
}

std::string TId3v1Tags::Genre() const {
    return std::string(Id3v1GenreName(GenreId()));
}

void TId3v1Tags::SetGenre(std::string_view name) {
    if (auto code = Id3v1GenreCodeOfName(name)) SetGenreId(*code);
}

// ---------------------------------------------------------------------------------------
// TId3v2Tags

namespace {
constexpr std::string_view Id3v2Ids[TId3v2Tags::FieldCount][2] = {
    {"TT2", "TIT2"}, {"TP1", "TPE1"}, {"TAL", "TALB"}, {"TRK", "TRCK"},
    {"TYE", "TYER"}, {"TCO", "TCON"}, {"COM", "COMM"}, {"TCM", "TCOM"},
    {"TEN", "TENC"}, {"TCR", "TCOP"}, {"TLA", "TLAN"}, {"WXX", "WXXX"},
};
} // namespace

TId3v2Tags::TId3v2Tags() {
    for (const auto& ids : Id3v2Ids) {
        AddKey(ids[0]);
        AddKey(ids[1]);
    }
}

std::string_view TId3v2Tags::KeyOf(TField field) const {
    return Id3v2Ids[field][UsesFourCharIds ? 1 : 0];
}

// ---------------------------------------------------------------------------------------
// TVorbisTags, TAPEv2Tags

TVorbisTags::TVorbisTags() {
    for (const char* key : {"album", "artist", "date", "genre", "title", "tracknumber"})
        AddKey(key);
}

TAPEv2Tags::TAPEv2Tags() {
    for (const char* key :
         {"Artist",       "Composer",        "Album",    "Debut album", "Publisher",
          "Conductor",    "Copyright",       "ISBN",     "ISRC",        "EAN/UPC",
          "LC",           "Catalog",         "Language", "Genre",       "Year",
          "Record Date",  "Record Location", "File",     "Related",     "Abstract",
          "Bibliography", "Track",           "Title",    "Subtitle",    "Comment"})
        AddKey(key);
}

} // namespace bw
