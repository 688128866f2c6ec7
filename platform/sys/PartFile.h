// Files that take their final name only when complete: a writer makes a hidden file beside
// the final one, and a finished file is moved over in one rename. Whatever the writer leaves
// unfinished (a failure, Stop, Ctrl+C) never carries a name a user would take for a whole file.
#pragma once

#include <filesystem>
#include <system_error>

namespace bw {

// Creates a new, empty file in the folder of `final` (".<name>.XXXXXX.part") that no file
// had the name of, with the permissions any new file gets (0666 less the umask). Returns its
// name; empty, with ec set, when it cannot be made.
std::filesystem::path CreatePartFile(const std::filesystem::path& final, std::error_code& ec);

// Gives the part file its final name. Without `replace` an existing file of that name stays
// and the move fails with std::errc::file_exists; the part file then stays too.
bool MovePartFile(const std::filesystem::path& part, const std::filesystem::path& final,
                  bool replace, std::error_code& ec);

// Removes a part file this run made (no-op for an empty path).
void RemovePartFile(const std::filesystem::path& part);

// Owns one part file: removes it when destroyed unless it was moved into place.
class TPartFile {
public:
    TPartFile() = default;
    ~TPartFile() { Discard(); }
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Makes a fresh part file for `final` (discarding one held before); false with ec set
    // when that fails.
    bool Create(const std::filesystem::path& final, std::error_code& ec);
    bool Commit(bool replace, std::error_code& ec);
    void Discard();

    const std::filesystem::path& Path() const { return FPart; }
    const std::filesystem::path& Final() const { return FFinal; }
    bool Held() const { return !FPart.empty(); }

private:
    std::filesystem::path FPart, FFinal;
};

} // namespace bw
