#include "CodecTestSupport.h"

namespace {
// gtest takes ownership.
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new bwtest::TCodecEnvironment);
} // namespace
