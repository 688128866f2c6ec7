#include "FileShare.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bw {

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

TFileHandle OpenShared(const std::filesystem::path& path, int openFlags, TShareMode share,
                       unsigned createMode) {
    int fd = ::open(path.c_str(), openFlags | O_CLOEXEC, createMode);
    if (fd < 0) return TFileHandle();
    TFileHandle handle(fd);
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
