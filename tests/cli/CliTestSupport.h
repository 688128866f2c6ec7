// Running brindlewave-cli from a test as a user would run it: its own settings folder, and the
// image drives it sees, their faults and the servers it talks to given by its environment.
#pragma once

#include "TestSupport.h"
#include "ToolOracles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using bwtest::RunCommand;
using bwtest::ShellQuote;
using ::testing::HasSubstr;
using ::testing::Not;

// Address sanitizer reserves terabytes of address space: no memory limit can be put on a
// program built with it, nor its peak compared with a plain build's.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool Sanitized = true;
#else
inline constexpr bool Sanitized = false;
#endif
#else
inline constexpr bool Sanitized = false;
#endif

inline std::string Q(const fs::path& p) {
    return ShellQuote(p.string());
}

struct TCliRun {
    TCliRun(fs::path config, fs::path images = {}, std::string env = {},
            std::string program = BW_CLI, std::string wrapper = {})
        : Config(std::move(config)), Images(std::move(images)), Env(std::move(env)),
          Program(std::move(program)), Wrapper(std::move(wrapper)) {}

    fs::path Config;     // XDG_CONFIG_HOME
    fs::path Images;     // BRINDLEWAVE_CD_IMAGES, when not empty
    std::string Env;     // further "NAME=value " settings
    std::string Program; // a copy elsewhere keeps cd.dat and libMACDll.so beside it
    std::string Wrapper; // put before the program: a time limit, a memory gauge

    std::string Line(const std::string& args) const {
        return "XDG_CONFIG_HOME=" + Q(Config) + " " +
               (Images.empty() ? "" : "BRINDLEWAVE_CD_IMAGES=" + Q(Images) + " ") + Env + Wrapper +
               ShellQuote(Program) + " " + args;
    }
    bwtest::CommandResult operator()(const std::string& args) const {
        return RunCommand(Line(args));
    }
};

// A copy of the program in folder/bin, for what it keeps beside itself (cd.dat, the APE
// encoder) and so that tests do not share that folder; returns its path.
inline std::string ProgramCopy(const fs::path& folder) {
    fs::create_directories(folder / "bin");
    fs::copy_file(BW_CLI, folder / "bin" / "brindlewave-cli");
    return (folder / "bin" / "brindlewave-cli").string();
}
