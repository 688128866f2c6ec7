// The ID3v1.1 block writer: puts one 128-byte block at the end of an MP3 file, replacing an
// existing block or appending one. Text goes out as ISO-8859-1.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace bw {

constexpr std::size_t Id3v1BlockSize = 128;
using TId3v1Block = std::array<std::uint8_t, Id3v1BlockSize>;

// Status words of Tid3tag::WriteToFile; the low byte is always 0.
constexpr std::uint16_t Id3Written = 0;
constexpr std::uint16_t Id3CannotOpen = 0x0100; // missing, not a file, or locked by another
constexpr std::uint16_t Id3ReadOnly = 0x0200;   // not writable by us, or no attributes
constexpr std::uint16_t Id3ReadError = 0x0300;
constexpr std::uint16_t Id3WriteError = 0x0400;
constexpr std::uint16_t Id3OtherError = 0x0500;

class Tid3tag {
public:
    static constexpr std::size_t TextWidth = 30;
    static constexpr std::size_t YearWidth = 4;

    Tid3tag() = default;

    // Setters keep at most the field's width in characters (30; Year 4). Getters give UTF-8.
    void SetTitle(std::string_view text) { FTitle = Narrow(text, TextWidth); }
    void SetArtist(std::string_view text) { FArtist = Narrow(text, TextWidth); }
    void SetAlbum(std::string_view text) { FAlbum = Narrow(text, TextWidth); }
    void SetYear(std::string_view text) { FYear = Narrow(text, YearWidth); }
    void SetComment(std::string_view text) { FComment = Narrow(text, TextWidth); }
    std::string Title() const;
    std::string Artist() const;
    std::string Album() const;
    std::string Year() const;
    std::string Comment() const;

    // Track := N; the ID3v1.1 form (a track byte) is used when N is not 0.
    void SetTrack(std::uint8_t N);
    std::uint8_t Track() const { return FTrack; }
    bool TrackSet() const { return FTrackSet; }

    std::uint8_t Genre = 255; // 255: no genre

    // The block as written: ID3v1.1 when a track is set, else ID3v1.0.
    TId3v1Block Block() const;

    // Writes the block into the file (see the status words above). The file is opened with
    // an exclusive lock, so it fails with Id3CannotOpen while another writer holds it.
    std::uint16_t WriteToFile(const std::filesystem::path& FileName) const;

private:
    static std::string Narrow(std::string_view utf8, std::size_t width);

    // ISO-8859-1, one byte per character.
    std::string FTitle, FArtist, FAlbum, FYear, FComment;
    std::uint8_t FTrack = 0;
    bool FTrackSet = false;
};

// Where the block goes in a file of fileSize bytes whose last bytes (up to 128) are `tail`:
// over an existing block (one starting with "TAG"), else at the end.
std::int64_t Id3v1BlockPosition(std::int64_t fileSize, std::span<const std::uint8_t> tail);

// The fields of a 128-byte ID3v1 or ID3v1.1 block, text as UTF-8; nothing when the bytes
// are not such a block.
struct TId3v1Fields {
    std::string Title, Artist, Album, Year, Comment;
    std::optional<std::uint8_t> Track; // ID3v1.1 only
    std::uint8_t Genre = 255;
};
std::optional<TId3v1Fields> ParseId3v1Block(std::span<const std::uint8_t> block);

class TId3v2Tags;
struct TFileTags;
// The ID3v1.1 block for an MP3 file made from another tagged file: the texts as they are
// (cut to the block's widths), the genre by its name in the genre list (any case; no genre
// when not listed), the track when the track text is a number.
Tid3tag Id3v1TagOf(const TId3v2Tags& tags);
// The same from the fields an MP3 file's ID3v2 tag was written with (each field's first value),
// so that both tags say the same.
Tid3tag Id3v1TagOf(const TFileTags& tags);

} // namespace bw
