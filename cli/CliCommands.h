// The commands of brindlewave-cli. Each lives in a file of its own (Cmd<Name>.cpp) and is
// listed once in the table of main.cpp.
#pragma once

#include <string>

namespace bw {
class TRipReport;
}

namespace bw::cli {

struct TCliCommand {
    const char* Name;
    const char* Summary;
    // Parses its own options (argv[0] is the command name); returns the exit status.
    int (*Run)(int argc, char** argv);
};

// Prints "brindlewave-cli: <command>: <message>" on stderr and returns the exit status, for
// `return Fail(...)`: 2 while the command is still reading its command line (a wrong command
// line), 1 once it has called CommandLineRead().
int Fail(const std::string& command, const std::string& message);

// Marks the end of a command's option and argument checks: later failures exit 1. Opening a
// drive marks it too.
void CommandLineRead();

// Parses a whole decimal integer; false when the text is not one.
bool ParseInt(const std::string& text, int& value);

// Prints each track's AccurateRip verdict and the summary line on stdout.
void PrintAccurateRipResults(const bw::TRipReport& report);

// Prints the CUETools database's line for the disc and each track's verdict on stdout.
void PrintCtdbResults(const bw::TRipReport& report);

// The tracks the CUETools database says differ or match nothing: each named on stderr.
int CtdbFailures(const std::string& command, const bw::TRipReport& report);

} // namespace bw::cli
