// The main window: noticing disc changes without asking the drive again and again. A
// physical drive is looked at when udev tells of a media change, an image drive when its
// files change; only where neither can tell is the drive asked at an interval. While a rip
// or a play has the drive, nothing else touches it: the watcher and the window's own reads
// wait, and look once when the drive is free again.
#include "Main.h"
#include "MainSupport.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSocketNotifier>

#include "DetachedWorkers.h"
#include "MediaWatcher.h"
#include "UdevMedia.h"

namespace bw {

using namespace mainwindow;

void TfrmMain::StartMediaWatch(int intervalMs) {
    FWatchInterval = intervalMs;
    if (FMediaWatcher) FMediaWatcher->Stop();
    WatchDriveEvents();
    const bool told = FDriveIsImage ? FImageWatch != nullptr : FUdev != nullptr;
    // The watch is of this drive: its changes carry the drive's serial, and its probe asks
    // only this drive (the window may be gone by the time a cut-off probe returns).
    const int index = FDriveIndex;
    const std::uint64_t drive = FDriveSerial;
    FMediaWatcher = std::make_unique<TMediaWatcher>(
        [index](TCutOff& cut) { return DiscKeyOfListedDrive(index, cut); },
        [this, drive](int event) {
            QMetaObject::invokeMethod(
                this, [this, event, drive] { WMDeviceChange(event, DBT_DEVTYP_VOLUME, drive); },
                Qt::QueuedConnection);
        },
        std::chrono::milliseconds(told ? 0 : intervalMs));
    FMediaWatcher->SetHeld(DriveBusy() || FReading);
    FMediaWatcher->Start(FListedDiscKey);
}

void TfrmMain::WatchDriveEvents() {
    delete FImageWatch;
    FImageWatch = nullptr;
    FUdevNode.clear();
    if (FDriveSource.empty()) return;
    if (FDriveIsImage) {
        // The folder too: a file taken away and put back is no longer watched by itself.
        auto* watch = new QFileSystemWatcher(this);
        const QString file = Q(FDriveSource);
        if (!watch->addPath(QFileInfo(file).absolutePath())) {
            delete watch; // no inotify: the interval it is
            return;
        }
        watch->addPath(file);
        auto changed = [this, watch, file] {
            if (QFileInfo::exists(file)) watch->addPath(file);
            if (FMediaWatcher) FMediaWatcher->Poke();
        };
        connect(watch, &QFileSystemWatcher::fileChanged, this, changed);
        connect(watch, &QFileSystemWatcher::directoryChanged, this, changed);
        FImageWatch = watch;
        return;
    }
    if (!FUdevTried) {
        FUdevTried = true;
        std::string why;
        FUdev = TUdevMonitor::Open(why);
        if (FUdev) {
            auto* notifier = new QSocketNotifier(FUdev->Fd(), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, &TfrmMain::TakeUdevEvents);
        } else {
            qCWarning(lcMain).noquote() << "disc changes:" << Q(why) << "- asking the drive every"
                                        << FWatchInterval << "ms instead";
        }
    }
    FUdevNode = CanonicalDeviceNode(FDriveSource);
}

void TfrmMain::TakeUdevEvents() {
    bool changed = false;
    bool drives = false;
    while (auto event = FUdev->Receive()) {
        changed = changed || IsMediaChange(*event, FUdevNode);
        drives = drives || IsDriveSetChange(*event);
    }
    if (changed && FMediaWatcher) FMediaWatcher->Poke();
    if (drives) RelistDrives();
}

void TfrmMain::RelistDrives() {
    ForgetDriveList();
    // Listing opens and asks every drive: on a worker, once per change of the drive set.
    RunDetached("drive list", [window = QPointer<TfrmMain>(this)] {
        const TCDList list = ReadDriveList();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [window, list] {
                if (window) window->FDrives = list;
            },
            Qt::QueuedConnection);
    });
}

void TfrmMain::UpdateDriveHold() {
    if (FMediaWatcher) FMediaWatcher->SetHeld(DriveBusy() || FReading);
    if (DriveBusy() || FHeldRead < 0) return;
    const auto reason = static_cast<TDiscReadReason>(FHeldRead);
    FHeldRead = -1;
    StartDiscRead(reason);
}

} // namespace bw
