// Fetches the front covers of releases one after another on a thread of its own, so that a
// window never waits for the Cover Art Archive. Each cover that is done (or failed) is posted
// to the window as WM_COVERFETCHED with its place in the list as wParam; the covers wait in
// the fetcher for the window to take on the main thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CoverArt.h"
#include "Messages.h"

namespace bw {

constexpr int WM_COVERFETCHED = 2145;

class TCoverFetcher {
public:
    // Starts at once with the cover server and proxy of the settings. Size is the Cover Art
    // Archive's (250 for thumbnails, 500 for the cover the files get); empty ids are passed
    // over without a request.
    TCoverFetcher(TMessageTarget* notify, std::vector<std::string> releaseIds, int size,
                  std::size_t maxBytes);
    // Stops the fetches still to come without waiting: nothing more is posted.
    ~TCoverFetcher();
    TCoverFetcher(const TCoverFetcher&) = delete;
    TCoverFetcher& operator=(const TCoverFetcher&) = delete;

    // The cover of place `index` once WM_COVERFETCHED came for it; empty before.
    TCoverArt Cover(std::size_t index) const;

private:
    struct TState {
        std::mutex Lock;
        std::vector<TCoverArt> Covers;
        std::atomic<bool> Cancel{false};
        std::unique_ptr<TDetachableTarget> Target;
    };
    std::shared_ptr<TState> FState;
};

} // namespace bw
