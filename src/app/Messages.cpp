#include "Messages.h"

namespace bw {

void TMessageTarget::Post(int msg, std::intptr_t wParam, std::intptr_t lParam) {
    TPostedMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    PostMessage(std::move(message));
}

void TMessageTarget::PostProgress(int percent, int errorCode) {
    TPostedMessage message;
    message.Msg = WM_RIPPROGRESS;
    message.Info = std::make_unique<TProcessInfo>(TProcessInfo{percent, errorCode});
    PostMessage(std::move(message));
}

void TDetachableTarget::PostMessage(TPostedMessage message) {
    std::lock_guard lock(FLock);
    if (FTarget) FTarget->PostMessage(std::move(message));
}

void TDetachableTarget::Detach() {
    std::lock_guard lock(FLock);
    FTarget = nullptr;
}

void TMessageQueue::PostMessage(TPostedMessage message) {
    {
        std::lock_guard lock(FLock);
        FQueue.push_back(std::move(message));
    }
    FPosted.notify_all();
}

std::optional<TPostedMessage> TMessageQueue::WaitNext(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FLock);
    if (!FPosted.wait_for(lock, timeout, [this] { return !FQueue.empty(); })) return std::nullopt;
    TPostedMessage message = std::move(FQueue.front());
    FQueue.pop_front();
    return message;
}

std::vector<TPostedMessage> TMessageQueue::TakeAll() {
    std::lock_guard lock(FLock);
    std::vector<TPostedMessage> all;
    for (auto& message : FQueue)
        all.push_back(std::move(message));
    FQueue.clear();
    return all;
}

} // namespace bw
