// The options dialog opened offscreen over fresh settings, its boxes and folder pickers
// answered and recorded; shared by the dialog's page tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "AppFixture.h"
#include "OptionSet.h"
#include "QtTestApp.h"
#include "UiShell.h"

namespace bwtest {

// A media layer without a WMA encoder.
class TNoWmaLister : public bw::TWMAFormatLister {
public:
    std::vector<std::string> Codecs() override { return {}; }
    std::vector<std::string> Formats(int) override { return {}; }
};

class OptionsDialogTest : public AppFolders {
protected:
    void SetUp() override {
        AppFolders::SetUp();
        bwtest::QtApp();
        UnsetEnv();
        bw::UiShell().ShowBox = [this](QWidget*, bw::TBoxKind kind, const QString& text) {
            Boxes.push_back(text);
            BoxKinds.push_back(kind);
            return Answer;
        };
        bw::UiShell().BrowseForFolder = [this](QWidget*, const QString& title) {
            PickerTitles.push_back(title);
            return FolderAnswer;
        };
        bw::LoadSaveOptions(true); // the defaults
        std::filesystem::create_directories(bw::Settings.OutputFolder);
    }
    void TearDown() override {
        Dialog.reset();
        bw::ResetUiShell();
        UnsetEnv();
        AppFolders::TearDown();
    }
    static void UnsetEnv() {
        for (const char* name :
             {"BRINDLEWAVE_CD_IMAGES", "BRINDLEWAVE_CD_FAULTS", "BRINDLEWAVE_ACCURATERIP_SERVER"})
            unsetenv(name);
    }
    // Starts over from a new installation's settings, "options.ini" written afresh.
    void FreshSettings() {
        std::filesystem::remove(OptionsPath());
        bw::Settings = bw::TAppSettings{};
        bw::LoadSaveOptions(true);
    }

    bw::TfrmOptions&
    Open(std::unique_ptr<bw::TWMAFormatLister> wma = std::make_unique<TNoWmaLister>()) {
        Dialog = std::make_unique<bw::TfrmOptions>(nullptr, std::move(wma));
        Dialog->show();
        return *Dialog;
    }

    std::unique_ptr<bw::TfrmOptions> Dialog;
    std::vector<QString> Boxes;
    std::vector<bw::TBoxKind> BoxKinds;
    std::vector<QString> PickerTitles;
    QString FolderAnswer;
    bw::TBoxAnswer Answer = bw::TBoxAnswer::Ok;
};

} // namespace bwtest
