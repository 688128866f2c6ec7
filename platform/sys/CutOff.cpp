#include "CutOff.h"

namespace bw {

bool TCutOff::SetHook(std::function<void()> hook) {
    std::lock_guard lock(FLock);
    if (FCut) {
        if (hook) hook();
        return false;
    }
    FHook = std::move(hook);
    return true;
}

void TCutOff::ClearHook() {
    std::lock_guard lock(FLock);
    FHook = nullptr;
}

void TCutOff::Cut() {
    std::lock_guard lock(FLock);
    if (FCut) return;
    FCut = true;
    if (FHook) FHook();
}

bool TCutOff::IsCut() const {
    std::lock_guard lock(FLock);
    return FCut;
}

} // namespace bw
