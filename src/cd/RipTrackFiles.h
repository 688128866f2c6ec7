// The files one track of a rip writes. The WAV and the encoded file are written under
// hidden part names beside their final ones and take those names only when complete, so
// that a stop, a failure or Ctrl+C never leaves a short file that looks finished, and a
// failure removes only what this run wrote, never a file that was there before.
#pragma once

#include "PartFile.h"

#include <filesystem>
#include <string>

namespace bw {

class TRipTrackFiles {
public:
    // The finals of the next track: the WAV (a final only when `keepWav`, the format's output
    // being WAV or the WAV kept) and the encoded file (empty for WAV output). Discards the
    // part files of the track before.
    void Begin(const std::filesystem::path& wav, bool keepWav,
               const std::filesystem::path& encoded);
    // The first final that exists already (empty when none); the job then asks.
    std::filesystem::path FirstExisting() const;
    // Whether a final that existed may be replaced (the user said so).
    void SetReplace(bool replace) { FReplace = replace; }

    // Makes the part files; false with `error` set when the folder does not take them.
    bool CreateWavPart(std::string& error);
    bool CreateEncodedPart(std::string& error);
    const std::filesystem::path& WavPart() const { return FWav.Path(); }
    const std::filesystem::path& EncodedPart() const { return FEncoded.Path(); }

    // The WAV is complete: a kept WAV takes its final name, any other goes. Empty on success,
    // else why not.
    std::string FinishWav();
    // The encoded file is complete and takes its final name (the WAV is then finished too).
    std::string FinishEncoded();
    // The encoding failed: its part goes, a complete WAV stays under its final name when no
    // other file has it (the only copy of the track).
    void KeepWavOnly();
    // Removes every part file this track made.
    void Discard();

private:
    std::string Move(TPartFile& part);

    TPartFile FWav, FEncoded;
    std::filesystem::path FWavFinal, FEncodedFinal;
    bool FKeepWav = false;
    bool FReplace = false;
};

} // namespace bw
