#include "ConvertSources.h"

#include "EncodeProgress.h"
#include "WaveHeader.h"
#include "WaveIn.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <string_view>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace bw {

std::string LowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& ch : ext)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

namespace {

struct TKnownExtension {
    const char* Extension;
    const char* Kind;
};

constexpr TKnownExtension KnownExtensions[] = {
    {".wav", "a WAV"},   {".mp3", "an MP3"},   {".wma", "a WMA"},    {".asf", "a WMA"},
    {".flac", "a FLAC"}, {".ogg", "an Ogg"},   {".oga", "an Ogg"},   {".opus", "an Opus"},
    {".ape", "an APE"},  {".wv", "a WavPack"}, {".m4a", "an M4A"},   {".mp4", "an M4A"},
    {".aac", "an AAC"},  {".aif", "an AIFF"},  {".aiff", "an AIFF"}, {".aifc", "an AIFF"},
};

const TKnownExtension* FindExtension(const fs::path& file) {
    const std::string ext = LowerExtension(file);
    for (const auto& known : KnownExtensions)
        if (ext == known.Extension) return &known;
    return nullptr;
}

} // namespace

namespace {

// The first bytes of containers that may carry a WAV file's header chunks inside them (flac
// --keep-foreign-metadata keeps them in an APPLICATION block): such a file is never ours.
bool StartsAsOtherContainer(const std::vector<std::uint8_t>& head) {
    static const std::string_view Signatures[] = {"fLaC", "OggS", "ID3",  "FORM",
                                                  "MAC ", "wvpk", "caff", "\x30\x26\xB2\x75"};
    for (std::string_view signature : Signatures)
        if (head.size() >= signature.size() &&
            std::memcmp(head.data(), signature.data(), signature.size()) == 0)
            return true;
    return head.size() >= 8 && std::memcmp(head.data() + 4, "ftyp", 4) == 0;
}

} // namespace

bool IsWaveFile(const fs::path& file) {
    // Only a regular file is looked into: opening a FIFO would wait for a writer. Whatever
    // else it is, the reader it gets refuses it by name.
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> head(WaveHeaderScanLimit + 4);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (StartsAsOtherContainer(head)) return false;
    // The WAV reader's own header scan decides: it takes junk before "RIFF" and chunk ids in
    // lower case, which FFmpeg refuses; what it cannot decode (A-law, float, ...) FFmpeg reads.
    const std::uint64_t size = fs::file_size(file, ec);
    const TWaveHeaderInfo header = ScanWaveHeader(head, ec ? head.size() : size);
    return WaveFormatUsable(header, TWaveIn::ReadBufferSize);
}

bool IsTagOnlyFile(const fs::path& file) {
    std::error_code ec;
    const std::uint64_t size = fs::file_size(file, ec);
    if (ec || size < 10) return false;
    std::ifstream in(file, std::ios::binary);
    std::uint8_t header[10] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    std::uint64_t end = 0; // of the ID3v2 tag
    if (std::memcmp(header, "ID3", 3) == 0) {
        if ((header[6] | header[7] | header[8] | header[9]) & 0x80) return false;
        end = 10 + (std::uint64_t{header[6]} << 21 | header[7] << 14 | header[8] << 7 | header[9]) +
              (header[5] & 0x10 ? 10 : 0);
    }
    // What follows may be padding and an ID3v1 block; anything more is worth decoding.
    if (end > size || size - end > 65536) return false;
    std::vector<std::uint8_t> rest(static_cast<std::size_t>(size - end));
    in.seekg(static_cast<std::streamoff>(end));
    if (!in.read(reinterpret_cast<char*>(rest.data()), static_cast<std::streamsize>(rest.size())))
        return false;
    std::size_t used = rest.size();
    if (used >= 128 && std::memcmp(rest.data() + used - 128, "TAG", 3) == 0) used -= 128;
    if (end == 0 && used == rest.size()) return false; // no tag at all
    return std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(used),
                       [](std::uint8_t b) { return b == 0; });
}

bool HasAudioExtension(const fs::path& file) {
    return FindExtension(file) != nullptr;
}

std::string SourceKindOf(const fs::path& file) {
    const TKnownExtension* known = FindExtension(file);
    return known ? known->Kind : "an audio";
}

bool AddFolderTree(TConvertFiles& files, const fs::path& dir, const fs::path& outputFolder,
                   const TTreeReport& report) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    const fs::path output = fs::weakly_canonical(outputFolder, ec);
    std::vector<std::pair<fs::path, fs::path>> found; // file, its folder below the output
    // Folders are walked one by one so that each one's entries can be put in name order and
    // one that cannot be read is named and passed over.
    std::vector<fs::path> pending{dir};
    while (!pending.empty()) {
        const fs::path folder = pending.back();
        pending.pop_back();
        std::vector<fs::directory_entry> entries;
        fs::directory_iterator it(folder, ec), end;
        if (ec) {
            report(folder, "cannot read the folder: " + ec.message());
            continue;
        }
        for (; it != end; it.increment(ec)) {
            if (ec) {
                report(folder, "cannot read the folder: " + ec.message());
                break;
            }
            entries.push_back(*it);
        }
        std::sort(entries.begin(), entries.end());
        std::vector<fs::path> subfolders;
        for (const auto& entry : entries) {
            const fs::path& path = entry.path();
            if (entry.is_symlink(ec) && entry.is_directory(ec)) {
                // A link may lead back up the tree; only real folders are walked.
                report(path, "a link to a folder, not followed");
            } else if (entry.is_directory(ec)) {
                if (!output.empty() && fs::weakly_canonical(path, ec) == output) continue;
                subfolders.push_back(path);
            } else if (entry.is_regular_file(ec)) {
                found.emplace_back(path, path.parent_path().lexically_relative(dir));
            } else {
                report(path, "not a regular file");
            }
        }
        // Last pushed, first walked: the subfolders in name order.
        pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
    }
    for (auto& [file, subfolder] : found) {
        files.Files.push_back(file);
        files.Subfolders.resize(files.Files.size() - 1);
        files.Subfolders.push_back(subfolder == "." ? fs::path() : subfolder);
    }
    return true;
}

} // namespace bw
