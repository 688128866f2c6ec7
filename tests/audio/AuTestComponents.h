// Small pipeline components for the tests: a memory source, a pass-through converter and a
// sink that collects what it pulls, each with hooks to make it fail or wait.
#pragma once

#include "AuComponents.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace bwtest {

// A gate a worker waits at until the test opens it.
class TGate {
public:
    void Open() {
        {
            std::lock_guard lock(FLock);
            FOpen = true;
        }
        FChanged.notify_all();
    }
    void Wait() {
        std::unique_lock lock(FLock);
        ++FWaiting;
        FChanged.notify_all();
        FChanged.wait(lock, [&] { return FOpen; });
    }
    // Waits until someone is waiting at the gate.
    void WaitForArrival() {
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [&] { return FWaiting > 0; });
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FOpen = false;
    int FWaiting = 0;
};

std::vector<std::uint8_t> Ramp(std::size_t n);

// Hands out a byte vector in chunks of at most Chunk bytes.
class TMemorySource : public bw::TAuInput {
public:
    explicit TMemorySource(std::vector<std::uint8_t> data, int chunk = 4096)
        : FData(std::move(data)), FChunk(chunk) {}
    ~TMemorySource() override { NotifyRemoval(); }

    int GetBitsPerSample() override { return 16; }
    int GetChannels() override { return 2; }
    int GetSampleRate() override { return 44100; }

    void SetPosition(std::int64_t p) { FPosition = p; }
    void SetReportedSize(std::int64_t s) { FReportedSize = s; }

    std::function<void()> OnOpen; // may throw
    std::function<void()> OnClose;
    std::atomic<int> Opens{0};
    std::atomic<int> Closes{0};

protected:
    void DoOpenRead() override;
    void DoCloseRead() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;

private:
    std::vector<std::uint8_t> FData;
    int FChunk;
    std::size_t FRead = 0;
    std::int64_t FReportedSize = -2; // -2: the real size
};

// Passes its input through unchanged, in pieces of at most Chunk bytes.
class TPassConverter : public bw::TAuConverter {
public:
    ~TPassConverter() override { NotifyRemoval(); }
    int GetBitsPerSample() override { return 16; }
    int GetChannels() override { return 2; }
    int GetSampleRate() override { return 44100; }

protected:
    void DoOpenRead() override;
    void DoCloseRead() override;
    void ProduceData(std::uint8_t*& Buffer, int& Bytes) override;
};

// Pulls everything from its input into Data.
class TCollectOutput : public bw::TAuOutput {
public:
    ~TCollectOutput() override { Shutdown(); }

    std::vector<std::uint8_t> Data; // worker-owned during a run
    int Block = 1000;
    std::function<void()> OnPrepare; // may throw or wait
    std::function<void()> OnBlock;   // may throw or wait
    std::function<void()> OnFinish;  // may throw
    std::atomic<int> Prepares{0};
    std::atomic<int> Finishes{0};
    std::atomic<bool> FinishSawStopped{false};

protected:
    void PrepareOutput() override;
    bool OutputBlock(bool Abort) override;
    void FinishOutput() override;
};

} // namespace bwtest
