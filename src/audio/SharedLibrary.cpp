#include "SharedLibrary.h"

#include <dlfcn.h>

namespace bw {

TSharedLibrary::TSharedLibrary(const std::string& fileName)
    : FHandle(dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

TSharedLibrary::~TSharedLibrary() {
    if (FHandle) dlclose(FHandle);
}

TSharedLibrary& TSharedLibrary::operator=(TSharedLibrary&& other) noexcept {
    if (this != &other) {
        if (FHandle) dlclose(FHandle);
        FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
}

void* TSharedLibrary::Symbol(const char* name) const {
    return FHandle ? dlsym(FHandle, name) : nullptr;
}

} // namespace bw
