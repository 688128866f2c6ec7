#include "AuStream.h"

#include "AuException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bw {

std::int64_t TStream::Size() {
    std::int64_t position = Position();
    if (position < 0) return -1;
    std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

std::int64_t TStream::ReadSome(void* buffer, std::int64_t count) {
    std::int64_t n = Read(buffer, count);
    if (n < 0) throw EAuException("Cannot read from " + Describe());
    return n;
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (Write(buffer, count) != count) throw EAuException("Cannot write to " + Describe());
}

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
    auto* p = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        ssize_t n = ::read(FHandle.Fd(), p + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done > 0 ? done : -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
    const auto* p = static_cast<const char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        ssize_t n = ::write(FHandle.Fd(), p + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                 : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                    : SEEK_END;
    return ::lseek(FHandle.Fd(), offset, whence);
}

std::int64_t THandleStream::Size() {
    struct stat st {};
    if (::fstat(FHandle.Fd(), &st) != 0 || !S_ISREG(st.st_mode)) return TStream::Size();
    return st.st_size;
}

bool THandleStream::Truncate() {
    std::int64_t position = Position();
    return position >= 0 && ::ftruncate(FHandle.Fd(), position) == 0;
}

namespace {

TShareMode ShareOfMode(std::uint16_t mode) {
    switch ((mode >> 4) & 0x0F) {
    case 0:
    case 1:
        return TShareMode::DenyAll;
    case 2:
        return TShareMode::DenyWrite;
    default: // others may write, or read and write: a lock cannot express more
        return TShareMode::DenyNone;
    }
}

int AccessOfMode(std::uint16_t mode) {
    switch (mode & 3) {
    case 0:
        return O_RDONLY;
    case 1:
        return O_WRONLY;
    default:
        return O_RDWR;
    }
}

} // namespace

TAuFileStream::TAuFileStream(const std::filesystem::path& fileName, std::uint16_t mode)
    : FFileName(fileName) {
    if (std::string reason = NotAFileReason(fileName); !reason.empty())
        throw EAuException((mode == fmCreate ? "Cannot create file " : "Cannot open file ") +
                           fileName.string() + ": it " + reason);
    if (mode == fmCreate) {
        // Lock first, truncate after: a file someone else holds must stay as it is.
        FHandle = OpenShared(fileName, O_RDWR | O_CREAT, TShareMode::DenyAll);
        if (!FHandle.IsOpen() || ::ftruncate(FHandle.Fd(), 0) != 0)
            throw EAuException("Cannot create file " + fileName.string());
    } else {
        FHandle = OpenShared(fileName, AccessOfMode(mode), ShareOfMode(mode));
        if (!FHandle.IsOpen()) throw EAuException("Cannot open file " + fileName.string());
    }
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || FPosition >= FBytes.size()) return 0;
    std::size_t n = std::min(static_cast<std::size_t>(count), FBytes.size() - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, n);
    FPosition += n;
    return static_cast<std::int64_t>(n);
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    auto n = static_cast<std::size_t>(count);
    if (FPosition + n > FBytes.size()) FBytes.resize(FPosition + n);
    std::memcpy(FBytes.data() + FPosition, buffer, n);
    FPosition += n;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                        : origin == TSeekOrigin::soCurrent ? static_cast<std::int64_t>(FPosition)
                                                           : Size();
    if (base + offset < 0) return -1;
    FPosition = static_cast<std::size_t>(base + offset);
    return base + offset;
}

} // namespace bw
