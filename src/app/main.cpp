// Program start: one running program per user. A second start asks the running one to
// come to the front and exits; the first creates the main window and runs until it closes.
#include <QApplication>
#include <QDateTime>
#include <QLoggingCategory>
#include <QTimer>
#include <cfenv>

#include "CodecLibraries.h"
#include "Main.h"
#include "QtMainThread.h"
#include "QtMessages.h"
#include "SingleInstance.h"

Q_LOGGING_CATEGORY(lcStartup, "brindlewave.startup", QtInfoMsg)

int main(int argc, char* argv[]) {
    // Codec arithmetic must never trap.
    fedisableexcept(FE_ALL_EXCEPT);
    // The codec and sample-rate libraries live as long as the program.
    const bw::TCodecLibraries codecLibraries;

    // Decided before any window or setting exists, so that a second start touches neither.
    bw::TSingleInstance instance;
    if (!instance.Claim()) {
        if (!instance.NotifyRunning())
            qWarning("Brindlewave is already running but did not answer.");
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindlewave"));
    QApplication::setOrganizationName(QStringLiteral("Vellamor"));

    bw::TQtMainThreadPump pump;
    bw::TfrmMain frmMain;
    bw::TQtMessageTarget target(&frmMain);
    instance.Listen(&target);
    frmMain.show();
    QTimer::singleShot(0, &frmMain, [] {
        qCDebug(lcStartup) << "window shown at" << QDateTime::currentMSecsSinceEpoch();
    });
    return QApplication::exec();
}
