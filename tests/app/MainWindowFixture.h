// A main window test: scratch settings and program folders, answers for every box and
// picker the window may open (recorded for the test to check), and image drives.
#pragma once

#include <QTreeWidget>
#include <memory>
#include <vector>

#include "AppFixture.h"
#include "CdImage.h"
#include "JobReportWindow.h"
#include "Main.h"
#include "QtTestApp.h"
#include "UiShell.h"

struct TShownBox {
    bw::TBoxKind Kind;
    QString Text;
};

class MainWindowTest : public AppFolders {
protected:
    void SetUp() override {
        AppFolders::SetUp();
        unsetenv("BRINDLEWAVE_CD_IMAGES");
        bwtest::QtApp();
        bw::TUiShell& shell = bw::UiShell();
        shell.ShowBox = [this](QWidget*, bw::TBoxKind kind, const QString& text) {
            Boxes.push_back({kind, text});
            return kind == bw::TBoxKind::Question ? QuestionAnswer : bw::TBoxAnswer::Ok;
        };
        shell.BrowseForFolder = [this](QWidget*, const QString& title) {
            PickerTitles.push_back(title);
            return FolderAnswer;
        };
        shell.OpenFiles = [this](QWidget*, const bw::TFileDialogRequest& request) {
            FileRequests.push_back(request);
            return FilesAnswer;
        };
        shell.OpenUrl = [this](const QUrl& url) {
            OpenedUrls.push_back(url);
            return true;
        };
        shell.ShowReport = [this](bw::TfrmJobReport& report) {
            Reports.push_back(report.Summary());
        };
        shell.Notify = [this](const QString& summary, const QString& body, std::function<void()>) {
            Notices.push_back(summary + ": " + body);
            return true;
        };
    }

    void TearDown() override {
        Window.reset();
        bw::ResetUiShell();
        unsetenv("BRINDLEWAVE_CD_IMAGES");
        AppFolders::TearDown();
    }

    // Makes the image the only drive (call before StartWindow).
    void InsertDisc(const bwtest::CdImage& image) {
        setenv("BRINDLEWAVE_CD_IMAGES", image.CuePath().c_str(), 1);
    }

    // Creates and shows the window as program start does, and waits for the drive's read.
    bw::TfrmMain& StartWindow() {
        Window = std::make_unique<bw::TfrmMain>();
        Window->show();
        WaitForDisc();
        return *Window;
    }

    // Waits for the window's read of the disc (off its thread) to be applied.
    void WaitForDisc() {
        EXPECT_TRUE(bwtest::WaitUntil([this] { return !Window->DiscReadRunning(); }));
    }

    void CloseWindow() {
        Window->close();
        Window.reset();
    }

    int Rows() const { return Window->ListView1->topLevelItemCount(); }
    QTreeWidgetItem* Row(int i) const { return Window->ListView1->topLevelItem(i); }
    QString Cell(int row, int column) const { return Row(row)->text(column); }
    bool Ticked(int row) const { return Row(row)->checkState(bw::colNumber) == Qt::Checked; }

    QString LastBox() const { return Boxes.empty() ? QString() : Boxes.back().Text; }

    std::unique_ptr<bw::TfrmMain> Window;
    std::vector<TShownBox> Boxes;
    bw::TBoxAnswer QuestionAnswer = bw::TBoxAnswer::No;
    QString FolderAnswer;
    QStringList FilesAnswer;
    std::vector<QString> PickerTitles;
    std::vector<bw::TFileDialogRequest> FileRequests;
    std::vector<QUrl> OpenedUrls;
    std::vector<bw::TJobSummary> Reports; // of the jobs that ended, in order
    QStringList Notices;                  // desktop notifications sent
};
