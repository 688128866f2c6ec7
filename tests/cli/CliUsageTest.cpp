// The command line's own rules, for every command: a wrong command line exits 2 with a
// message that starts with the program's name; a failure of the work itself exits 1.
#include "CdImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sstream>

using bwtest::RunCommand;
using bwtest::ShellQuote;

TEST(CliUsage, WrongCommandLinesExit2AndSayWhy) {
    bwtest::TempDir dir;
    auto image = bwtest::CdImage::Write(dir.Path(), "disc", {10, 10});
    struct Case {
        const char* Args;
        int Exit;
        const char* Says;
    };
    const Case cases[] = {
        {"rip --format xyz", 2, "brindlewave-cli: rip: unknown format 'xyz'"},
        {"rip --tracks abc", 2, "brindlewave-cli: rip: invalid track list 'abc'"},
        {"rip --normalize 0", 2, "brindlewave-cli: rip: invalid percent '0'"},
        {"rip --bogus", 2, "brindlewave-cli: rip: unrecognized option '--bogus'"},
        {"rip --drive", 2, "brindlewave-cli: rip: option '--drive' requires an argument"},
        {"rip extra", 2, "brindlewave-cli: rip: unexpected argument 'extra'"},
        {"toc extra", 2, "brindlewave-cli: toc: unexpected argument 'extra'"},
        {"toc --drive x", 2, "brindlewave-cli: toc: invalid drive 'x'"},
        {"toc -x", 2, "brindlewave-cli: toc: invalid option -- 'x'"},
        {"drives extra", 2, "brindlewave-cli: drives: unexpected argument 'extra'"},
        {"settings --bogus", 2, "brindlewave-cli: settings: unrecognized option '--bogus'"},
        {"verify", 2, "brindlewave-cli: verify: which files?"},
        {"verify --first-track 0 a.wav", 2, "brindlewave-cli: verify: invalid track '0'"},
        {"musicbrainz --release x", 2, "brindlewave-cli: musicbrainz: bad release number: x"},
        {"musicbrainz --drive -1", 2, "brindlewave-cli: musicbrainz: bad drive index: -1"},
        {"cddb --proxy bogus:abc", 2, "brindlewave-cli: cddb: invalid proxy 'bogus:abc'"},
        {"cddb --proxy :8080", 2, "brindlewave-cli: cddb: invalid proxy ':8080'"},
        {"cddb --proxy host:70000", 2, "brindlewave-cli: cddb: invalid proxy 'host:70000'"},
        {"convert a.wav", 2, "brindlewave-cli: convert: --to FORMAT is required"},
        {"convert --to xyz a.wav", 2, "brindlewave-cli: convert: unknown format 'xyz'"},
        {"nosuch", 2, "brindlewave-cli: unknown command 'nosuch'"},
        {"", 2, "Usage: brindlewave-cli"},
        // The help names every library the program is built on.
        {"--help", 0, "TagLib (tags of every format)"},
        // The command line is right; the work fails.
        {"toc --drive 5", 1, "brindlewave-cli: toc: there is no drive 5"},
        {"rip --tracks 7 -o out", 1, "brindlewave-cli: rip: track 7: the disc has tracks 1 to 2"},
        {"verify /nonexistent.wav", 1, "01 /nonexistent.wav: not checked: cannot open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args);
        auto r = RunCommand("cd " + ShellQuote(dir.Path().string()) +
                            " && XDG_CONFIG_HOME=config BRINDLEWAVE_ACCURATERIP_SERVER=127.0.0.1:9 "
                            "BRINDLEWAVE_CD_IMAGES=" +
                            ShellQuote(image.CuePath().string()) + " " + BW_CLI + " " + c.Args);
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Output;
        // A wrong command line says so first; work that fails may have printed before.
        if (c.Exit == 2)
            EXPECT_EQ(r.Output.rfind(c.Says, 0), 0u) << r.Output;
        else
            EXPECT_NE(r.Output.find(c.Says), std::string::npos) << r.Output;
    }
}

// The bash completion, as bash runs it: a command's own options, and the names its options
// take, read from the program's help.
TEST(CliUsage, BashCompletesFromTheCommandsOwnHelp) {
    if (!bwtest::HaveTool("bash")) GTEST_SKIP() << "no bash";
    struct Case {
        const char* Words; // as typed; the last is the word being completed
        const char* Offers;
    };
    const Case cases[] = {
        {"rip --format ''", "mp3 wav ogg wma flac ape opus"},
        {"rip -f f", "flac"},
        {"rip --",
         "--drive --force --format --help --keep-wav --log --no-ctdb --normalize --output "
         "--quiet --secure --template --tracks"},
        {"cddb --", "--drive --help --proxy --quiet --save --script --server"},
        {"convert --to ima", "ima-adpcm"},
        {"convert --to o", "ogg opus"},
        {"convert --al", "--album"},
        {"''", "settings drives toc rip cddb musicbrainz verify repair offset convert"},
        {"repair --", "--help --output --quiet --server"},
        {"offset --", "--drive --help --quiet --save"},
        {"-", "--quiet --version --help"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Words);
        const std::string script =
            std::string("source ") + BW_SOURCE_DIR +
            "/dist/brindlewave-cli.bash-completion; COMP_WORDS=(" + BW_CLI + " " + c.Words +
            "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _brindlewave_cli; echo \"${COMPREPLY[*]}\"";
        auto r = RunCommand("bash -c " + ShellQuote(script));
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_EQ(r.Output, std::string(c.Offers) + "\n");
    }
}
