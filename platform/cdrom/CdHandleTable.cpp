#include "CdHandleTable.h"

namespace bw {

namespace cdlib {

namespace {

// Each thread sees the result of its own calls only: another thread's failure between a
// call and its check must not change what the caller learns (a play's failure read as the
// rip's "disc taken out").
thread_local int LastError = CDERR_NONE;

} // namespace

int Failed(TCDLibError code) {
    LastError = code;
    return 0;
}

int THandleTable::Add(std::shared_ptr<TDriveHandle> handle) {
    std::lock_guard lock(FLock);
    for (int i = 0; i < CDMaxHandles; ++i) {
        if (!FHandles[i]) {
            FHandles[i] = std::move(handle);
            return i + 1;
        }
    }
    return 0;
}

std::shared_ptr<TDriveHandle> THandleTable::Find(int handle) {
    auto drive = FindAny(handle);
    return drive && !drive->Cut ? drive : nullptr;
}

std::shared_ptr<TDriveHandle> THandleTable::FindAny(int handle) {
    std::lock_guard lock(FLock);
    if (handle < 1 || handle > CDMaxHandles) return nullptr;
    return FHandles[handle - 1];
}

bool THandleTable::Remove(int handle) {
    std::lock_guard lock(FLock);
    if (handle < 1 || handle > CDMaxHandles || !FHandles[handle - 1]) return false;
    FHandles[handle - 1].reset();
    return true;
}

THandleTable& Handles() {
    // Never destroyed: a worker left to end on its own may still close its handle at exit.
    static auto* table = new THandleTable;
    return *table;
}

namespace {

void WakeWaits(TDriveHandle& drive) {
    {
        std::lock_guard wake(drive.WakeLock);
        drive.Closed = true;
    }
    drive.Wake.notify_all();
}

} // namespace

} // namespace cdlib

using namespace cdlib;

int CloseCDHandle(int handle) {
    auto drive = Handles().FindAny(handle);
    if (!drive || !Handles().Remove(handle)) return Failed(CDERR_BAD_HANDLE);
    WakeWaits(*drive);
    return 1;
}

int CutCDHandle(int handle) {
    auto drive = Handles().FindAny(handle);
    if (!drive) return Failed(CDERR_BAD_HANDLE);
    drive->Cut = true;
    WakeWaits(*drive);
    return 1;
}

int GetAspiLibError() {
    return LastError;
}

void SetAspiLibError(int code) {
    LastError = code;
}

} // namespace bw
