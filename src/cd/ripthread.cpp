#include "ripthread.h"

#include "CdFaults.h"
#include "DetachedWorkers.h"
#include "FileNameTemplate.h"
#include "Global.h"
#include "ParanoiaReader.h"
#include "WaveHeader.h"
#include "akrip32.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace fs = std::filesystem;

namespace bw {

namespace {

constexpr std::size_t WriteBufferBytes = 1 << 20;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TStdFile = std::unique_ptr<std::FILE, TFileCloser>;

} // namespace

bool WriteWavHeader(int fd, std::uint32_t dataSize) {
    auto header = MakePcmHeader(2, 44100, 16, dataSize);
    return ::pwrite(fd, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size());
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::int16_t ScaleSample(std::int16_t sample, float factor) {
    // The product of a 16-bit sample and a float is exact in double precision, so the
    // rounding below sees the true value; nearbyint rounds half to even.
    double scaled = std::nearbyint(static_cast<double>(sample) * static_cast<double>(factor));
    if (scaled > 32767.0) return 32767;
    if (scaled < -32768.0) return -32768;
    return static_cast<std::int16_t>(scaled);
}

bool Normalize(const fs::path& path, int percent, TMessageTarget* window) {
    if (window) window->PostProgress(999);
    const float factor = static_cast<float>(percent) / 100.0f;
    fs::path temporary = path;
    temporary.replace_extension(".nor");

    std::error_code ec;
    const auto fileSize = fs::file_size(path, ec);
    TStdFile in(std::fopen(path.c_str(), "rb"));
    if (ec || !in) return false;
    TStdFile out(std::fopen(temporary.c_str(), "wb"));
    if (!out) return false;
    auto fail = [&] {
        out.reset();
        fs::remove(temporary, ec);
        return false;
    };

    std::uint8_t header[PcmHeaderSize];
    if (std::fread(header, 1, sizeof header, in.get()) != sizeof header ||
        std::fwrite(header, 1, sizeof header, out.get()) != sizeof header)
        return fail();

    std::uint64_t processed = sizeof header;
    int lastPercent = -1;
    std::uint8_t block[2048];
    for (;;) {
        int progress = fileSize ? static_cast<int>(processed * 100 / fileSize) : 100;
        // One message per changed value is enough for a progress bar.
        if (window && progress != lastPercent) window->PostProgress(progress);
        lastPercent = progress;
        std::size_t n = std::fread(block, 1, sizeof block, in.get());
        if (n == 0) break;
        for (std::size_t i = 0; i + 1 < n; i += 2) {
            auto sample = static_cast<std::int16_t>(block[i] | (block[i + 1] << 8));
            auto scaled = static_cast<std::uint16_t>(ScaleSample(sample, factor));
            block[i] = static_cast<std::uint8_t>(scaled);
            block[i + 1] = static_cast<std::uint8_t>(scaled >> 8);
        }
        if (std::fwrite(block, 1, n, out.get()) != n) return fail();
        processed += n;
    }
    if (std::ferror(in.get())) return fail();
    in.reset();
    if (std::fclose(out.release()) != 0) {
        fs::remove(temporary, ec);
        return false;
    }
    // rename() replaces the WAV in one step, so no moment exists without either file.
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

TCDRipThread::TCDRipThread(int track, std::string title) : Track(track), Title(std::move(title)) {}

TCDRipThread::~TCDRipThread() {
    WaitFor();
}

void TCDRipThread::Start() {
    if (!FThread.joinable())
        FThread = std::thread([this] {
            try {
                Execute();
            } catch (...) {
                // Only an allocation can fail here; report the track as failed rather than
                // leaving the owner waiting.
                PostProgress(1000, 3);
            }
            if (OnTerminate) OnTerminate();
        });
}

void TCDRipThread::WaitFor() {
    if (FThread.joinable()) FThread.join();
}

void TCDRipThread::Post(int msg, std::intptr_t lParam) {
    if (Window) Window->Post(msg, 0, lParam);
}

void TCDRipThread::PostProgress(int percent, int errorCode) {
    if (Window) Window->PostProgress(percent, errorCode);
}

void TCDRipThread::Execute() {
    // A rip stopped a moment ago may still be in a read of the drive (a minute on a scratch):
    // this one waits for it here, off the window's thread, and says so.
    if (DetachedRunning(StoppedRipKind) > 0) {
        PostProgress(RipWaitingForDrive);
        if (!WaitForDetached(StoppedRipKind, &StopRequested)) return;
    }
    if (ModifyCDParms(CDHandle, CDP_MSF, 1) == 0 ||
        ModifyCDParms(CDHandle, CDP_READ_OFFSET, ReadOffset) == 0) {
        Post(WM_RIPFAILED, 1);
        return;
    }
    TTOC toc;
    if (ReadTOC(CDHandle, &toc) != 1) {
        Post(WM_RIPFAILED, 2);
        return;
    }
    // A track the TOC does not hold has no sectors to read: report it as a TOC failure
    // rather than reading at random.
    if (Track < 0 || Track + 1 > TOCEntryCount(toc)) {
        Post(WM_RIPFAILED, 2);
        return;
    }
    // Track 0 is the hidden track: the first track's pregap from the disc's first sector on.
    const int hidden = Track == 0 ? GetCDHiddenTrack(CDHandle) : 0;
    const int trackStart =
        Track == 0 ? -hidden : FramesOf(toc.Tracks[Track - 1]) - FramesOf(toc.Tracks[0]);
    const int trackLength = Track == 0 ? hidden : TOCTrackFrames(toc, Track - 1);
    if ((trackStart < 0 && Track != 0) || trackLength <= 0) {
        Post(WM_RIPFAILED, 2);
        return;
    }
    FDiscFirst = std::min(trackStart, 0);
    FDiscEnd = FramesOf(toc.Tracks[TOCEntryCount(toc) - 1]) - FramesOf(toc.Tracks[0]);
    RipToWav(OutputPath.empty()
                 ? fs::path(AddTrailingBackslash(Settings.OutputFolder) + Title + ".wav")
                 : OutputPath,
             trackStart, trackLength);
}

void TCDRipThread::RipToWav(const fs::path& path, int start, int total) {
    // The title may come from a CDDB server: anything but plain names could place the file
    // outside the output folder, so such a title is a name no file can have.
    if (IsSafeRelativePath(Title)) {
        // The file name template may put the file in folders of its own, within an output
        // folder that exists (a missing output folder stays an error).
        std::error_code ec;
        if (Title.find('/') != std::string::npos && fs::is_directory(Settings.OutputFolder, ec))
            fs::create_directories(path.parent_path(), ec);
        // Open without truncating: a file that someone else holds locked must stay intact.
        Stream = OpenShared(path, O_WRONLY | O_CREAT, TShareMode::DenyAll);
        if (Stream.IsOpen() && ::ftruncate(Stream.Fd(), 0) != 0) Stream.Close();
    }
    if (!Stream.IsOpen()) {
        PostProgress(1000, 5);
        return;
    }
    bool failed =
        !WriteWavHeader(Stream.Fd(), 0) || ::lseek(Stream.Fd(), PcmHeaderSize, SEEK_SET) < 0;
    if (failed) FWriteError = errno;

    if (!failed)
        failed = Settings.ReadMode == 1 ? !ReadSecure(start, total) : !ReadPlain(start, total);
    if (!FlushPending()) failed = true;
    // What failed is told: a file that cannot be written is no read error.
    if (failed && FWriteError != 0)
        Failure = "Cannot write to " + path.string() + ": " + std::strerror(FWriteError) + ".";
    if (failed) {
        // The sectors read so far stay; the header keeps saying 0 data bytes.
        Stream.Close();
        PostProgress(1000, 3);
        return;
    }
    struct stat info {};
    if (::fstat(Stream.Fd(), &info) != 0 ||
        !WriteWavHeader(Stream.Fd(), static_cast<std::uint32_t>(info.st_size - PcmHeaderSize))) {
        Stream.Close();
        PostProgress(1000, 3);
        return;
    }
    Stream.Close();
    if (StopRequested) return;
    if (Settings.IsNormalize && !Normalize(path, Settings.NormalizePercent, Window)) return;
    PostProgress(1000, 0);
}

bool TCDRipThread::ReadPlain(int start, int total) {
    const auto began = std::chrono::steady_clock::now();
    Stats = TTrackReadStats();
    uLong crc = crc32_z(0, nullptr, 0);
    int peak = 0;
    int done = 0;
    for (;;) {
        int n = total - done >= RipBlockSectors ? RipBlockSectors : total % RipBlockSectors;
        if (ReadSectors(start + done, n) != 1 && !RereadSectors(start + done, n, start)) {
            // The failed block still counts as passed, as the bar has always shown it.
            PostProgress((done + n) * 100 / total);
            return false;
        }
        // The block just read is the tail of the pending audio.
        const std::size_t bytes = std::size_t(n) * CDSectorBytes;
        const std::uint8_t* block = FPending.data() + FPending.size() - bytes;
        crc = crc32_z(crc, block, bytes);
        peak = std::max(peak, PeakOf(block, bytes));
        done += n;
        PostProgress(done * 100 / total);
        if (done == total || StopRequested) break;
    }
    Stats.CopyCrc = static_cast<std::uint32_t>(crc);
    Stats.PeakPercent = peak * 100.0 / 32768;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    Stats.ReadSpeed = seconds > 0 ? done / 75.0 / seconds : 0;
    return true;
}

bool TCDRipThread::ReadSecure(int start, int total) {
    TSecureReadSettings settings;
    // Limits from a hand-edited file stay within what a rip can afford.
    settings.MaxRereads = std::clamp(Settings.MaxRereads, 2, 1000);
    settings.MaxRetries = std::clamp(Settings.MaxRetries, 0, 100);
    // Reading twice, fewer and larger requests keep the cost of each low.
    settings.BlockSectors = SecureBlockSectors;
    settings.CacheSectors = SecureCacheSectors;
    TSecureTrackReader::TRead read, reread;
    TCDHandleSource source;
    std::shared_ptr<TParanoiaReader> paranoia;
    if (GetCDHandleSource(CDHandle, source) && source.ThroughLibcdio) {
        // A physical drive (or an image libcdio opens) is read straight for the two passes,
        // and through paranoia, which also copes with jitter and scratches, where they differ.
        try {
            paranoia = std::make_shared<TParanoiaReader>(source.Path, source.IsImage, ReadOffset);
        } catch (const EParanoia& e) {
            Failure = e.what();
            return false;
        }
        read = [paranoia](std::uint8_t* audio, int first, int count) {
            return paranoia->Read(audio, first, count);
        };
        reread = [paranoia](std::uint8_t* audio, int first, int count) {
            return paranoia->ReadVerified(audio, first, count);
        };
        settings.DiscFirst = paranoia->DiscFirst();
        settings.DiscEnd = paranoia->DiscEnd();
    } else {
        auto request = std::make_shared<TReadRequestBuffer>(SecureBlockSectors);
        read = [this, request](std::uint8_t* audio, int first, int count) {
            request->Request()->SectorCount = static_cast<std::uint32_t>(count);
            request->Request()->StartSector = static_cast<std::uint32_t>(first);
            if (ReadCDAudioLBA(CDHandle, request->Request()) != 1)
                return GetAspiLibError() == CDERR_NO_DISC ? TDriveRead::Gone : TDriveRead::Failed;
            std::memcpy(audio, request->ReturnedData(), std::size_t(count) * CDSectorBytes);
            return TDriveRead::Ok;
        };
        settings.DiscFirst = FDiscFirst;
        settings.DiscEnd = FDiscEnd;
    }
    TSecureTrackReader reader(settings, read, reread);
    auto append = [this](const std::uint8_t* audio, std::size_t bytes) {
        if (FPending.size() + bytes > WriteBufferBytes && !FlushPending()) return false;
        FPending.insert(FPending.end(), audio, audio + bytes);
        return true;
    };
    auto patch = [this](int sector, const std::uint8_t* audio) {
        if (!FlushPending()) return false;
        const off_t at = PcmHeaderSize + off_t(sector) * CDSectorBytes;
        if (::pwrite(Stream.Fd(), audio, CDSectorBytes, at) == CDSectorBytes) return true;
        FWriteError = errno ? errno : EIO;
        return false;
    };
    auto progress = [this, last = -1](int percent) mutable {
        if (percent != last) PostProgress(std::max(1, percent));
        last = percent;
    };
    const bool done = reader.ReadTrack(start, total, append, patch, progress, StopRequested, Stats);
    Stats.Paranoia = paranoia != nullptr;
    if (Stats.DiscGone) {
        DiscGone = true;
        ReadError = "the disc was taken out of the drive";
        // The drive's own handle learns it too, as a plain read would have told it.
        if (paranoia) SetCDHandleEjected(CDHandle);
        return false;
    }
    // Stopped: what was written stays, as in a plain rip.
    return done || StopRequested.load();
}

bool TCDRipThread::Pause(int milliseconds) {
    // In short steps, so that Stop ends the rip at once.
    for (int waited = 0; waited < milliseconds && !StopRequested; waited += 25)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return !StopRequested;
}

bool TCDRipThread::RereadSectors(int start, int count, int trackStart) {
    for (int sector = start; sector < start + count; ++sector) {
        bool read = false;
        for (int attempt = 0; attempt < PlainSectorRetries && !read; ++attempt) {
            if (attempt > 0 && !Pause(PlainRetryPauseMs)) return false;
            read = ReadSectors(sector, 1) == 1;
            if (!read && GetAspiLibError() == CDERR_NO_DISC) {
                DiscGone = true;
                ReadError = "the disc was taken out of the drive";
                return false;
            }
        }
        if (StopRequested) return false;
        if (!read) {
            const int at = sector - trackStart;
            ReadError = "the audio at " + TwoDigits(at / 4500) + ":" + TwoDigits(at / 75 % 60) +
                        "." + TwoDigits(at % 75) + " cannot be read";
            return false;
        }
    }
    return true;
}

int TCDRipThread::ReadSectors(int start, int count) {
    TReadRequestBuffer request(static_cast<std::uint32_t>(count));
    request.Request()->StartSector = static_cast<std::uint32_t>(start);
    int result = ReadCDAudioLBA(CDHandle, request.Request());
    if (result != 1) return result;
    const std::uint8_t* data = request.ReturnedData();
    const std::size_t size = request.Request()->ReturnedBytes;
    if (FPending.size() + size > WriteBufferBytes && !FlushPending()) return 0;
    FPending.insert(FPending.end(), data, data + size);
    return 1;
}

bool TCDRipThread::FlushPending() {
    // Audio that cannot be stored is as lost as audio that could not be read.
    bool ok = WriteAll(Stream.Fd(), FPending.data(), FPending.size());
    if (!ok && FWriteError == 0) FWriteError = errno ? errno : EIO;
    FPending.clear();
    return ok;
}

} // namespace bw
