#include "CdLibrary.h"
#include "CdFaults.h"
#include "CdImage.h"
#include "DriveSources.h"
#include "TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace bw;

namespace {

using bwtest::ImageDrives;

TCDList DriveList(std::uint8_t capacity = 8) {
    TCDList list;
    std::memset(&list, 0, sizeof list);
    list.Capacity = capacity;
    GetCDList(&list);
    return list;
}

// Index of the first image drive in the list (physical drives come first).
int FirstImageIndex(const TCDList& list) {
    for (int i = 0; i < list.Count; ++i)
        if (std::string(list.Entries[i].Vendor) == "IMAGE   ") return i;
    return -1;
}

TGetCDHandle RequestFor(const TCDEntry& entry) {
    TGetCDHandle request;
    std::memset(&request, 0, sizeof request);
    request.Size = sizeof request;
    request.Version = 1;
    request.HostAdapter = entry.HostAdapter;
    request.Target = entry.Target;
    request.Lun = entry.Lun;
    return request;
}

// Opens the single image drive of the environment.
int OpenImage() {
    TCDList list = DriveList();
    int index = FirstImageIndex(list);
    if (index < 0) return 0;
    TGetCDHandle request = RequestFor(list.Entries[index]);
    return GetCDHandle(&request);
}

class HandleGuard {
public:
    explicit HandleGuard(int handle) : FHandle(handle) {}
    ~HandleGuard() {
        if (FHandle) CloseCDHandle(FHandle);
    }
    int Get() const { return FHandle; }

private:
    int FHandle;
};

int Frames(const TTOCTrack& entry) {
    return entry.Address[1] * 4500 + entry.Address[2] * 75 + entry.Address[3];
}

std::vector<std::uint8_t> ReadSectors(int handle, std::uint32_t start, std::uint32_t count,
                                      int* result) {
    TReadRequestBuffer buffer(count);
    buffer.Request()->StartSector = start;
    *result = ReadCDAudioLBA(handle, buffer.Request());
    if (*result != 1) return {};
    const std::uint8_t* data = buffer.ReturnedData();
    return {data, data + buffer.Request()->ReturnedBytes};
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, int fromSector,
                                int sectors) {
    auto first = bytes.begin() + std::ptrdiff_t(fromSector) * bwtest::SectorBytes;
    return {first, first + std::ptrdiff_t(sectors) * bwtest::SectorBytes};
}

} // namespace

TEST(DriveSources, SplitsTheImageListAndSkipsEmptyParts) {
    EXPECT_EQ(SplitImageList(""), std::vector<std::string>{});
    EXPECT_EQ(SplitImageList("/a.cue"), std::vector<std::string>{"/a.cue"});
    EXPECT_EQ(SplitImageList(":/a.cue::/b b.toc:"),
              (std::vector<std::string>{"/a.cue", "/b b.toc"}));
}

TEST(DriveList, ListsImagesAfterPhysicalDrivesWithinCapacity) {
    bwtest::TempDir dir;
    auto a = bwtest::CdImage::Write(dir.Path(), "first", {30});
    auto b = bwtest::CdImage::Write(dir.Path(), "a-rather-long-image-name", {30});
    int physical;
    {
        ImageDrives none("");
        physical = DriveList().Count;
        for (int i = 0; i < physical; ++i)
            EXPECT_NE(std::string(DriveList().Entries[i].Vendor), "IMAGE   ");
    }
    ImageDrives images(a.CuePath().string() + ":" + b.CuePath().string());
    TCDList list = DriveList();
    ASSERT_EQ(list.Count, physical + 2);
    const TCDEntry& first = list.Entries[physical];
    const TCDEntry& second = list.Entries[physical + 1];
    EXPECT_STREQ(first.Vendor, "IMAGE   ");
    EXPECT_STREQ(first.Product, "first.cue");
    EXPECT_STREQ(second.Product, "a-rather-long-im"); // 16 characters fit
    EXPECT_EQ(GetCDSource(first), a.CuePath().string());
    EXPECT_EQ(GetCDSource(second), b.CuePath().string());
    EXPECT_NE(std::make_tuple(first.HostAdapter, first.Target, first.Lun),
              std::make_tuple(second.HostAdapter, second.Target, second.Lun));

    if (physical < 8) {
        TCDList small = DriveList(static_cast<std::uint8_t>(physical + 1));
        EXPECT_EQ(small.Count, physical + 1);
        EXPECT_EQ(small.Entries[physical + 1].Vendor[0], 0) << "nothing past the capacity";
    }
}

TEST(DriveHandles, NumbersFromOneReusedAndLimited) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {20});
    ImageDrives images(image.CuePath().string());
    std::vector<int> handles;
    for (int i = 0; i < CDMaxHandles; ++i)
        handles.push_back(OpenImage());
    for (int i = 0; i < CDMaxHandles; ++i)
        EXPECT_EQ(handles[i], i + 1);
    EXPECT_EQ(OpenImage(), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_TOO_MANY_HANDLES);

    EXPECT_EQ(CloseCDHandle(4), 1);
    EXPECT_EQ(CloseCDHandle(4), 0) << "closing twice fails";
    EXPECT_EQ(GetAspiLibError(), CDERR_BAD_HANDLE);
    EXPECT_EQ(OpenImage(), 4);
    for (int h : handles)
        EXPECT_EQ(CloseCDHandle(h), 1);
    EXPECT_EQ(CloseCDHandle(0), 0);
    EXPECT_EQ(CloseCDHandle(CDMaxHandles + 1), 0);
}

