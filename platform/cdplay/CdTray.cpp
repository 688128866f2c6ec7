#include "CdTray.h"

#include "CdLibrary.h"
#include "DriveFaults.h"
#include "DriveSources.h"

#include "DetachedWorkers.h"

#include <cdio/cdio.h>
#include <condition_variable>
#include <deque>
#include <mutex>

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

struct TCdTray::TState {
    struct TCommand {
        int DriveIndex;
        bool Open;
    };
    std::function<void(int, bool, TTrayResult)> Report;
    std::mutex Lock;
    std::condition_variable Wake;
    std::deque<TCommand> Commands;
    bool Ending = false;
};

TCdTray::TCdTray(std::function<void(int, bool, TTrayResult)> report)
    : FState(std::make_shared<TState>()) {
    FState->Report = std::move(report);
    RunDetached("tray", [state = FState] { Run(state); });
}

TCdTray::~TCdTray() {
    std::lock_guard lock(FState->Lock);
    FState->Ending = true;
    FState->Commands.clear();
    FState->Wake.notify_all();
}

void TCdTray::Queue(int driveIndex, bool open) {
    std::lock_guard lock(FState->Lock);
    FState->Commands.push_back({driveIndex, open});
    FState->Wake.notify_all();
}

void TCdTray::Run(const std::shared_ptr<TState>& state) {
    TState& s = *state;
    for (;;) {
        TState::TCommand command;
        {
            std::unique_lock lock(s.Lock);
            s.Wake.wait(lock, [&s] { return s.Ending || !s.Commands.empty(); });
            if (s.Ending) return;
            command = s.Commands.front();
            s.Commands.pop_front();
        }
        const TTrayResult result = MoveDriveTray(command.DriveIndex, command.Open);
        // Under the lock: once the tray object is gone, nobody hears of it.
        std::lock_guard lock(s.Lock);
        if (!s.Ending && s.Report) s.Report(command.DriveIndex, command.Open, result);
    }
}

} // namespace bw
