// The entropy stage of a frame: an adaptive split of each value into a quotient, coded with a
// fixed frequency table, and a remainder, both through a carry-propagating range coder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bw::mac {

class TRangeEncoder {
public:
    // Writes from out onwards; the caller provides room for MaxBytesPerValue per value coded
    // plus FlushBytes.
    explicit TRangeEncoder(std::uint8_t* out) : FOut(out) {}

    static constexpr std::size_t MaxBytesPerValue = 12;
    static constexpr std::size_t FlushBytes = 16;
    std::uint8_t* End() const { return FOut; }

    // A symbol of a table whose frequencies add up to 65536.
    void Encode16(std::uint32_t cumulative, std::uint32_t frequency) {
        Normalize();
        const std::uint32_t t = FRange >> 16;
        FLow += t * cumulative;
        FRange = t * frequency;
    }
    // A symbol of frequency 1 among total equally likely ones.
    void EncodeUniform(std::uint32_t value, std::uint32_t total) {
        Normalize();
        const std::uint32_t t = FRange / total;
        FLow += t * value;
        FRange = t;
    }
    // The same, for total >= 2 given with its reciprocal ceil(2^64 / total), which turns the
    // division into a multiplication.
    void EncodeUniform(std::uint32_t value, std::uint32_t total, std::uint64_t reciprocal) {
        (void)total;
        Normalize();
        const std::uint32_t t = DivideBy(FRange, reciprocal);
        FLow += t * value;
        FRange = t;
    }
    // n / d for any 32-bit n, given ceil(2^64 / d) with d >= 2.
    static std::uint32_t DivideBy(std::uint32_t n, std::uint64_t reciprocal) {
        return static_cast<std::uint32_t>((static_cast<unsigned __int128>(n) * reciprocal) >> 64);
    }
    // A symbol of frequency 1 among 2^bits equally likely ones.
    void EncodeBits(std::uint32_t value, int bits) {
        Normalize();
        const std::uint32_t t = FRange >> bits;
        FLow += t * value;
        FRange = t;
    }
    // Ends the frame so that a decoder never reads past it (and so that the next frame may
    // follow without a gap).
    void Flush();

private:
    static constexpr std::uint32_t Top = 1u << 31;
    static constexpr std::uint32_t Bottom = 1u << 23;

    void Normalize() {
        while (FRange <= Bottom) {
            ShiftOut();
            FRange <<= 8;
        }
    }
    void ShiftOut() {
        if (FLow < 0x7F800000u) {
            *FOut++ = FHeld;
            PutRun(0xFF, FPendingFF);
            FPendingFF = 0;
            FHeld = static_cast<std::uint8_t>(FLow >> 23);
        } else if (FLow & Top) {
            *FOut++ = static_cast<std::uint8_t>(FHeld + 1);
            PutRun(0x00, FPendingFF);
            FPendingFF = 0;
            FHeld = static_cast<std::uint8_t>(FLow >> 23);
        } else {
            // The byte is 0xFF and may still take a carry.
            ++FPendingFF;
        }
        FLow = (FLow << 8) & (Top - 1);
    }

    void PutRun(std::uint8_t byte, std::uint32_t count) {
        for (; count > 0; --count)
            *FOut++ = byte;
    }

    std::uint8_t* FOut;
    std::uint32_t FLow = 0;
    std::uint32_t FRange = Top;
    std::uint8_t FHeld = 0; // becomes the frame's ignored first byte
    std::uint32_t FPendingFF = 0;
};

// One coded channel's adaptive state.
class TValueCoder {
public:
    void Encode(TRangeEncoder& rc, std::int32_t value);

private:
    std::uint32_t FSum = 16384;
};

} // namespace bw::mac