TEST(DriveHandles, RejectsMalformedRequestsAndUnknownDrives) {
    ImageDrives none("");
    TCDEntry entry{};
    entry.HostAdapter = 1;
    entry.Target = 0;
    TGetCDHandle request = RequestFor(entry);
    EXPECT_EQ(GetCDHandle(&request), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_NO_SUCH_DRIVE);
    request.Size = 11;
    EXPECT_EQ(GetCDHandle(&request), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_BAD_ARGUMENT);
    EXPECT_EQ(GetCDHandle(nullptr), 0);
}

TEST(TableOfContents, MsfAndSectorAddressesMatchTheImage) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {1000, 25, 4567});
    ImageDrives images(image.CuePath().string());
    HandleGuard handle(OpenImage());
    ASSERT_NE(handle.Get(), 0);

    TTOC toc;
    ASSERT_EQ(ReadTOC(handle.Get(), &toc), 1);
    EXPECT_EQ(toc.FirstTrack, 1);
    EXPECT_EQ(toc.LastTrack, 3);
    EXPECT_EQ(toc.Length[0] * 256 + toc.Length[1], 2 + 8 * 4);
    // Without the MSF parameter, addresses are big-endian sector numbers.
    for (int t = 1; t <= 4; ++t) {
        const auto& a = toc.Tracks[t - 1].Address;
        EXPECT_EQ((a[0] << 24) | (a[1] << 16) | (a[2] << 8) | a[3], image.TrackStartSector(t));
    }

    ASSERT_EQ(ModifyCDParms(handle.Get(), CDP_MSF, 1), 1);
    ASSERT_EQ(ReadTOC(handle.Get(), &toc), 1);
    for (int t = 1; t <= 3; ++t) {
        EXPECT_EQ(toc.Tracks[t - 1].TrackNumber, t);
        EXPECT_EQ(toc.Tracks[t - 1].AdrControl & 0x04, 0) << "audio track";
        EXPECT_EQ(toc.Tracks[t - 1].Address[0], 0);
        EXPECT_EQ(Frames(toc.Tracks[t - 1]), image.TrackStartSector(t) + 150);
    }
    EXPECT_EQ(toc.Tracks[3].TrackNumber, 0xAA);
    EXPECT_EQ(Frames(toc.Tracks[3]), image.TotalSectors() + 150);
    // 1000 + 25 + 150 = 1175 frames = 00:15:50, as plain numbers rather than BCD.
    EXPECT_EQ(toc.Tracks[2].Address[1], 0);
    EXPECT_EQ(toc.Tracks[2].Address[2], 15);
    EXPECT_EQ(toc.Tracks[2].Address[3], 50);

    EXPECT_EQ(ModifyCDParms(handle.Get(), 37, 1), 0) << "unknown parameter";
    EXPECT_EQ(ModifyCDParms(handle.Get(), CDP_MSF, 2), 0);
    EXPECT_EQ(ModifyCDParms(99, CDP_MSF, 1), 0);
}

TEST(TableOfContents, MissingImageIsADriveWithoutDisc) {
    bwtest::TempDir dir;
    ImageDrives images((dir.Path() / "gone.cue").string());
    HandleGuard handle(OpenImage());
    ASSERT_NE(handle.Get(), 0);
    TTOC toc;
    EXPECT_EQ(ReadTOC(handle.Get(), &toc), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_NO_DISC);
    int result;
    ReadSectors(handle.Get(), 0, 1, &result);
    EXPECT_EQ(result, 0);
}

TEST(AudioReads, DeliverTheImageBytes) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {40, 25, 33});
    ImageDrives images(image.CuePath().string());
    HandleGuard handle(OpenImage());
    ASSERT_NE(handle.Get(), 0);
    int result;
    EXPECT_EQ(ReadSectors(handle.Get(), 0, 10, &result), Slice(image.TrackBytes(1), 0, 10));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadSectors(handle.Get(), 40, 25, &result), image.TrackBytes(2));
    // A read across a track boundary, and the disc's very last sector.
    auto across = ReadSectors(handle.Get(), 35, 10, &result);
    auto expected = Slice(image.TrackBytes(1), 35, 5);
    auto tail = Slice(image.TrackBytes(2), 0, 5);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(across, expected);
    EXPECT_EQ(ReadSectors(handle.Get(), 97, 1, &result), Slice(image.TrackBytes(3), 32, 1));
    EXPECT_EQ(result, 1);

    ReadSectors(handle.Get(), 97, 2, &result);
    EXPECT_EQ(result, 0) << "past the lead-out";
    EXPECT_EQ(GetAspiLibError(), CDERR_OUT_OF_RANGE);

    TReadRequestBuffer small(1);
    small.Request()->SectorCount = 2;
    EXPECT_EQ(ReadCDAudioLBA(handle.Get(), small.Request()), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_BUFFER_TOO_SMALL);
    TReadRequestBuffer stray(1);
    EXPECT_EQ(ReadCDAudioLBA(handle.Get() + 1, stray.Request()), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_BAD_HANDLE);
}

