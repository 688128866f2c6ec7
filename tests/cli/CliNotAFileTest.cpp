// What is opened by name must be a file: FIFOs, devices and folders given as inputs, as the
// data of a disc image or found where an output goes are refused with a clear message, and
// never block the program.
#include "CdImage.h"
#include "CliTestSupport.h"

#include <functional>
#include <sys/stat.h>

namespace {

class CliNotAFile : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "out");
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25});
        ASSERT_TRUE(bwtest::MustRun("sox -n -r 44100 -c 2 -b 16 " + Q(Dir / "song.wav") +
                                    " synth 0.5 sine 440 vol 0.3"));
    }
    // The command under a time limit: before the checks, a FIFO held it forever.
    bwtest::CommandResult Cli(const std::string& args, const fs::path& image) {
        return TCliRun{Dir / "config", image, "", BW_CLI, "timeout -k 5 30 "}(args);
    }
    void Fifo(const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path; }

    bwtest::TempDir Dir;
    std::optional<bwtest::CdImage> Image;
};

} // namespace

TEST_F(CliNotAFile, FifosDevicesAndFoldersAreRefusedByName) {
    const std::string fifo = "is a named pipe (FIFO), not a file";
    struct Case {
        const char* Name;
        std::function<void()> Make; // puts the odd thing in place
        std::string Args;
        std::string Says;
        bool UseOwnCue = false; // the image is Dir/odd.cue instead of the generated one
    };
    const std::string out = " -o " + Q(Dir / "out") + " ";
    const std::vector<Case> cases = {
        {"a FIFO to convert", [&] { Fifo(Dir / "pipe.wav"); },
         "convert --to wav" + out + Q(Dir / "pipe.wav"),
         (Dir / "pipe.wav").string() + ": it " + fifo},
        {"a folder to convert", [&] { fs::create_directory(Dir / "folder.wav"); },
         "convert --to flac" + out + Q(Dir / "folder.wav"), "it is a folder, not a file"},
        {"a device to convert", [&] { fs::create_symlink("/dev/zero", Dir / "zero.wav"); },
         "convert --to wav" + out + Q(Dir / "zero.wav"), "it is a device, not a file"},
        {"a FIFO where the FLAC output goes", [&] { Fifo(Dir / "out" / "song.flac"); },
         "convert --force --to flac" + out + Q(Dir / "song.wav"),
         "Cannot create file " + (Dir / "out" / "song.flac").string() + ": it " + fifo},
        {"a FIFO where the APE output goes", [&] { Fifo(Dir / "out" / "song.ape"); },
         "convert --force --to ape" + out + Q(Dir / "song.wav"),
         "Cannot create file " + (Dir / "out" / "song.ape").string() + ": it " + fifo},
        {"a FIFO to verify", [&] { Fifo(Dir / "verify.wav"); }, "verify " + Q(Dir / "verify.wav"),
         (Dir / "verify.wav").string() + " " + fifo},
        {"a FIFO named like a rip's output", [&] { Fifo(Dir / "out" / "Track02.wav"); },
         "rip --tracks 2 --format wav" + out,
         "Cannot create file " + (Dir / "out" / "Track02.wav").string() + ": it " + fifo},
        {"a FIFO as a cue sheet", [&] { Fifo(Dir / "odd.cue"); }, "toc",
         "Not a disc description: " + (Dir / "odd.cue").string(), true},
        {"a cue sheet of 1 TiB", // read whole first, it would take hours
         [&] {
             fs::copy_file(Image->CuePath(), Dir / "odd.cue");
             fs::resize_file(Dir / "odd.cue", 1ull << 40); // sparse: no disc space taken
         },
         "toc", (Dir / "odd.cue").string() + " is too large to be a disc description.", true},
        {"a FIFO as the data of a cue sheet",
         [&] {
             fs::remove(Image->BinPath());
             Fifo(Image->BinPath());
         },
         "toc", "Not a data file: " + Image->BinPath().string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Make();
        auto r = Cli(c.Args, c.UseOwnCue ? Dir / "odd.cue" : Image->CuePath());
        EXPECT_NE(r.ExitCode, 0) << r.Output;
        EXPECT_NE(r.ExitCode, 124) << "still waiting after 30 s";
        EXPECT_THAT(r.Output, HasSubstr(c.Says));
        for (const char* made : {"pipe.wav", "folder.wav", "zero.wav", "verify.wav", "odd.cue"})
            fs::remove(Dir / made);
        fs::remove_all(Dir / "out");
        fs::create_directories(Dir / "out");
        fs::remove(Image->BinPath()); // perhaps a FIFO now
        Image = bwtest::CdImage::Write(Dir.Path(), "disc", {40, 25});
    }
}
