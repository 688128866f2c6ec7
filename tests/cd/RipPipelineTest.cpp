// The order of reading and encoding: a script of events ("r" a read ends, "e" an encoding
// ends) against what the pipeline starts after each ("R2" read track 2, "E1" encode track
// 1, "F" finished).
#include "RipPipeline.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string Text(const bw::TRipPipeline::TNext& next) {
    std::string text;
    if (next.Encode >= 0) text += "E" + std::to_string(next.Encode);
    if (next.Read >= 0) text += "R" + std::to_string(next.Read);
    if (next.Finished) text += "F";
    return text.empty() ? "-" : text;
}

} // namespace

TEST(RipPipeline, ReadsAheadOfTheEncoderByOneTrackAtMost) {
    struct TCase {
        int Count;
        bool Encodes;
        const char* Events;
        std::vector<std::string> Expected; // after Begin, then after each event
    };
    const TCase cases[] = {
        {1, false, "r", {"R0", "F"}},
        {3, false, "rrr", {"R0", "R1", "R2", "F"}},
        {1, true, "re", {"R0", "E0", "F"}},
        // Encoding slower than reading: track 2 waits, reading pauses until it is encoded.
        {3, true, "rrere e", {"R0", "E0R1", "-", "E1R2", "-", "E2", "F"}},
        // Encoding faster than reading: the encoder waits for the reads.
        {3, true, "rerere", {"R0", "E0R1", "-", "E1R2", "-", "E2", "F"}},
        // Mixed: the last read ends while the encoder is busy.
        {2, true, "rree", {"R0", "E0R1", "-", "E1", "F"}},
        {0, true, "", {"F"}},
        // Events that do not belong (nothing being read or encoded) change nothing.
        {1, true, "ere", {"R0", "-", "E0", "F"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Events);
        bw::TRipPipeline pipeline(c.Count, c.Encodes);
        std::vector<std::string> got{Text(pipeline.Begin())};
        for (const char* e = c.Events; *e; ++e) {
            if (*e == ' ') continue;
            got.push_back(Text(*e == 'r' ? pipeline.Read() : pipeline.Encoded()));
        }
        EXPECT_EQ(got, c.Expected);
        EXPECT_EQ(pipeline.DoneCount(), c.Count);
        EXPECT_EQ(pipeline.Reading(), -1);
        EXPECT_EQ(pipeline.Encoding(), -1);
    }
}
