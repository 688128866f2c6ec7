// The two genre tables: ID3v1 genre codes with their names, and the entries of the main
// window's genre list with the code each maps to.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace bw {

constexpr int Id3v1GenreCount = 148; // codes 0..147
constexpr int GenreListCount = 149;  // entry 0 is the empty "no genre" entry
constexpr std::uint8_t NoGenreCode = 255;
constexpr std::uint8_t OtherGenreCode = 12;

// The ID3v1 name of codes 0..147.
extern const std::array<const char*, Id3v1GenreCount> Id3v1GenreNames;
// The genre list as the user sees it; entry 0 is empty.
extern const std::array<const char*, GenreListCount> GenreListEntries;

// The ID3v1 code of a genre list entry. The index is taken as an unsigned byte, so an empty
// selection (-1) gives 255 as do 0 and anything above 148.
std::uint8_t GenreCodeOfListIndex(int Index);

// The ID3v1 name of a code; empty for codes without one (148..255).
std::string_view Id3v1GenreName(int code);

// The first ID3v1 code whose name equals the trimmed text, ignoring case.
std::optional<std::uint8_t> Id3v1GenreCodeOfName(std::string_view name);

// The first genre list entry equal to the text: with ignoreCase the comparison ignores case
// (the empty text finds entry 0); -1 when none.
int GenreListIndexOf(std::string_view text, bool ignoreCase);

} // namespace bw
