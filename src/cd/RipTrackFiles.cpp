#include "RipTrackFiles.h"

namespace fs = std::filesystem;

namespace bw {

void TRipTrackFiles::Begin(const fs::path& wav, bool keepWav, const fs::path& encoded) {
    Discard();
    FWavFinal = wav;
    FKeepWav = keepWav;
    FEncodedFinal = encoded;
    FReplace = false;
}

fs::path TRipTrackFiles::FirstExisting() const {
    std::error_code ec;
    if (!FEncodedFinal.empty() && fs::exists(fs::symlink_status(FEncodedFinal, ec)))
        return FEncodedFinal;
    if (FKeepWav && fs::exists(fs::symlink_status(FWavFinal, ec))) return FWavFinal;
    return {};
}

bool TRipTrackFiles::CreateWavPart(std::string& error) {
    std::error_code ec;
    if (FWav.Create(FWavFinal, ec)) return true;
    error = "Cannot create a file in " + FWavFinal.parent_path().string() + ": " + ec.message();
    return false;
}

bool TRipTrackFiles::CreateEncodedPart(std::string& error) {
    std::error_code ec;
    if (FEncoded.Create(FEncodedFinal, ec)) return true;
    error = "Cannot create a file in " + FEncodedFinal.parent_path().string() + ": " + ec.message();
    return false;
}

std::string TRipTrackFiles::Move(TPartFile& part) {
    std::error_code ec;
    if (part.Commit(FReplace, ec)) return {};
    std::string why = ec == std::errc::file_exists ? "it exists already" : ec.message();
    part.Discard();
    return "Cannot write " + part.Final().string() + ": " + why;
}

std::string TRipTrackFiles::FinishWav() {
    if (!FKeepWav) {
        FWav.Discard();
        return {};
    }
    return Move(FWav);
}

std::string TRipTrackFiles::FinishEncoded() {
    std::string error = Move(FEncoded);
    if (!error.empty()) {
        KeepWavOnly();
        return error;
    }
    return FinishWav();
}

void TRipTrackFiles::KeepWavOnly() {
    FEncoded.Discard();
    if (!FWav.Held()) return;
    std::error_code ec;
    if (!FWav.Commit(FKeepWav && FReplace, ec)) FWav.Discard();
}

void TRipTrackFiles::Discard() {
    FWav.Discard();
    FEncoded.Discard();
}

} // namespace bw
