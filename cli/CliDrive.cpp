#include "CliDrive.h"

#include "CliCommands.h"

namespace bw::cli {

TCliDrive::~TCliDrive() {
    if (FHandle) CloseCDHandle(FHandle);
}

bool TCliDrive::Open(const std::string& command, int index) {
    CommandLineRead();
    TCDList list = ReadDriveList();
    if (list.Count == 0) {
        Fail(command, "no CD drive found (name CD images in BRINDLEWAVE_CD_IMAGES to use them)");
        return false;
    }
    if (index < 0 || index >= list.Count) {
        Fail(command, "there is no drive " + std::to_string(index) + " (drives 0 to " +
                          std::to_string(list.Count - 1) + ", see 'brindlewave-cli drives')");
        return false;
    }
    FEntry = list.Entries[index];
    TGetCDHandle request = HandleRequestFor(FEntry);
    FHandle = GetCDHandle(&request);
    if (FHandle == 0) {
        const std::string problem = GetCDAccessProblem(FEntry);
        Fail(command,
             "cannot open drive " + std::to_string(index) + " (" + GetCDSource(FEntry) + "), " +
                 (problem.empty() ? "error " + std::to_string(GetAspiLibError()) : problem));
        return false;
    }
    if (ModifyCDParms(FHandle, CDP_MSF, 1) == 0 || ReadTOC(FHandle, &FTOC) != 1) {
        std::string why = GetCDDiscError(FHandle);
        Fail(command, "no readable disc in drive " + std::to_string(index) + " (" +
                          DriveDisplayName(FEntry) + ")" + (why.empty() ? "" : ": " + why));
        return false;
    }
    return true;
}

bool ParseDriveIndex(const std::string& text, int& index) {
    return ParseInt(text, index) && index >= 0 && index < CDMaxDrives;
}

} // namespace bw::cli
