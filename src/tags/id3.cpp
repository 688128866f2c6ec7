#include "id3.h"

#include "FileTags.h"

#include "AuTags.h"
#include "FileShare.h"
#include "Genres.h"
#include "Latin1.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bw {

namespace {

// Copies text into a field of `width` bytes, padded with NULs.
void PutField(TId3v1Block& block, std::size_t offset, const std::string& text, std::size_t width) {
    std::size_t n = std::min(text.size(), width);
    std::memcpy(block.data() + offset, text.data(), n);
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(offset + n),
              block.begin() + static_cast<std::ptrdiff_t>(offset + width), 0);
}

// A field's text: up to the first NUL.
std::string GetField(std::span<const std::uint8_t> block, std::size_t offset, std::size_t width) {
    auto begin = reinterpret_cast<const char*>(block.data() + offset);
    std::size_t n = 0;
    while (n < width && begin[n] != '\0')
        ++n;
    return Utf8FromLatin1(std::string_view(begin, n));
}

// Runs pread or pwrite until all `size` bytes have moved; false on an error or a short end.
template <typename TBuffer, typename TCall>
bool TransferAll(TCall call, int fd, TBuffer* data, std::size_t size, off_t offset) {
    while (size > 0) {
        ssize_t moved = call(fd, data, size, offset);
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) return false;
        data += moved;
        size -= static_cast<std::size_t>(moved);
        offset += moved;
    }
    return true;
}

bool ReadAll(int fd, std::uint8_t* data, std::size_t size, off_t offset) {
    return TransferAll(::pread, fd, data, size, offset);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
    return TransferAll(::pwrite, fd, data, size, offset);
}

} // namespace

std::string Tid3tag::Narrow(std::string_view utf8, std::size_t width) {
    std::string text = Latin1FromUtf8(utf8);
    if (text.size() > width) text.resize(width);
    return text;
}

std::string Tid3tag::Title() const {
    return Utf8FromLatin1(FTitle);
}
std::string Tid3tag::Artist() const {
    return Utf8FromLatin1(FArtist);
}
std::string Tid3tag::Album() const {
    return Utf8FromLatin1(FAlbum);
}
std::string Tid3tag::Year() const {
    return Utf8FromLatin1(FYear);
}
std::string Tid3tag::Comment() const {
    return Utf8FromLatin1(FComment);
}

void Tid3tag::SetTrack(std::uint8_t N) {
    FTrack = N;
    FTrackSet = N != 0;
}

TId3v1Block Tid3tag::Block() const {
    TId3v1Block block{};
    std::memcpy(block.data(), "TAG", 3);
    PutField(block, 3, FTitle, TextWidth);
    PutField(block, 33, FArtist, TextWidth);
    PutField(block, 63, FAlbum, TextWidth);
    PutField(block, 93, FYear, YearWidth);
    if (FTrackSet && FTrack > 0) {
        PutField(block, 97, FComment, 28);
        block[125] = 0;
        block[126] = FTrack;
    } else {
        PutField(block, 97, FComment, TextWidth);
    }
    block[127] = Genre;
    return block;
}

std::int64_t Id3v1BlockPosition(std::int64_t fileSize, std::span<const std::uint8_t> tail) {
    if (fileSize >= static_cast<std::int64_t>(Id3v1BlockSize) && tail.size() >= Id3v1BlockSize) {
        auto start = tail.subspan(tail.size() - Id3v1BlockSize);
        if (start[0] == 'T' && start[1] == 'A' && start[2] == 'G')
            return fileSize - static_cast<std::int64_t>(Id3v1BlockSize);
    }
    return fileSize;
}

std::optional<TId3v1Fields> ParseId3v1Block(std::span<const std::uint8_t> block) {
    if (block.size() != Id3v1BlockSize || block[0] != 'T' || block[1] != 'A' || block[2] != 'G')
        return std::nullopt;
    TId3v1Fields f;
    f.Title = GetField(block, 3, Tid3tag::TextWidth);
    f.Artist = GetField(block, 33, Tid3tag::TextWidth);
    f.Album = GetField(block, 63, Tid3tag::TextWidth);
    f.Year = GetField(block, 93, Tid3tag::YearWidth);
    bool v11 = block[125] == 0 && block[126] != 0;
    f.Comment = GetField(block, 97, v11 ? 28 : Tid3tag::TextWidth);
    if (v11) f.Track = block[126];
    f.Genre = block[127];
    return f;
}

std::uint16_t Tid3tag::WriteToFile(const std::filesystem::path& FileName) const {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Id3CannotOpen : Id3ReadOnly;
    // Only a regular file can take a tag: never write into a device or a pipe.
    if (!S_ISREG(st.st_mode)) return Id3CannotOpen;
    if (IsReadOnly(FileName)) return Id3ReadOnly;

    // An encoder that lets others read holds a shared lock, so only an exclusive lock
    // notices every other writer.
    TFileHandle file = OpenShared(FileName, O_RDWR, TShareMode::DenyAll);
    if (!file.IsOpen()) return Id3CannotOpen;

    struct stat opened {};
    if (::fstat(file.Fd(), &opened) != 0) return Id3ReadError;
    std::int64_t size = opened.st_size;
    TId3v1Block tail{};
    std::span<const std::uint8_t> tailRead;
    if (size >= static_cast<std::int64_t>(Id3v1BlockSize)) {
        if (!ReadAll(file.Fd(), tail.data(), tail.size(),
                     static_cast<off_t>(size - static_cast<std::int64_t>(Id3v1BlockSize))))
            return Id3ReadError;
        tailRead = tail;
    }
    std::int64_t position = Id3v1BlockPosition(size, tailRead);

    TId3v1Block block = Block();
    if (!WriteAll(file.Fd(), block.data(), block.size(), static_cast<off_t>(position)))
        return Id3WriteError;
    if (::close(file.Release()) != 0) return Id3OtherError;
    return Id3Written;
}

Tid3tag Id3v1TagOf(const TFileTags& tags) {
    Tid3tag tag;
    tag.SetTitle(tags.Title);
    tag.SetArtist(tags.Artist);
    tag.SetAlbum(tags.Album);
    tag.SetYear(tags.Year);
    tag.SetComment(tags.Comment);
    tag.Genre = GenreCodeOfListIndex(GenreListIndexOf(tags.Genre, true));
    tag.SetTrack(tags.TrackNumber > 0 && tags.TrackNumber <= 255
                     ? static_cast<std::uint8_t>(tags.TrackNumber)
                     : 0);
    return tag;
}

Tid3tag Id3v1TagOf(const TId3v2Tags& tags) {
    Tid3tag tag;
    tag.SetTitle(tags.Title());
    tag.SetArtist(tags.Artist());
    tag.SetAlbum(tags.Album());
    tag.SetYear(tags.Year());
    tag.SetComment(tags.Comment());
    tag.Genre = GenreCodeOfListIndex(GenreListIndexOf(tags.Genre(), true));
    // "7/12" counts as 7, as players read it; anything else that is not a number gives 0.
    const std::string track = tags.Track();
    int number = 0;
    std::size_t i = 0;
    while (i < track.size() && track[i] >= '0' && track[i] <= '9' && number < 1000)
        number = number * 10 + (track[i++] - '0');
    bool numeric = i > 0 && (i == track.size() || track[i] == '/');
    tag.SetTrack(numeric && number <= 255 ? static_cast<std::uint8_t>(number) : 0);
    return tag;
}

} // namespace bw
