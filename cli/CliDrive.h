// The drive a command works on: chosen by its index in the drive list, opened for the
// command's lifetime, with its table of contents in minute/second/frame form.
#pragma once

#include "akrip32.h"

#include <string>

namespace bw::cli {

class TCliDrive {
public:
    TCliDrive() = default;
    ~TCliDrive();
    TCliDrive(const TCliDrive&) = delete;
    TCliDrive& operator=(const TCliDrive&) = delete;

    // Opens drive `index` and reads its TOC. On failure prints why (as `command`) and
    // returns false.
    bool Open(const std::string& command, int index);

    int Handle() const { return FHandle; }
    const TCDEntry& Entry() const { return FEntry; }
    const TTOC& TOC() const { return FTOC; }
    // Sectors of hidden track one audio before the first track (0: none); the disc's pregap
    // is read the first time it is asked for.
    int HiddenSectors() const { return GetCDHiddenTrack(FHandle); }

private:
    int FHandle = 0;
    TCDEntry FEntry{};
    TTOC FTOC{};
};

// Parses "--drive" values: a drive index from 0.
bool ParseDriveIndex(const std::string& text, int& index);

} // namespace bw::cli
