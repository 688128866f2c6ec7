#include "CoverFetcher.h"

#include <exception>
#include <thread>

#include "Global.h"

namespace bw {

TCoverFetcher::TCoverFetcher(TMessageTarget* notify, std::vector<std::string> releaseIds, int size,
                             std::size_t maxBytes)
    : FState(std::make_shared<TState>()) {
    FState->Target = std::make_unique<TDetachableTarget>(notify);
    FState->Covers.resize(releaseIds.size());
    // Read on the main thread: the worker must not touch the settings record.
    const std::string server = Settings.CoverArtServer;
    const TCoverProxy proxy = CoverProxyFromSettings();
    // The worker shares the state, so it may outlive this object after a stop.
    std::thread([state = FState, ids = std::move(releaseIds), server, proxy, size, maxBytes] {
        for (std::size_t i = 0; i < ids.size() && !state->Cancel; ++i) {
            if (ids[i].empty()) continue;
            TCoverArt cover;
            try {
                cover = FetchFrontCover(server, ids[i], &state->Cancel, size, maxBytes, proxy);
            } catch (const std::exception& e) {
                cover.Error = std::string("No cover: ") + e.what();
            }
            {
                std::lock_guard lock(state->Lock);
                state->Covers[i] = std::move(cover);
            }
            state->Target->Post(WM_COVERFETCHED, static_cast<std::intptr_t>(i));
        }
    }).detach();
}

TCoverFetcher::~TCoverFetcher() {
    FState->Target->Detach();
    FState->Cancel = true;
}

TCoverArt TCoverFetcher::Cover(std::size_t index) const {
    std::lock_guard lock(FState->Lock);
    return index < FState->Covers.size() ? FState->Covers[index] : TCoverArt{};
}

} // namespace bw
