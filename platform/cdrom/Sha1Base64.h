// SHA-1 and Base64 for the CUETools database's disc id and its syndrome attributes: small
// enough to carry rather than load a crypto library for one digest.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

std::array<std::uint8_t, 20> Sha1(std::string_view data);

std::string Base64Encode(const std::uint8_t* data, std::size_t size);
// Standard alphabet with '=' padding; whitespace is skipped. Nothing on malformed input.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

} // namespace bw
