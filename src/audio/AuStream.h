// Byte streams the file sources and sinks read and write: an abstract stream, one over an
// operating-system file handle, the file stream that opens by name with a sharing mode, and
// an in-memory stream (for decoded data and for tests).
#pragma once

#include "FileShare.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bw {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; fewer only at the end of the stream. Returns the bytes read.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes count bytes; returns the bytes written (fewer on failure).
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position; returns the new position, or -1 when the stream cannot seek.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();
    // How the stream names itself in error messages.
    virtual std::string Describe() const { return "stream"; }

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // Reads as much as Read does, throwing EAuException when the stream fails.
    std::int64_t ReadSome(void* buffer, std::int64_t count);
    // Writes everything or throws EAuException "Cannot write to <stream>".
    void WriteBuffer(const void* buffer, std::int64_t count);
};

// A stream over an open file handle, which it owns.
class THandleStream : public TStream {
public:
    explicit THandleStream(TFileHandle handle) : FHandle(std::move(handle)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    // Cuts or extends the file at the current position.
    bool Truncate();

protected:
    THandleStream() = default;
    TFileHandle FHandle;
};

// Mode of TAuFileStream: create (or truncate) for reading and writing without sharing.
constexpr std::uint16_t fmCreate = 0xFFFF;
// Other modes: access in the low two bits, sharing in bits 4 to 7.
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareExclusive = 0x0010;
constexpr std::uint16_t fmShareDenyWrite = 0x0020; // others may read
constexpr std::uint16_t fmShareDenyRead = 0x0030;  // others may write
constexpr std::uint16_t fmShareDenyNone = 0x0040;

// A file opened by name. Sharing becomes an advisory lock: no sharing takes an exclusive
// flock, "others may read" a shared one; a lock held elsewhere fails the open. Throws
// EAuException "Cannot create file <name>" (create mode) or "Cannot open file <name>".
class TAuFileStream : public THandleStream {
public:
    TAuFileStream(const std::filesystem::path& fileName, std::uint16_t mode);
    std::string Describe() const override { return "file " + FFileName.string(); }

private:
    std::filesystem::path FFileName;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : FBytes(std::move(bytes)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FBytes.size()); }

    const std::vector<std::uint8_t>& Bytes() const { return FBytes; }

private:
    std::vector<std::uint8_t> FBytes;
    std::size_t FPosition = 0;
};

// A stream that cannot seek or tell its size (a pipe), over any other stream. For tests of
// the readers' handling of such streams.
class TForwardOnlyStream : public TStream {
public:
    explicit TForwardOnlyStream(TStream& inner) : FInner(inner) {}
    std::int64_t Read(void* buffer, std::int64_t count) override {
        return FInner.Read(buffer, count);
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        return FInner.Write(buffer, count);
    }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return -1; }
    std::int64_t Size() override { return -1; }

private:
    TStream& FInner;
};

} // namespace bw