TEST(AudioReads, InjectedFaults) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {50});
    ImageDrives images(image.CuePath().string());
    HandleGuard handle(OpenImage());
    ASSERT_NE(handle.Get(), 0);
    TCDFaults faults;
    faults.RefuseParameters = true;
    faults.FailTOC = true;
    faults.FailReadsFromSector = 20;
    ASSERT_TRUE(SetCDHandleFaults(handle.Get(), faults));
    EXPECT_FALSE(SetCDHandleFaults(handle.Get() + 1, faults));
    EXPECT_EQ(ModifyCDParms(handle.Get(), CDP_MSF, 1), 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_PARAMETER_REFUSED);
    TTOC toc;
    EXPECT_EQ(ReadTOC(handle.Get(), &toc), 0);
    int result;
    EXPECT_EQ(ReadSectors(handle.Get(), 10, 10, &result), Slice(image.TrackBytes(1), 10, 10));
    ReadSectors(handle.Get(), 15, 10, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetAspiLibError(), CDERR_READ_FAILED);
}

TEST(ImageFormats, CdrdaoTocFileReadsLikeItsCueSheet) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {400, 1234});
    // The cue sheet's data file holds little-endian samples: SWAP says so to cdrdao.
    bwtest::WriteFileText(dir / "disc.toc",
                          "CD_DA\n\nTRACK AUDIO\nFILE \"disc.bin\" SWAP 0 00:05:25\n\n"
                          "TRACK AUDIO\nFILE \"disc.bin\" SWAP 00:05:25 00:16:34\n");
    ImageDrives images((dir / "disc.toc").string());
    HandleGuard handle(OpenImage());
    ASSERT_NE(handle.Get(), 0);
    TTOC toc;
    ASSERT_EQ(ModifyCDParms(handle.Get(), CDP_MSF, 1), 1);
    ASSERT_EQ(ReadTOC(handle.Get(), &toc), 1);
    EXPECT_EQ(toc.LastTrack, 2);
    EXPECT_EQ(Frames(toc.Tracks[1]), 400 + 150);
    EXPECT_EQ(Frames(toc.Tracks[2]), 1634 + 150);
    int result;
    EXPECT_EQ(ReadSectors(handle.Get(), 1624, 10, &result), Slice(image.TrackBytes(2), 1224, 10));
}

TEST(ImageFormats, NeroImageReadsLikeItsCueSheet) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {40, 25, 33});
    ImageDrives images(image.WriteNrg(dir / "disc.nrg").string());
    HandleGuard handle(OpenImage());
    ASSERT_NE(handle.Get(), 0);
    TTOC toc;
    ASSERT_EQ(ModifyCDParms(handle.Get(), CDP_MSF, 1), 1);
    ASSERT_EQ(ReadTOC(handle.Get(), &toc), 1);
    ASSERT_EQ(toc.LastTrack, 3);
    for (int t = 1; t <= 3; ++t) {
        EXPECT_EQ(Frames(toc.Tracks[t - 1]), image.TrackStartSector(t) + 150);
        int result;
        EXPECT_EQ(
            ReadSectors(handle.Get(), image.TrackStartSector(t), image.TrackSectors(t), &result),
            image.TrackBytes(t));
    }
    EXPECT_EQ(Frames(toc.Tracks[3]), image.TotalSectors() + 150);
}

// Hidden track one audio is found by reading the pregap: an image's whole, a drive's in a few
// seconds spread over it however long it is; a failing read finds nothing.
TEST(CdLibrary, PregapAudioIsFoundWithinTheProbe) {
    struct Case {
        const char* Name;
        std::int64_t Pregap, SoundFrom, SoundTo; // sectors holding sound: [from, to)
        bool Whole, Fails, Found;
    };
    const Case cases[] = {
        {"drive, long pregap, sound midway", 2250, 1100, 1200, false, false, true},
        {"drive, long pregap, silent", 2250, 0, 0, false, false, false},
        {"drive, short pregap, sound at its end", 100, 99, 100, false, false, true},
        {"image, sound in its last sector only", 2250, 2249, 2250, true, false, true},
        {"drive that cannot read its pregap", 2250, 0, 2250, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::int64_t read = 0;
        bool found = PregapHasAudio(c.Pregap, c.Whole,
                                    [&](std::uint8_t* audio, std::int64_t first, std::uint32_t n) {
                                        read += n;
                                        for (std::int64_t s = first; s < first + n; ++s)
                                            if (s >= c.SoundFrom && s < c.SoundTo)
                                                audio[(s - first) * CDSectorBytes + 7] = 1;
                                        return !c.Fails;
                                    });
        EXPECT_EQ(found, c.Found);
        EXPECT_LE(read, c.Whole ? c.Pregap : HiddenTrackProbeSectors);
    }
}
