#include "DiscReader.h"

#include "CdTextFields.h"
#include "CutOff.h"
#include "DetachedWorkers.h"
#include "DiscIdentity.h"
#include "akrip32.h"

#include <condition_variable>
#include <mutex>
#include <optional>

namespace bw {

namespace {

// Clears a cut-off's hook when the read returns, before its handle can be closed.
struct THookGuard {
    TCutOff* Cut;
    ~THookGuard() {
        if (Cut) Cut->ClearHook();
    }
};

} // namespace

void ReadDiscOfDrive(TDiscRead& read, TCutOff* cut) {
    THookGuard guard{cut};
    auto stopped = [cut] { return cut && cut->IsCut(); };
    if (read.Handle == 0) {
        read.Drives = ReadDriveList();
        read.DriveCount = read.Drives.Count;
        if (read.DriveIndex < 0 || read.DriveIndex >= read.DriveCount) return;
        const TCDEntry& entry = read.Drives.Entries[read.DriveIndex];
        read.DriveName = DriveDisplayName(entry);
        read.SourcePath = GetCDSource(entry);
        read.IsImage = entry.HostAdapter != 0;
        const TGetCDHandle request = HandleRequestFor(entry);
        read.Handle = GetCDHandle(&request);
        if (read.Handle == 0) {
            read.AccessProblem = GetAspiLibError() == CDERR_TOO_MANY_HANDLES
                                     ? DriveOpenProblem(entry)
                                     : GetCDAccessProblem(entry);
            return;
        }
        read.Opened = true;
        // Cut short from now on by cutting the handle: a drive becoming ready lets go at once.
        const int handle = read.Handle;
        if (cut && !cut->SetHook([handle] { CutCDHandle(handle); })) return;
    }
    if (stopped()) return;
    ModifyCDParms(read.Handle, CDP_MSF, 1);
    read.HasTOC = ReadTOC(read.Handle, &read.TOC) == 1;
    if (read.HasTOC && !stopped()) {
        read.DiscKey = DiscKeyOfTOC(read.TOC);
        // Reads a few seconds of the first track's pregap, once per disc.
        read.HiddenSectors = GetCDHiddenTrack(read.Handle);
        // The catalogue number and ISRCs come from the drive's sub-channel, slowly: read here,
        // once per disc, so that a rip window finds them without touching the drive.
        if (!stopped()) GetCDCodes(read.Handle, read.Codes);
        if (!stopped()) ReadDiscCdText(read.Handle, read.Text);
    }
    if (stopped()) read.HasTOC = false;
    read.DiscError = GetCDDiscError(read.Handle);
}

struct TDiscReader::TState {
    TDone Done;
    std::mutex Lock;
    std::condition_variable Wake;
    std::optional<TDiscRead> Pending;
    bool Stopping = false;
    // The read under way: its cut-off, the caller's handle it uses (when it opened none),
    // and whether the caller closed that handle meanwhile (the worker closes it then).
    std::shared_ptr<TCutOff> Cut;
    int Borrowed = 0;
    bool CloseBorrowed = false;
};

TDiscReader::TDiscReader(TDone done) : FState(std::make_shared<TState>()) {
    FState->Done = std::move(done);
    RunDetached("disc read", [state = FState] { Run(state); });
}

TDiscReader::~TDiscReader() {
    {
        std::lock_guard lock(FState->Lock);
        FState->Stopping = true;
        if (FState->Cut) FState->Cut->Cut();
    }
    FState->Wake.notify_all();
}

void TDiscReader::Start(TDiscRead read) {
    {
        std::lock_guard lock(FState->Lock);
        FState->Pending = std::move(read);
        if (FState->Cut) FState->Cut->Cut();
    }
    FState->Wake.notify_all();
}

bool TDiscReader::CloseHandle(int handle) {
    {
        std::lock_guard lock(FState->Lock);
        if (handle != 0 && FState->Cut && FState->Borrowed == handle && !FState->CloseBorrowed) {
            // The read lets go of it at once; the number stays taken until the worker closes
            // it, so that no later opener's handle is touched by that read.
            FState->CloseBorrowed = true;
            FState->Cut->Cut();
            return CutCDHandle(handle) != 0;
        }
    }
    return CloseCDHandle(handle) != 0;
}

void TDiscReader::Run(const std::shared_ptr<TState>& state) {
    TState& s = *state;
    std::unique_lock lock(s.Lock);
    for (;;) {
        s.Wake.wait(lock, [&s] { return s.Stopping || s.Pending; });
        if (s.Stopping) return;
        TDiscRead read = std::move(*s.Pending);
        s.Pending.reset();
        auto cut = std::make_shared<TCutOff>();
        s.Cut = cut;
        s.Borrowed = read.Handle;
        s.CloseBorrowed = false;
        lock.unlock();
        try {
            ReadDiscOfDrive(read, cut.get());
        } catch (const std::exception& e) {
            read.HasTOC = false;
            read.DiscError = e.what();
        }
        lock.lock();
        s.Cut.reset();
        if (s.CloseBorrowed) {
            CloseCDHandle(s.Borrowed);
            read.Handle = 0;
        }
        s.Borrowed = 0;
        s.CloseBorrowed = false;
        if (cut->IsCut()) {
            // Nobody waits for what it found: a handle it opened goes here, never later by a
            // number that may belong to another opener by then.
            if (read.Opened) CloseCDHandle(read.Handle);
            read.Handle = 0;
            read.Opened = false;
            read.HasTOC = false;
        }
        if (s.Stopping) return;
        // Under the lock: once the owner has stopped the reader, nothing more is handed on.
        s.Done(std::move(read));
    }
}

} // namespace bw
