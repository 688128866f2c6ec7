// MD5 (RFC 1321), for the checksum that Monkey's Audio verifiers compare.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace bw::mac {

class TMd5 {
public:
    void Update(const void* data, std::size_t size);
    std::array<std::uint8_t, 16> Final();

private:
    void Block(const std::uint8_t* p);

    std::uint32_t FState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::uint64_t FBytes = 0;
    std::uint8_t FBuffer[64] = {};
};

} // namespace bw::mac
