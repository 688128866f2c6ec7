#include "About.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bw {

QString ProgramNameAndVersion() {
    return QStringLiteral("Brindlewave ") + QStringLiteral(BW_VERSION);
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    lProgram = new QLabel(QStringLiteral("<b>%1</b>").arg(ProgramNameAndVersion()), this);
    lProgram->setTextFormat(Qt::RichText);
    QFont big = lProgram->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    lProgram->setFont(big);
    lPurpose = new QLabel(QStringLiteral("Rips audio CDs to MP3, Ogg Vorbis, FLAC, WAV, WMA and "
                                         "APE files with their titles, and converts audio files."),
                          this);
    lPurpose->setWordWrap(true);
    lHomePage = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(ProgramHomePage), this);
    lHomePage->setTextFormat(Qt::RichText);
    lHomePage->setOpenExternalLinks(true);
    lHomePage->setTextInteractionFlags(Qt::TextBrowserInteraction);

    QString libraries = QStringLiteral("Built on:<table cellspacing=\"2\">");
    for (const TLibraryLicence& library : UsedLibraries) {
        libraries += QStringLiteral("<tr><td>%1</td><td>&nbsp;%2</td><td>&nbsp;%3</td></tr>")
                         .arg(QString::fromUtf8(library.Library), QString::fromUtf8(library.Use),
                              QString::fromUtf8(library.Licence));
    }
    libraries += QStringLiteral("</table>");
    lLibraries = new QLabel(libraries, this);
    lLibraries->setTextFormat(Qt::RichText);

    btOk = new QPushButton(QStringLiteral("OK"), this);
    btOk->setDefault(true);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lProgram);
    layout->addWidget(lPurpose);
    layout->addWidget(lHomePage);
    layout->addSpacing(8);
    layout->addWidget(lLibraries);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace bw
