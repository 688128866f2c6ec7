// Opens and closes the tray of a CD drive. The commands run one after another on a thread
// of their own, since a tray takes seconds to move and the caller must not wait for it.
// An image drive has no tray (the commands do nothing there) unless its simulated faults give
// it one.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace bw {

enum class TTrayResult { Done, NoTray, Failed };

// Moves the tray of the listed drive (index into the drive list) and returns when it has
// moved. NoTray for an image drive or an index that names no drive.
TTrayResult MoveDriveTray(int driveIndex, bool open);

class TCdTray {
public:
    // report, when given, hears each command's outcome on the tray's thread.
    explicit TCdTray(std::function<void(int driveIndex, bool open, TTrayResult)> report = {});
    ~TCdTray(); // finishes the commands already given
    TCdTray(const TCdTray&) = delete;
    TCdTray& operator=(const TCdTray&) = delete;

    void Open(int driveIndex) { Queue(driveIndex, true); }
    void Close(int driveIndex) { Queue(driveIndex, false); }

private:
    struct TCommand {
        int DriveIndex;
        bool Open;
    };
    void Queue(int driveIndex, bool open);
    void Run();

    std::function<void(int, bool, TTrayResult)> FReport;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TCommand> FCommands;
    bool FEnding = false;
    std::thread FThread;
};

} // namespace bw
