// File sharing modes carried over to advisory flock() locks: "no sharing" takes an
// exclusive lock, "others may read" a shared lock; both never block. Failing to get the
// lock fails the open, just as a sharing violation would.
#pragma once

#include <filesystem>
#include <string>

namespace bw {

enum class TShareMode {
    DenyAll,   // exclusive lock
    DenyWrite, // shared lock: others may read
    DenyNone,  // no lock
};

// Owns one POSIX file descriptor; closing releases its lock.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle() { Close(); }
    TFileHandle(TFileHandle&& other) noexcept : FFd(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Fd() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }
    int Release();
    void Close();

private:
    int FFd = -1;
};

// Why path, when it exists, cannot be opened as a file: "is a folder, not a file", "is a named
// pipe (FIFO), not a file", ...; empty for a regular file or a path where nothing is.
std::string NotAFileReason(const std::filesystem::path& path);

// Opens (open(2) flags, mode for created files) and takes the lock of the sharing mode.
// Returns a closed handle on failure, with errno telling why (EWOULDBLOCK for a lock held
// elsewhere, EINVAL for what is not a regular file: see NotAFileReason).
TFileHandle OpenShared(const std::filesystem::path& path, int openFlags, TShareMode share,
                       unsigned createMode = 0644);

// False when the file does not exist; true when it exists but is read-only or cannot be
// opened for reading and writing with an exclusive lock.
bool IsFileLocked(const std::filesystem::path& path);

// True when the path exists and we may not write it, or it has no write permission bit.
bool IsReadOnly(const std::filesystem::path& path);

} // namespace bw
