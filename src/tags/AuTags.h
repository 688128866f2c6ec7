// Tag stores: sets of tag values addressed by key name, one subclass per tag layout. Keys are
// fixed by each layout's constructor, kept sorted and compared without regard to case. Each
// value is unassigned, an integer or a (UTF-8) string. A store is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace bw {

using TTagValue = std::variant<std::monostate, std::int64_t, std::string>;

class TAuTags {
public:
    virtual ~TAuTags() = default;

    int TagCount() const { return static_cast<int>(FTags.size()); }
    // Empty outside 0..TagCount-1.
    std::string KeyAt(int Index) const;

    // Unassigned for an unknown key.
    TTagValue GetValue(std::string_view Key) const;
    // Ignored for an unknown key.
    void SetValue(std::string_view Key, const TTagValue& Value);
    // Integers as they are, strings parsed as decimal (0 when that fails), else 0.
    std::int64_t ValueAsInteger(std::string_view Key) const;
    // Integers as decimal text, strings as they are, else empty.
    std::string ValueAsString(std::string_view Key) const;
    std::string ValueAsWideString(std::string_view Key) const { return ValueAsString(Key); }

    // Registers a key with an unassigned value; an empty or known key is ignored.
    void AddKey(std::string_view Key);
    // Every value becomes unassigned.
    void Clear();
    // Clears this store, then copies the values of the keys both stores know.
    virtual void Assign(const TAuTags& Source);
    virtual void AssignTo(TAuTags& Target) const { Target.Assign(*this); }

protected:
    TAuTags() = default;
    TAuTags(const TAuTags&) = default;
    TAuTags& operator=(const TAuTags&) = default;

private:
    // Position of the key, or where it would go.
    std::size_t LowerBound(std::string_view Key) const;
    const TTagValue* Find(std::string_view Key) const;

    std::vector<std::pair<std::string, TTagValue>> FTags; // sorted, case ignored
};

// ID3v1 fields. Texts are stored as given; the block writer narrows them to ISO-8859-1.
class TId3v1Tags : public TAuTags {
public:
    TId3v1Tags();

    std::string Title() const { return ValueAsString("title"); }
    void SetTitle(const std::string& v) { SetValue("title", v); }
    // Empty unless a string is stored.
    std::string Artist() const;
    void SetArtist(const std::string& v) { SetValue("artist", v); }
    std::string Album() const { return ValueAsString("album"); }
    void SetAlbum(const std::string& v) { SetValue("album", v); }
    std::uint16_t Year() const { return static_cast<std::uint16_t>(ValueAsInteger("year")); }
    void SetYear(std::uint16_t v) { SetValue("year", std::int64_t{v}); }
    std::string Comment() const { return ValueAsString("comment"); }
    void SetComment(const std::string& v) { SetValue("comment", v); }
    std::uint8_t Track() const { return static_cast<std::uint8_t>(ValueAsInteger("track")); }
    void SetTrack(std::uint8_t v) { SetValue("track", std::int64_t{v}); }

    // The stored code when it is a genre code (0..147); any other stored value reads as 12
    // ("Other"); unset reads as 0.
    std::uint8_t GenreId() const;
    void SetGenreId(std::uint8_t v) { SetValue("genre", std::int64_t{v}); }
    // The name of GenreId.
    std::string Genre() const;
    // Stores the code of the first genre named like the trimmed text (case ignored); an
    // unknown name changes nothing.
    void SetGenre(std::string_view name);
};

// ID3v2 text frames, under the 3-character (ID3v2.2) or 4-character (ID3v2.3/2.4) frame IDs.
class TId3v2Tags : public TAuTags {
public:
    enum TField {
        fTitle,
        fArtist,
        fAlbum,
        fTrack,
        fYear,
        fGenre,
        fComment,
        fComposer,
        fEncoder,
        fCopyright,
        fLanguage,
        fLink,
        FieldCount
    };

    TId3v2Tags();

    bool UsesFourCharIds = true;

    // The key of a field in the current generation.
    std::string_view KeyOf(TField field) const;
    std::string Text(TField field) const { return ValueAsWideString(KeyOf(field)); }
    void SetText(TField field, const std::string& v) { SetValue(KeyOf(field), v); }

