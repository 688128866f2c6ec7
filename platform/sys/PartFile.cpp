#include "PartFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bw {

fs::path CreatePartFile(const fs::path& final, std::error_code& ec) {
    static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string stem = (final.parent_path() / ("." + final.filename().string())).string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + ".";
        for (int i = 0; i < 6; ++i)
            name += Letters[random() % (sizeof Letters - 1)];
        name += ".part";
        // O_EXCL: never an existing file; mode 0666 so that the umask decides, as for any
        // file a program creates (mkstemp would give 0600).
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            ec.clear();
            return name;
        }
        if (errno != EEXIST) break;
    }
    ec = std::error_code(errno, std::generic_category());
    return {};
}

bool MovePartFile(const fs::path& part, const fs::path& final, bool replace, std::error_code& ec) {
    ec.clear();
    if (replace) {
        fs::rename(part, final, ec);
        return !ec;
    }
    // renameat2 refuses an existing target in the same step, so no file that appears
    // meanwhile is lost either.
    if (::renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, final.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    // File systems without it: a hard link fails on an existing target just the same.
    if (::link(part.c_str(), final.c_str()) != 0) {
        ec = std::error_code(errno, std::generic_category());
        return false;
    }
    ::unlink(part.c_str());
    return true;
}

void RemovePartFile(const fs::path& part) {
    if (part.empty()) return;
    std::error_code ec;
    fs::remove(part, ec);
}

bool TPartFile::Create(const fs::path& final, std::error_code& ec) {
    Discard();
    FPart = CreatePartFile(final, ec);
    if (FPart.empty()) return false;
    FFinal = final;
    return true;
}

bool TPartFile::Commit(bool replace, std::error_code& ec) {
    if (!MovePartFile(FPart, FFinal, replace, ec)) return false;
    FPart.clear();
    return true;
}

void TPartFile::Discard() {
    RemovePartFile(FPart);
    FPart.clear();
}

} // namespace bw
