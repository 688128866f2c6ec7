#include "Sha1Base64.h"

namespace bw {

namespace {

std::uint32_t Rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

void Sha1Block(std::array<std::uint32_t, 5>& h, const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
               std::uint32_t(block[4 * i + 2]) << 8 | block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::array<std::uint8_t, 20> Sha1(std::string_view data) {
    std::array<std::uint32_t, 5> h = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string padded(data);
    const std::uint64_t bits = std::uint64_t(data.size()) * 8;
    padded.push_back('\x80');
    while (padded.size() % 64 != 56)
        padded.push_back('\0');
    for (int i = 7; i >= 0; --i)
        padded.push_back(static_cast<char>(bits >> (8 * i)));
    for (std::size_t i = 0; i < padded.size(); i += 64)
        Sha1Block(h, reinterpret_cast<const std::uint8_t*>(padded.data() + i));
    std::array<std::uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i)
        out[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

std::string Base64Encode(const std::uint8_t* data, std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; i += 3) {
        std::uint32_t v = std::uint32_t(data[i]) << 16;
        if (i + 1 < size) v |= std::uint32_t(data[i + 1]) << 8;
        if (i + 2 < size) v |= data[i + 2];
        out.push_back(Alphabet[v >> 18]);
        out.push_back(Alphabet[(v >> 12) & 63]);
        out.push_back(i + 1 < size ? Alphabet[(v >> 6) & 63] : '=');
        out.push_back(i + 2 < size ? Alphabet[v & 63] : '=');
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int bits = 0, pad = 0;
    for (char ch : text) {
        if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t') continue;
        if (ch == '=') {
            ++pad;
            continue;
        }
        if (pad > 0) return std::nullopt; // data after padding
        const char* at = nullptr;
        for (const char* p = Alphabet; *p; ++p)
            if (*p == ch) at = p;
        if (!at) return std::nullopt;
        acc = (acc << 6) | std::uint32_t(at - Alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    if (pad > 2 || bits >= 6) return std::nullopt;
    return out;
}

} // namespace bw
