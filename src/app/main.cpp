// Program start: one running program per user. A second start asks the running one to
// come to the front and exits; the first creates the main window and runs until it closes.
#include <QApplication>
#include <QDateTime>
#include <QLoggingCategory>
#include <QTimer>
#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CodecLibraries.h"
#include "DetachedWorkers.h"
#include "DisplayCheck.h"
#include "Main.h"
#include "QtMainThread.h"
#include "QtMessages.h"
#include "SingleInstance.h"
#include "UsedLibraries.h"

Q_LOGGING_CATEGORY(lcStartup, "brindlewave.startup", QtInfoMsg)

namespace {

// --version and --help answer on the terminal without starting a window or asking a
// running copy to come forward. Returns true when one of them was given.
bool AnsweredOnTheTerminal(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("brindlewave %s\n", BW_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: brindlewave [--version | --help]\n"
                        "Rips audio CDs and converts audio files. The window lists the tracks "
                        "of the\ndisc in the first CD drive; see 'man brindlewave' and the user "
                        "guide (F1).\nbrindlewave-cli does the same work without a display.\n\n%s",
                        bw::UsedLibrariesText().c_str());
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (AnsweredOnTheTerminal(argc, argv)) return 0;
    bw::ExitUnlessDisplayCanOpen();
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
    bw::DisplayOpened();
    QApplication::setApplicationName(QStringLiteral("Brindlewave"));
    QApplication::setOrganizationName(QStringLiteral("Vellamor"));
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vellamor.Brindlewave"));

    bw::TQtMainThreadPump pump;
    int status = 0;
    {
        bw::TfrmMain frmMain;
        bw::TQtMessageTarget target(&frmMain);
        instance.Listen(&target);
        frmMain.show();
        QTimer::singleShot(0, &frmMain, [] {
            qCDebug(lcStartup) << "window shown at" << QDateTime::currentMSecsSinceEpoch();
        });
        status = QApplication::exec();
    }
    // Workers the window let go of (a stopped play, a stopped rip, a probe) end on their own;
    // none may run while the program's static objects are destroyed. A drive stuck in a
    // command may hold one for long: the process then ends without destroying them.
    if (!bw::WaitForAllDetached(std::chrono::seconds(10))) {
        qWarning("A drive did not answer; leaving without waiting for it.");
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
