#include "DiscImage.h"

#include "CdrdaoToc.h"
#include "CueSheet.h"
#include "ImageAudio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bw {

namespace {

constexpr std::uint32_t RawSectorBytes = 2352;

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::uint16_t Le16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

bool ValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || (more > 0 && c < 0xC2) || i + more >= text.size() + (more ? 0 : 1))
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

std::string Msf(std::int64_t sectors) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 4500),
                  static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
    return text;
}

} // namespace

std::string DescriptionText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (ValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

fs::path ImageFilePath(const fs::path& folder, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    fs::path path(name);
    return path.is_absolute() ? path : folder / path;
}

std::int64_t ParseMsf(std::string_view text) {
    int parts[3] = {0, 0, 0};
    int part = 0, digits = 0;
    for (char c : text) {
        if (c == ':') {
            if (digits == 0 || ++part > 2) return -1;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 6) return -1;
            parts[part] = parts[part] * 10 + (c - '0');
        } else {
            return -1;
        }
    }
    if (part != 2 || digits == 0 || parts[1] > 59 || parts[2] > 74) return -1;
    return std::int64_t(parts[0]) * 4500 + parts[1] * 75 + parts[2];
}

TImageFileInfo ParseCdWaveHeader(std::string_view header, std::uint64_t fileSize,
                                 const std::string& name) {
    auto refuse = [&](const std::string& why) -> EDiscImage {
        return EDiscImage(name + " " + why);
    };
    if (header.size() < 12 || header.substr(0, 4) != "RIFF" || header.substr(8, 4) != "WAVE")
        throw refuse("is not a WAV file.");
    std::size_t at = 12;
    bool format = false;
    while (at + 8 <= header.size()) {
        std::string_view id = header.substr(at, 4);
        std::uint32_t size = Le32(header, at + 4);
        std::size_t body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > header.size()) throw refuse("has a damaged format chunk.");
            std::uint16_t tag = Le16(header, body);
            bool pcm = tag == 1;
            // Extensible headers (sox and FFmpeg write them for many files) say PCM in the
            // first two bytes of their sub-format GUID.
            if (tag == 0xFFFE && size >= 40 && body + 26 <= header.size())
                pcm = Le16(header, body + 24) == 1;
            if (!pcm || Le16(header, body + 2) != 2 || Le32(header, body + 4) != 44100 ||
                Le16(header, body + 14) != 16)
                throw refuse("is not 16-bit stereo 44.1 kHz PCM audio.");
            format = true;
        } else if (id == "data") {
            if (!format) throw refuse("has no format chunk before its data.");
            std::uint64_t end = std::min<std::uint64_t>(fileSize, std::uint64_t(body) + size);
            return {body, end > body ? end - body : 0};
        }
        at = body + size + (size & 1);
    }
    throw refuse("has no audio data.");
}

TImageFileInfo ProbeImageFile(const fs::path& path, bool wave) {
    std::error_code error;
    auto status = fs::status(path, error);
    if (error || !fs::exists(status)) throw EDiscImage("Data file not found: " + path.string());
    if (!fs::is_regular_file(status)) throw EDiscImage("Not a data file: " + path.string());
    std::uint64_t size = fs::file_size(path, error);
    if (error) throw EDiscImage("Cannot read " + path.string());
    if (!wave) return {0, size};
    std::ifstream in(path, std::ios::binary);
    std::string header(std::min<std::uint64_t>(size, 1 << 16), '\0');
    if (!in.read(header.data(), static_cast<std::streamsize>(header.size())))
        throw EDiscImage("Cannot read " + path.string());
    if (!IsRiffWave(header)) return ProbeImageAudio(path, header);
    return ParseCdWaveHeader(header, size, path.string());
}

void FinishImageLayout(TImageLayout& layout, const std::string& imageName) {
    auto& tracks = layout.Tracks;
    if (tracks.empty()) throw EDiscImage(imageName + ": no tracks.");
    if (tracks.size() > 99) throw EDiscImage(imageName + ": more than 99 tracks.");
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const TImageTrack& track = tracks[i];
        if (track.Number < 1 || track.Number > 99 ||
            (i > 0 && track.Number != tracks[i - 1].Number + 1))
            throw EDiscImage(imageName + ": track numbers must rise by one from 1 to 99.");
        if (track.Index01 < track.Start || (i > 0 && track.Start < tracks[i - 1].Index01) ||
            (i > 0 && track.Index01 <= tracks[i - 1].Index01))
            throw EDiscImage(imageName + ": track " + std::to_string(track.Number) +
                             " starts before the track it follows.");
    }
    const TImageTrack& last = tracks.back();
    if (layout.LeadOut <= last.Index01)
        throw EDiscImage(imageName + ": the lead-out (" + Msf(layout.LeadOut + 150) +
                         ") is not after the start of track " + std::to_string(last.Number) + " (" +
                         Msf(last.Index01 + 150) + ").");
    // Merge neighbours and drop empty runs so reads walk few extents.
    std::vector<TImageExtent> merged;
    std::int64_t next = 0;
    for (auto& extent : layout.Extents) {
        if (extent.Sectors <= 0) continue;
        if (extent.Start != next) throw EDiscImage(imageName + ": damaged layout.");
        next += extent.Sectors;
        if (!merged.empty()) {
            TImageExtent& prev = merged.back();
            bool joins =
                prev.Silence == extent.Silence &&
                (extent.Silence ||
                 (prev.File == extent.File && prev.SectorBytes == extent.SectorBytes &&
                  prev.Offset + std::uint64_t(prev.Sectors) * prev.SectorBytes == extent.Offset));
            if (joins) {
                prev.Sectors += extent.Sectors;
                continue;
            }
        }
        merged.push_back(extent);
    }
    if (next != layout.LeadOut) throw EDiscImage(imageName + ": damaged layout.");
    layout.Extents = std::move(merged);

    for (const auto& extent : layout.Extents) {
        if (extent.Silence) continue;
        std::uint64_t fileSize = extent.DataEnd;
        std::uint64_t need = extent.Offset + std::uint64_t(extent.Sectors) * extent.SectorBytes;
        if (need <= fileSize) continue;
        std::uint64_t missing = (need - fileSize + extent.SectorBytes - 1) / extent.SectorBytes;
        std::int64_t end = extent.Start + extent.Sectors;
        int number = tracks.front().Number;
        for (const auto& track : tracks)
            if (track.Start < end) number = track.Number;
        layout.Warnings.push_back(extent.File.filename().string() + " ends " +
                                  std::to_string(missing) + " sector(s) before the end of track " +
                                  std::to_string(number) + "; those sectors cannot be read.");
    }
}

