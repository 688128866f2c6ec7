#include "CdTray.h"

#include "CdLibrary.h"
#include "DriveFaults.h"
#include "DriveSources.h"

#include <cdio/cdio.h>

namespace bw {

TTrayResult MoveDriveTray(int driveIndex, bool open) {
    const std::vector<TDriveSource> sources = ListDriveSources();
    if (driveIndex < 0 || driveIndex >= CDMaxDrives ||
        driveIndex >= static_cast<int>(sources.size()))
        return TTrayResult::NoTray;
    const TDriveSource& source = sources[driveIndex];
    if (source.IsImage) {
        // Only an image drive given a simulated tray has one.
        TDriveFaultList faults;
        try {
            faults = DriveFaultsFromEnvironment();
        } catch (const EDriveFaults&) {
            return TTrayResult::NoTray;
        }
        if (!faults.Tray) return TTrayResult::NoTray;
        SetSimulatedTrayOpen(source.Path, open);
        return TTrayResult::Done;
    }
    driver_return_code_t result;
    if (open) {
        result = cdio_eject_media_drive(source.Path.c_str());
    } else {
        driver_id_t driver = DRIVER_DEVICE;
        result = cdio_close_tray(source.Path.c_str(), &driver);
    }
    return result == DRIVER_OP_SUCCESS ? TTrayResult::Done : TTrayResult::Failed;
}

TCdTray::TCdTray(std::function<void(int, bool, TTrayResult)> report)
    : FReport(std::move(report)), FThread([this] { Run(); }) {}

TCdTray::~TCdTray() {
    {
        std::lock_guard lock(FLock);
        FEnding = true;
        FWake.notify_all();
    }
    FThread.join();
}

void TCdTray::Queue(int driveIndex, bool open) {
    std::lock_guard lock(FLock);
    FCommands.push_back({driveIndex, open});
    FWake.notify_all();
}

void TCdTray::Run() {
    for (;;) {
        TCommand command;
        {
            std::unique_lock lock(FLock);
            FWake.wait(lock, [this] { return FEnding || !FCommands.empty(); });
            if (FCommands.empty()) return;
            command = FCommands.front();
            FCommands.pop_front();
        }
        const TTrayResult result = MoveDriveTray(command.DriveIndex, command.Open);
        if (FReport) FReport(command.DriveIndex, command.Open, result);
    }
}

} // namespace bw
