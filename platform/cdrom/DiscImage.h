// The physical layout of a disc described by an image file (CUE sheet or cdrdao TOC file):
// its tracks at the addresses a drive would report for the real disc, the CD-Text the file
// carries, and where the bytes of every sector come from (a data file at an offset, or
// silence that no file holds). Sector 0 is the first sector after the lead-in (00:02:00).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

class TImageAudioDecoder;

// A description that cannot be used, with the cause in words (file name, line, text).
class EDiscImage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A run of consecutive sectors of the disc and where their bytes come from.
struct TImageExtent {
    std::int64_t Start = 0;   // first sector on the disc
    std::int64_t Sectors = 0; // length
    bool Silence = true;      // zeros; otherwise read from File
    std::filesystem::path File;
    std::uint64_t Offset = 0;         // byte offset of Start's sector in File
    std::uint32_t SectorBytes = 2352; // bytes per sector in File (2048 for cooked data)
    std::uint64_t DataEnd = 0;        // where File's sector data ends; reads stop there
    bool Swap = false;                // File holds big-endian samples (cdrdao's raw audio)
    bool Decoded = false;             // File is compressed audio: offsets count its decoded bytes
};

struct TImageTrack {
    int Number = 0;
    bool Audio = true;
    std::int64_t Start = 0;   // first sector of the track (its index 00 when it has a pregap)
    std::int64_t Index01 = 0; // the address in the table of contents
    bool CopyPermitted = false;
    bool PreEmphasis = false;
    bool FourChannel = false;
    std::string Isrc;
    std::string Title, Performer; // CD-Text, UTF-8
};

struct TImageLayout {
    std::vector<TImageTrack> Tracks;   // in disc order, numbers rising by one
    std::int64_t LeadOut = 0;          // first sector after the last track
    std::vector<TImageExtent> Extents; // cover sectors 0 to LeadOut, in order
    std::string Catalog;
    std::string Title, Performer; // disc CD-Text, UTF-8
    // Things a reader should know that do not stop the disc from being read: for example a
    // data file that ends before its last track does (those sectors fail to read).
    std::vector<std::string> Warnings;
};

// What a description's data file holds: where the sector data starts and how many bytes
// of it there are. Audio files are looked into (16-bit stereo 44.1 kHz expected): WAV files
// are read as they are, lossless compressed files (FLAC, WavPack, APE) decoded.
struct TImageFileInfo {
    std::uint64_t DataOffset = 0;
    std::uint64_t DataBytes = 0;
    bool Decoded = false; // the bytes are those of the decoded audio
};
// Finds a data file named by a description; throws EDiscImage when it is missing or not
// of the kind named. `wave` is true for audio files (WAVE, and FLAC, AIFF or MP3 named
// by their own type).
using TImageFileProbe = std::function<TImageFileInfo(const std::filesystem::path&, bool wave)>;

// The probe of real files.
TImageFileInfo ProbeImageFile(const std::filesystem::path& path, bool wave);

// The data chunk of a RIFF WAVE file held in `header` (its first bytes, at least up to the
// data chunk's header): throws EDiscImage unless it is 16-bit stereo 44.1 kHz PCM
// (WAVE_FORMAT_PCM, or WAVE_FORMAT_EXTENSIBLE with the PCM sub-format).
TImageFileInfo ParseCdWaveHeader(std::string_view header, std::uint64_t fileSize,
                                 const std::string& name);

// Text of a description as UTF-8: kept when it is valid UTF-8 (a byte-order mark dropped),
// otherwise read as Latin-1.
std::string DescriptionText(std::string_view bytes);

// A data file name as written in a description, relative to `folder` unless absolute; "\"
// separates folders as it does in files written on Windows.
std::filesystem::path ImageFilePath(const std::filesystem::path& folder, std::string name);

// Disc layout checks shared by the parsers: tracks present and numbered 1..99 in order,
// starts rising, lead-out after the last start; extents merged and contiguous. Adds the
// warning about a data file that is short of its last track. Throws EDiscImage.
void FinishImageLayout(TImageLayout& layout, const std::string& imageName);

// The sector count of "mm:ss:ff" (frames 0..74, seconds 0..59); -1 when it is not one.
std::int64_t ParseMsf(std::string_view text);

// The disc's layout from a CUE sheet or cdrdao TOC file, chosen by the extension (".toc"
// for cdrdao); files are looked up beside it.
TImageLayout LoadImageLayout(const std::filesystem::path& path);

// Reads `count` sectors of 2352 bytes from `start` into `out`; false when any of them lies
// outside the disc, in a data track stored without its raw sector bytes, or past the end of
// its file.
class TImageReader {
public:
    explicit TImageReader(TImageLayout layout);
    ~TImageReader();
    TImageReader(const TImageReader&) = delete;
    TImageReader& operator=(const TImageReader&) = delete;

    const TImageLayout& Layout() const { return FLayout; }
    bool Read(std::int64_t start, std::uint32_t count, std::uint8_t* out);

private:
    int FileFor(const std::filesystem::path& path);
    TImageAudioDecoder* DecoderFor(const std::filesystem::path& path);

    TImageLayout FLayout;
    std::vector<std::pair<std::filesystem::path, int>> FFiles; // open descriptors
    std::vector<std::pair<std::filesystem::path, std::unique_ptr<TImageAudioDecoder>>> FDecoders;
};

} // namespace bw
