// Codec libraries are loaded at run time by file name, so that the program starts (and
// refuses only the components concerned) when one of them is missing.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace bw {

// Owner of one dlopen handle; closes it on destruction.
class TSharedLibrary {
public:
    TSharedLibrary() = default;
    // Loads the file through the system's library search; Loaded() tells whether it worked.
    explicit TSharedLibrary(const std::string& fileName);
    ~TSharedLibrary();
    TSharedLibrary(TSharedLibrary&& other) noexcept
        : FHandle(std::exchange(other.FHandle, nullptr)) {}
    TSharedLibrary& operator=(TSharedLibrary&& other) noexcept;
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    bool Loaded() const { return FHandle != nullptr; }
    // The address of an exported symbol, or nullptr.
    void* Symbol(const char* name) const;

    // Stores the entry point in slot; false when the library lacks it.
    template <class F>
    bool Resolve(F& slot, const char* name) const {
        slot = reinterpret_cast<F>(Symbol(name));
        return slot != nullptr;
    }

private:
    void* FHandle = nullptr;
};

// One library of the program with its table of entry points (TApi, a struct of function
// pointers) and its loaded flag. A library that lacks an entry point we call counts as
// missing, so a component never calls through a null pointer.
template <class TApi>
class TLibraryBinding {
public:
    using TResolver = bool (*)(const TSharedLibrary&, TApi&);

    TLibraryBinding(std::string fileName, TResolver resolver)
        : FFileName(std::move(fileName)), FResolver(resolver) {}

    // Loads the library unless it is loaded already; returns the loaded flag.
    bool Load() {
        std::lock_guard lock(FLock);
        if (FLoaded) return true;
        TSharedLibrary library(FFileName);
        TApi api{};
        if (!library.Loaded() || !FResolver(library, api)) return false;
        FLibrary = std::move(library);
        FApi = api;
        FLoaded = true;
        return true;
    }

    void Unload() {
        std::lock_guard lock(FLock);
        FLoaded = false;
        FApi = TApi{};
        FLibrary = TSharedLibrary();
    }

    bool Loaded() const { return FLoaded; }
    const TApi& Api() const { return FApi; }

    const std::string& FileName() const { return FFileName; }
    // Tests point the binding at another file to prove the refusal of a missing library.
    void SetFileName(std::string fileName) {
        std::lock_guard lock(FLock);
        FFileName = std::move(fileName);
    }
    // "<file name> library could not be loaded."
    std::string NotLoadedMessage() const { return FFileName + " library could not be loaded."; }

private:
    std::mutex FLock;
    std::string FFileName;
    TResolver FResolver;
    TSharedLibrary FLibrary;
    TApi FApi{};
    std::atomic<bool> FLoaded{false};
};

} // namespace bw
