#include "DiscReader.h"

#include "CdTextFields.h"
#include "DiscIdentity.h"
#include "akrip32.h"

namespace bw {

void ReadDiscOfDrive(TDiscRead& read, const std::function<void(int handle)>& opened) {
    if (read.Handle == 0) {
        const TCDList list = ReadDriveList();
        read.DriveCount = list.Count;
        if (read.DriveIndex < 0 || read.DriveIndex >= list.Count) return;
        const TCDEntry& entry = list.Entries[read.DriveIndex];
        read.DriveName = DriveDisplayName(entry);
        read.SourcePath = GetCDSource(entry);
        read.IsImage = entry.HostAdapter != 0;
        read.Handle = GetCDHandleRecovering(HandleRequestFor(entry));
        if (read.Handle == 0) {
            read.AccessProblem = GetCDAccessProblem(entry);
            return;
        }
        read.Opened = true;
        if (opened) opened(read.Handle);
    }
    ModifyCDParms(read.Handle, CDP_MSF, 1);
    read.HasTOC = ReadTOC(read.Handle, &read.TOC) == 1;
    if (read.HasTOC) {
        read.DiscKey = DiscKeyOfTOC(read.TOC);
        // Reads a few seconds of the first track's pregap, once per disc.
        read.HiddenSectors = GetCDHiddenTrack(read.Handle);
        // The catalogue number and ISRCs come from the drive's sub-channel, slowly: read here,
        // once per disc, so that a rip window finds them without waiting.
        TCDCodes codes;
        GetCDCodes(read.Handle, codes);
        ReadDiscCdText(read.Handle, read.Text);
    }
    read.DiscError = GetCDDiscError(read.Handle);
}

TDiscReader::TDiscReader(TDone done) : FDone(std::move(done)), FThread([this] { Run(); }) {}

TDiscReader::~TDiscReader() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
        if (FInFlight != 0) {
            // The worker must not close the number again: it may be another opener's by then.
            CloseCDHandle(FInFlight);
            FCutOff = true;
        }
        FInFlight = 0;
    }
    FWake.notify_all();
    FThread.join();
}

void TDiscReader::Start(TDiscRead read) {
    {
        std::lock_guard lock(FLock);
        FPending = std::move(read);
        if (FInFlight != 0) {
            CloseCDHandle(FInFlight);
            FInFlight = 0;
            FCutOff = true;
        }
    }
    FWake.notify_all();
}

void TDiscReader::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStopping || FPending; });
        if (FStopping) return;
        TDiscRead read = std::move(*FPending);
        FPending.reset();
        FCutOff = false;
        lock.unlock();
        try {
            ReadDiscOfDrive(read, [this](int handle) {
                std::lock_guard held(FLock);
                // Stopped or replaced before the drive even opened: nothing will wait on it.
                if (FStopping || FPending) {
                    CloseCDHandle(handle);
                    FCutOff = true;
                } else {
                    FInFlight = handle;
                }
            });
        } catch (const std::exception& e) {
            read.HasTOC = false;
            read.DiscError = e.what();
        }
        lock.lock();
        FInFlight = 0;
        if (FCutOff && read.Opened) {
            // Closed here already; the number may belong to another opener by now.
            read.Handle = 0;
            read.Opened = false;
        }
        if (FStopping) {
            if (read.Opened) CloseCDHandle(read.Handle);
            return;
        }
        lock.unlock();
        FDone(std::move(read));
        lock.lock();
    }
}

} // namespace bw
