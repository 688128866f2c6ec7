// Points the settings and the program folder into a scratch folder for one test.
#pragma once

#include <cstdlib>
#include <gtest/gtest.h>

#include "Global.h"
#include "TestSupport.h"

class AppFolders : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
        std::filesystem::create_directories(Dir / "program");
        bw::SetProgramFolder(Dir / "program");
        bw::Settings = bw::TAppSettings{};
    }
    void TearDown() override { bw::SetProgramFolder({}); }

    std::filesystem::path OptionsPath() const {
        return Dir / "config" / "Vellamor" / "Brindlewave" / "options.ini";
    }
    void WriteOptions(const std::string& text) {
        std::filesystem::create_directories(OptionsPath().parent_path());
        bwtest::WriteFileText(OptionsPath(), text);
    }

    bwtest::TempDir Dir;
};
