#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "EditTrackName.h"
#include "QtTestApp.h"

using bw::TfrmEditTrackName;

class EditTrackNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        bwtest::QtApp();
        FDialog = std::make_unique<TfrmEditTrackName>();
        Dlg().eName->setText(QStringLiteral("Track03"));
        Dlg().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dlg()));
    }

    std::unique_ptr<TfrmEditTrackName> FDialog;
    TfrmEditTrackName& Dlg() { return *FDialog; }
};

TEST_F(EditTrackNameTest, ShowsFixedTextsAndSelectsTheTitle) {
    EXPECT_EQ(Dlg().windowTitle(), "Edit Track's Title");
    EXPECT_EQ(Dlg().gbName->title(), "Please enter the new track title");
    EXPECT_EQ(Dlg().btOk->text(), "&OK");
    EXPECT_EQ(Dlg().btCancel->text(), "&Cancel");
    EXPECT_EQ(Dlg().eName->selectedText(), "Track03");
    EXPECT_EQ(QApplication::focusWidget(), Dlg().eName);
    EXPECT_TRUE(Dlg().btOk->isEnabled());
}

TEST_F(EditTrackNameTest, EmptyTitleDisablesOkAndEnterDoesNothing) {
    QTest::keyClick(Dlg().eName, Qt::Key_Delete); // the whole title is selected
    EXPECT_TRUE(Dlg().eName->text().isEmpty());
    EXPECT_FALSE(Dlg().aOK->isEnabled());
    EXPECT_FALSE(Dlg().btOk->isEnabled());
    QTest::keyClick(Dlg().eName, Qt::Key_Return);
    QTest::keyClick(Dlg().eName, Qt::Key_Enter);
    EXPECT_TRUE(Dlg().isVisible());
    EXPECT_EQ(Dlg().result(), 0);

    QTest::keyClicks(Dlg().eName, QStringLiteral("x"));
    EXPECT_TRUE(Dlg().aOK->isEnabled());
}

TEST_F(EditTrackNameTest, EnterAcceptsTypedTitle) {
    QTest::keyClicks(Dlg().eName, QStringLiteral("Blue Moon"));
    QTest::keyClick(Dlg().eName, Qt::Key_Return);
    EXPECT_FALSE(Dlg().isVisible());
    EXPECT_EQ(Dlg().result(), QDialog::Accepted);
    EXPECT_EQ(Dlg().eName->text(), "Blue Moon");
}

TEST_F(EditTrackNameTest, TitlesAFileCannotBearAreStillAccepted) {
    Dlg().eName->setText(QStringLiteral("AC/DC: ../live?"));
    QTest::mouseClick(Dlg().btOk, Qt::LeftButton);
    EXPECT_EQ(Dlg().result(), QDialog::Accepted);
    EXPECT_EQ(Dlg().eName->text(), "AC/DC: ../live?");
}

TEST_F(EditTrackNameTest, CancelAndEscapeReject) {
    QTest::mouseClick(Dlg().btCancel, Qt::LeftButton);
    EXPECT_EQ(Dlg().result(), QDialog::Rejected);
    EXPECT_FALSE(Dlg().isVisible());

    Dlg().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dlg()));
    QTest::keyClick(Dlg().eName, Qt::Key_Escape);
    EXPECT_EQ(Dlg().result(), QDialog::Rejected);
}
