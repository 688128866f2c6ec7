#include "FileShare.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bw {

namespace {

std::string KindReason(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a named pipe (FIFO), not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    return "is not a regular file";
}

} // namespace

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = other.Release();
    }
    return *this;
}

int TFileHandle::Release() {
    int fd = FFd;
    FFd = -1;
    return fd;
}

void TFileHandle::Close() {
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

std::string NotAFileReason(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return KindReason(st.st_mode);
}

TFileHandle OpenShared(const std::filesystem::path& path, int openFlags, TShareMode share,
                       unsigned createMode) {
    // Only regular files: opening a FIFO would wait for a writer or reader forever, and
    // reading a device or folder makes no sense. Non-blocking so that a FIFO put in place
    // after the check cannot hold us either.
    if (!NotAFileReason(path).empty()) {
        errno = EINVAL;
        return TFileHandle();
    }
    int fd = ::open(path.c_str(), openFlags | O_CLOEXEC | O_NONBLOCK, createMode);
    if (fd < 0) return TFileHandle();
    TFileHandle handle(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        handle.Close();
        errno = EINVAL;
        return handle;
    }
    if (share != TShareMode::DenyNone) {
        int op = (share == TShareMode::DenyAll ? LOCK_EX : LOCK_SH) | LOCK_NB;
        if (::flock(fd, op) != 0) {
            int err = errno;
            handle.Close();
            errno = err;
        }
    }
    return handle;
}

bool IsFileLocked(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return false;
    return IsReadOnly(path) || !OpenShared(path, O_RDWR, TShareMode::DenyAll).IsOpen();
}

bool IsReadOnly(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    // A file without any write bit counts as read-only even for root, as a user who
    // marked it so expects.
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

} // namespace bw