TImageLayout LoadImageLayout(const fs::path& path) {
    constexpr std::uintmax_t MaxDescriptionBytes = 1 << 20;
    // Looked at before it is opened or read: a FIFO would block the open, a device or a huge
    // file would be read without end.
    std::error_code error;
    auto status = fs::status(path, error);
    if (error || !fs::exists(status)) throw EDiscImage("Image file not found: " + path.string());
    if (!fs::is_regular_file(status)) throw EDiscImage("Not a disc description: " + path.string());
    if (fs::file_size(path, error) > MaxDescriptionBytes || error)
        throw EDiscImage(path.string() + " is too large to be a disc description.");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EDiscImage("Image file not found: " + path.string());
    std::string text(MaxDescriptionBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > MaxDescriptionBytes)
        throw EDiscImage(path.string() + " is too large to be a disc description.");
    fs::path folder = path.parent_path();
    std::string ext = path.extension().string();
    if (strcasecmp(ext.c_str(), ".toc") == 0)
        return ParseCdrdaoToc(text, folder, ProbeImageFile, path.filename().string());
    return ParseCueSheet(text, folder, ProbeImageFile, path.filename().string());
}

TImageReader::TImageReader(TImageLayout layout) : FLayout(std::move(layout)) {}

TImageReader::~TImageReader() {
    for (auto& file : FFiles)
        if (file.second >= 0) ::close(file.second);
}

TImageAudioDecoder* TImageReader::DecoderFor(const fs::path& path) {
    for (auto& decoder : FDecoders)
        if (decoder.first == path) return decoder.second.get();
    FDecoders.emplace_back(path, OpenImageAudio(path));
    return FDecoders.back().second.get();
}

int TImageReader::FileFor(const fs::path& path) {
    for (auto& file : FFiles)
        if (file.first == path) return file.second;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FFiles.emplace_back(path, fd);
    return fd;
}

namespace {
bool ReadFully(int fd, std::uint8_t* out, std::size_t bytes, std::uint64_t offset) {
    while (bytes > 0) {
        ssize_t got = ::pread(fd, out, bytes, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        bytes -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}
} // namespace

bool TImageReader::Read(std::int64_t start, std::uint32_t count, std::uint8_t* out) {
    if (start < 0 || start + count > FLayout.LeadOut) return false;
    std::int64_t sector = start;
    std::int64_t end = start + count;
    auto extent =
        std::upper_bound(FLayout.Extents.begin(), FLayout.Extents.end(), sector,
                         [](std::int64_t s, const TImageExtent& e) { return s < e.Start; });
    if (extent == FLayout.Extents.begin()) return false;
    --extent;
    while (sector < end) {
        if (extent == FLayout.Extents.end()) return false;
        std::int64_t n = std::min(end, extent->Start + extent->Sectors) - sector;
        std::size_t bytes = std::size_t(n) * RawSectorBytes;
        if (extent->Silence) {
            std::memset(out, 0, bytes);
        } else {
            if (extent->SectorBytes < RawSectorBytes) return false;
            std::uint64_t offset =
                extent->Offset + std::uint64_t(sector - extent->Start) * extent->SectorBytes;
            if (offset + std::uint64_t(n - 1) * extent->SectorBytes + RawSectorBytes >
                extent->DataEnd)
                return false;
            if (extent->Decoded) {
                TImageAudioDecoder* decoder = DecoderFor(extent->File);
                if (!decoder || !decoder->Read(offset, out, bytes)) return false;
                out += bytes;
                sector += n;
                ++extent;
                continue;
            }
            int fd = FileFor(extent->File);
            if (fd < 0) return false;
            if (extent->SectorBytes == RawSectorBytes) {
                if (!ReadFully(fd, out, bytes, offset)) return false;
            } else {
                // Sectors stored with their sub-channel data: the audio is each one's start.
                for (std::int64_t i = 0; i < n; ++i)
                    if (!ReadFully(fd, out + i * RawSectorBytes, RawSectorBytes,
                                   offset + std::uint64_t(i) * extent->SectorBytes))
                        return false;
            }
        }
        if (!extent->Silence && extent->Swap)
            for (std::size_t i = 0; i + 1 < bytes; i += 2)
                std::swap(out[i], out[i + 1]);
        out += bytes;
        sector += n;
        ++extent;
    }
    return true;
}

} // namespace bw
