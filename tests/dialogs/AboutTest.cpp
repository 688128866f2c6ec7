#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <gtest/gtest.h>

#include "About.h"
#include "QtTestApp.h"

using namespace bw;

TEST(About, NamesTheProgramItsHomePageAndEveryLibraryWithItsLicence) {
    bwtest::QtApp();
    TfrmAbout about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_TRUE(about.isModal());
    QTextDocument doc;
    doc.setHtml(about.lProgram->text());
    EXPECT_EQ(doc.toPlainText(), "Brindlewave " BW_TEST_VERSION);
    EXPECT_TRUE(about.lHomePage->text().contains(ProgramHomePage));
    EXPECT_TRUE(about.lHomePage->openExternalLinks());
    doc.setHtml(about.lLibraries->text());
    const QString libraries = doc.toPlainText();
    for (const char* name : {"LAME", "libvorbis", "libFLAC", "libsamplerate", "FFmpeg", "libcdio",
                             "libcurl", "Qt", "libpulse", "libopusenc", "TagLib",
                             "libcdio-paranoia", "expat", "Monkey's Audio encoder"})
        EXPECT_TRUE(libraries.contains(QString::fromUtf8(name))) << name;
    for (const TLibraryLicence& library : UsedLibraries)
        EXPECT_TRUE(libraries.contains(QString::fromUtf8(library.Licence))) << library.Library;
    about.show();
    about.btOk->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}
