// Opens and closes the tray of a CD drive. The commands run one after another on a thread
// of their own, since a tray takes seconds to move and the caller must not wait for it.
// An image drive has no tray (the commands do nothing there) unless its simulated faults give
// it one.
#pragma once

#include <functional>
#include <memory>

namespace bw {

enum class TTrayResult { Done, NoTray, Failed };

// Moves the tray of the listed drive (index into the drive list) and returns when it has
// moved. NoTray for an image drive or an index that names no drive.
TTrayResult MoveDriveTray(int driveIndex, bool open);

class TCdTray {
public:
    // report, when given, hears each command's outcome on the tray's thread; never once the
    // tray object is gone.
    explicit TCdTray(std::function<void(int driveIndex, bool open, TTrayResult)> report = {});
    // Drops the commands not yet begun and returns at once: a tray still moving ends its
    // command on the tray's thread, which then ends.
    ~TCdTray();
    TCdTray(const TCdTray&) = delete;
    TCdTray& operator=(const TCdTray&) = delete;

    void Open(int driveIndex) { Queue(driveIndex, true); }
    void Close(int driveIndex) { Queue(driveIndex, false); }

private:
    struct TState;
    void Queue(int driveIndex, bool open);
    static void Run(const std::shared_ptr<TState>& state);

    std::shared_ptr<TState> FState;
};

} // namespace bw
