// What a conversion takes in: which reader a file needs (from its first bytes, not its name),
// what to call a file that cannot be read, and the files of whole folder trees with the
// folders their outputs go to.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace bw {

struct TConvertFiles;

// The name's extension in lower case, with its dot (".flac").
std::string LowerExtension(const std::filesystem::path& path);

// A file the WAV reader's header scan finds a format it decodes in (PCM, ADPCM, MPEG); every
// other file, other WAV formats among them, goes to the media reader.
bool IsWaveFile(const std::filesystem::path& file);
// Nothing but tags (ID3v2 with its padding, ID3v1): an MP3 of no frames, which FFmpeg
// refuses to open; such a file has no audio rather than being unreadable.
bool IsTagOnlyFile(const std::filesystem::path& file);
// The name's extension is one of an audio format we read ("a FLAC", "an MP3", ...), for
// messages; "an audio" for any other name.
bool HasAudioExtension(const std::filesystem::path& file);
std::string SourceKindOf(const std::filesystem::path& file);

// Called for what a walk leaves out (a folder it cannot read, a FIFO, a link to a folder),
// with the reason.
using TTreeReport = std::function<void(const std::filesystem::path&, const std::string&)>;

// Adds every regular file under dir, in name order, each with the folder under the output
// folder that mirrors its own; the output folder itself is not walked into, so that a
// second run does not convert the first run's files. False when dir is no folder.
bool AddFolderTree(TConvertFiles& files, const std::filesystem::path& dir,
                   const std::filesystem::path& outputFolder, const TTreeReport& report);

} // namespace bw
