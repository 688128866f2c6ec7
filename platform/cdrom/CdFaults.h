// Fault injection for tests: makes one open handle behave like a drive that refuses a
// parameter, cannot read its table of contents, or fails reads from a given sector on.
#pragma once

#include <cstdint>

namespace bw {

struct TCDFaults {
    bool RefuseParameters = false;
    bool FailTOC = false;
    // Reads touching this sector (counted like TReadRequest::StartSector) or later fail;
    // negative: none fail.
    std::int64_t FailReadsFromSector = -1;
};

// False when the handle is not open.
bool SetCDHandleFaults(int handle, const TCDFaults& faults);

// Tells the handle that its disc went away while another reader (libcdio-paranoia's) read it,
// as a failed read of its own would: until the next TOC read finds none, it has no disc.
void SetCDHandleEjected(int handle);

// Scales the seconds of the image drives' `notready:S` fault (1: as given), so that a test can
// hold a TOC read up for a fraction of the time.
void SetNotReadyTimeScale(double scale);

} // namespace bw
