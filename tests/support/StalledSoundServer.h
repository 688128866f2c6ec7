// A sound server that has stopped answering, for tests of what must never wait for one.
#pragma once

#include "AudioOutput.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace bwtest {

// A sound server that has stopped answering: connecting or writing waits until the test
// lets go, and, like the PulseAudio client, nothing interrupts it.
class TStalledServer {
public:
    enum class TWhere { Connect, Write };
    explicit TStalledServer(TWhere where) : FWhere(where) {}
    bw::TAudioOutputFactory Factory() {
        return [this]() -> std::unique_ptr<bw::TAudioOutput> {
            if (FWhere == TWhere::Connect) Stall();
            return std::make_unique<TOutput>(*this);
        };
    }
    bool Stalling() {
        std::lock_guard lock(FLock);
        return FStalling > 0;
    }
    void LetGo() {
        std::lock_guard lock(FLock);
        FGone = true;
        FChanged.notify_all();
    }

private:
    class TOutput : public bw::TAudioOutput {
    public:
        explicit TOutput(TStalledServer& server) : FServer(server) {}
        void Write(const std::uint8_t*, std::size_t) override {
            if (FServer.FWhere == TWhere::Write) FServer.Stall();
        }
        void Drain() override {}
        void Discard() override {}

    private:
        TStalledServer& FServer;
    };
    void Stall() {
        std::unique_lock lock(FLock);
        ++FStalling;
        FChanged.wait(lock, [this] { return FGone; });
        --FStalling;
    }

    TWhere FWhere;
    std::mutex FLock;
    std::condition_variable FChanged;
    int FStalling = 0;
    bool FGone = false;
};

} // namespace bwtest
