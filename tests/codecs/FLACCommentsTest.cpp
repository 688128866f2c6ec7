// The replacement comment block, byte by byte.
#include "FLACComments.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

std::uint32_t LE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

TEST(FLACCommentBlock, LayoutWithTwoComments) {
    auto block = BuildFLACCommentBlock(false, {"title=Song", "artist=Ünïcödé"});
    ASSERT_GE(block.size(), 4u);
    EXPECT_EQ(block[0], 0x04);
    std::size_t body = block[1] << 16 | block[2] << 8 | block[3];
    EXPECT_EQ(body, block.size() - 4);
    EXPECT_EQ(body, 4 + 13 + 4 + (4 + 10) + (4 + std::string("artist=Ünïcödé").size()));
    EXPECT_EQ(LE32(block, 4), 13u);
    EXPECT_EQ(std::string(block.begin() + 8, block.begin() + 21), "VENDOR=Hacked");
    EXPECT_EQ(LE32(block, 21), 2u);
    EXPECT_EQ(LE32(block, 25), 10u);
    EXPECT_EQ(std::string(block.begin() + 29, block.begin() + 39), "title=Song");
    std::size_t second = LE32(block, 39);
    EXPECT_EQ(std::string(block.begin() + 43, block.begin() + 43 + second), "artist=Ünïcödé");
}

TEST(FLACCommentBlock, LastFlagAndEmptyList) {
    auto block = BuildFLACCommentBlock(true, {});
    EXPECT_EQ(block[0], 0x84);
    EXPECT_EQ(block.size(), 4u + 4 + 13 + 4);
    EXPECT_EQ(LE32(block, 21), 0u);
}

TEST(FLACCommentBlock, CommentThatWouldOverflowTheLengthFieldIsLeftOut) {
    std::string huge = "title=" + std::string(0xFFFFFF, 'x');
    auto block = BuildFLACCommentBlock(false, {huge, "artist=A"});
    std::size_t body = block[1] << 16 | block[2] << 8 | block[3];
    EXPECT_EQ(body, block.size() - 4);
    EXPECT_EQ(LE32(block, 21), 1u);
    EXPECT_EQ(std::string(block.begin() + 29, block.end()), "artist=A");
}

} // namespace
} // namespace bw
