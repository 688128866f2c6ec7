// CRC-32 as zlib computes it (reflected 0xEDB88320), eight bytes a step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bw::mac {

// The CRC of data, continuing from crc (0 to start).
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

} // namespace bw::mac