    std::string Title() const { return Text(fTitle); }
    void SetTitle(const std::string& v) { SetText(fTitle, v); }
    std::string Artist() const { return Text(fArtist); }
    void SetArtist(const std::string& v) { SetText(fArtist, v); }
    std::string Album() const { return Text(fAlbum); }
    void SetAlbum(const std::string& v) { SetText(fAlbum, v); }
    std::string Track() const { return Text(fTrack); }
    void SetTrack(const std::string& v) { SetText(fTrack, v); }
    std::string Year() const { return Text(fYear); }
    void SetYear(const std::string& v) { SetText(fYear, v); }
    std::string Genre() const { return Text(fGenre); }
    void SetGenre(const std::string& v) { SetText(fGenre, v); }
    std::string Comment() const { return Text(fComment); }
    void SetComment(const std::string& v) { SetText(fComment, v); }
    std::string Composer() const { return Text(fComposer); }
    void SetComposer(const std::string& v) { SetText(fComposer, v); }
    std::string Encoder() const { return Text(fEncoder); }
    void SetEncoder(const std::string& v) { SetText(fEncoder, v); }
    std::string Copyright() const { return Text(fCopyright); }
    void SetCopyright(const std::string& v) { SetText(fCopyright, v); }
    std::string Language() const { return Text(fLanguage); }
    void SetLanguage(const std::string& v) { SetText(fLanguage, v); }
    std::string Link() const { return Text(fLink); }
    void SetLink(const std::string& v) { SetText(fLink, v); }
};

// Vorbis comment fields of an Ogg Vorbis or FLAC file.
class TVorbisTags : public TAuTags {
public:
    TVorbisTags();

    std::string Album() const { return ValueAsWideString("album"); }
    void SetAlbum(const std::string& v) { SetValue("album", v); }
    std::string Artist() const { return ValueAsWideString("artist"); }
    void SetArtist(const std::string& v) { SetValue("artist", v); }
    std::string Date() const { return ValueAsWideString("date"); }
    void SetDate(const std::string& v) { SetValue("date", v); }
    std::string Genre() const { return ValueAsWideString("genre"); }
    void SetGenre(const std::string& v) { SetValue("genre", v); }
    std::string Title() const { return ValueAsWideString("title"); }
    void SetTitle(const std::string& v) { SetValue("title", v); }
    std::string Track() const { return ValueAsWideString("tracknumber"); }
    void SetTrack(const std::string& v) { SetValue("tracknumber", v); }
};

// APEv2 fields; key names keep their case and inner spaces.
class TAPEv2Tags : public TAuTags {
public:
    TAPEv2Tags();

#define BW_APE_FIELD(Name, Key)                                                                    \
    std::string Name() const {                                                                     \
        return ValueAsString(Key);                                                                 \
    }                                                                                              \
    void Set##Name(const std::string& v) {                                                         \
        SetValue(Key, v);                                                                          \
    }
    BW_APE_FIELD(Artist, "Artist")
    BW_APE_FIELD(Composer, "Composer")
    BW_APE_FIELD(Album, "Album")
    BW_APE_FIELD(DebutAlbum, "Debut album")
    BW_APE_FIELD(Publisher, "Publisher")
    BW_APE_FIELD(Conductor, "Conductor")
    BW_APE_FIELD(Copyright, "Copyright")
    BW_APE_FIELD(ISBN, "ISBN")
    BW_APE_FIELD(ISRC, "ISRC")
    BW_APE_FIELD(BarCode, "EAN/UPC")
    BW_APE_FIELD(LabelCode, "LC")
    BW_APE_FIELD(Catalog, "Catalog")
    BW_APE_FIELD(Language, "Language")
    BW_APE_FIELD(Genre, "Genre")
    BW_APE_FIELD(Year, "Year")
    BW_APE_FIELD(RecordDate, "Record Date")
    BW_APE_FIELD(RecordLocation, "Record Location")
    BW_APE_FIELD(File_, "File")
    BW_APE_FIELD(Related, "Related")
    BW_APE_FIELD(Abstract, "Abstract")
    BW_APE_FIELD(Bibliography, "Bibliography")
    BW_APE_FIELD(Track, "Track")
    BW_APE_FIELD(Title, "Title")
    BW_APE_FIELD(SubTitle, "Subtitle")
    BW_APE_FIELD(Comment, "Comment")
#undef BW_APE_FIELD
};

} // namespace bw
