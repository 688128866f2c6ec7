#include "DriveSources.h"

#include <cdio/cdio.h>
#include <cstdlib>

namespace bw {

namespace {

// Owns the list that cdio_get_devices returns.
class TDeviceList {
public:
    TDeviceList() : FList(cdio_get_devices(DRIVER_DEVICE)) {}
    ~TDeviceList() {
        if (FList) cdio_free_device_list(FList);
    }
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;
    char** Get() const { return FList; }

private:
    char** FList;
};

} // namespace

std::vector<std::string> SplitImageList(const std::string& text) {
    std::vector<std::string> paths;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(':', begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin) paths.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return paths;
}

std::vector<TDriveSource> ListDriveSources() {
    std::vector<TDriveSource> sources;
    TDeviceList devices;
    std::uint8_t target = 0;
    for (char** device = devices.Get(); device && *device && target < 255; ++device) {
        TDriveSource source;
        source.HostAdapter = 0;
        source.Target = target++;
        source.Path = *device;
        sources.push_back(source);
    }
    target = 0;
    const char* images = std::getenv("BRINDLEWAVE_CD_IMAGES");
    for (const auto& path : SplitImageList(images ? images : "")) {
        if (target == 255) break;
        TDriveSource source;
        source.HostAdapter = 1;
        source.Target = target++;
        source.Path = path;
        source.IsImage = true;
        sources.push_back(source);
    }
    return sources;
}

} // namespace bw
