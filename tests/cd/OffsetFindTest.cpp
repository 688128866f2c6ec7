// The sliding checksum behind offset finding: at every shift it equals the checksum the rip
// itself computes (TAccurateRipChecksum) over the audio read at that offset.
#include "OffsetFind.h"
#include "AccurateRip.h"
#include "CdImage.h"
#include "DriveFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace bw;
using ::testing::HasSubstr;

TEST(OffsetFind, SlidingChecksumEqualsTheChecksumAtEveryShift) {
    struct Case {
        const char* Name;
        int Sectors;
        bool First, Last;
        int MaxShift;
    };
    const std::vector<Case> cases = {
        {"middle track", 12, false, false, 700},
        {"first track", 12, true, false, 300},
        {"last track", 12, false, true, 300},
        {"only track", 14, true, true, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::uint64_t trackSamples = std::uint64_t(c.Sectors) * 588;
        auto bytes = bwtest::GeneratedAudio(c.Sectors + 4, 3);
        std::vector<std::uint32_t> samples(trackSamples + 2 * std::uint64_t(c.MaxShift));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                         std::uint32_t(bytes[4 * i + 3]) << 24;
        auto sums = SlidingChecksumsV1(samples, trackSamples, c.First, c.Last, c.MaxShift);
        ASSERT_EQ(sums.size(), std::size_t(2 * c.MaxShift + 1));
        for (int shift : {-c.MaxShift, -c.MaxShift + 1, -1, 0, 1, 17, c.MaxShift}) {
            TAccurateRipChecksum whole(trackSamples, c.First, c.Last);
            whole.Add(bytes.data() + 4 * (shift + c.MaxShift), trackSamples * 4);
            EXPECT_EQ(sums[std::size_t(shift + c.MaxShift)], whole.V1()) << "shift " << shift;
        }
    }
}

TEST(OffsetFind, DriveFaultsTakeOffsetNotReadyAndEject) {
    struct Case {
        const char* Text;
        int Offset, NotReady;
        std::int64_t Eject;
        const char* Error; // empty: parses
    };
    const std::vector<Case> cases = {
        {"offset:667", 667, 0, -1, ""},
        {"offset:-1234,notready:15", -1234, 15, -1, ""},
        {"eject:300,speed:4", 0, 0, 300, ""},
        {"offset:+3", 0, 0, -1, "offset:+3"},
        {"offset:6000", 0, 0, -1, "-5880 to 5880"},
        {"notready:-1", 0, 0, -1, "notready:-1"},
        {"eject:x", 0, 0, -1, "eject:x"},
        {"offset", 0, 0, -1, "expected offset:N"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        if (*c.Error) {
            try {
                ParseDriveFaults(c.Text);
                ADD_FAILURE() << "parsed";
            } catch (const EDriveFaults& e) {
                EXPECT_THAT(e.what(), HasSubstr(c.Error));
            }
            continue;
        }
        TDriveFaultList faults = ParseDriveFaults(c.Text);
        EXPECT_EQ(faults.Offset, c.Offset);
        EXPECT_EQ(faults.NotReadySeconds, c.NotReady);
        EXPECT_EQ(faults.EjectAt, c.Eject);
    }
}
