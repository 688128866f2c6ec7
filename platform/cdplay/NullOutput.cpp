#include "AudioOutput.h"

namespace bw {

class TNullAudioOutput : public TAudioOutput {
public:
    TNullAudioOutput(TNullAudioSink& sink, std::size_t index) : FSink(sink), FIndex(index) {}

    void Write(const std::uint8_t* data, std::size_t size) override {
        std::unique_lock lock(FSink.FLock);
        ++FSink.FWaiting;
        FSink.FChanged.notify_all();
        FSink.FChanged.wait(lock, [this] { return !FSink.FHeld || FInterrupted; });
        --FSink.FWaiting;
        if (FInterrupted) {
            FInterrupted = false;
            return; // a stopped play drops the block, as a flushed device would
        }
        auto& recording = FSink.FRecordings[FIndex];
        recording.insert(recording.end(), data, data + size);
    }

    void Drain() override {}
    void Discard() override {}

    void Interrupt() override {
        std::lock_guard lock(FSink.FLock);
        FInterrupted = true;
        FSink.FChanged.notify_all();
    }

private:
    TNullAudioSink& FSink;
    std::size_t FIndex;
    bool FInterrupted = false; // guarded by the sink's lock
};

std::unique_ptr<TAudioOutput> TNullAudioSink::Open() {
    std::lock_guard lock(FLock);
    FRecordings.emplace_back();
    return std::make_unique<TNullAudioOutput>(*this, FRecordings.size() - 1);
}

void TNullAudioSink::Hold() {
    std::lock_guard lock(FLock);
    FHeld = true;
}

void TNullAudioSink::Release() {
    std::lock_guard lock(FLock);
    FHeld = false;
    FChanged.notify_all();
}

std::size_t TNullAudioSink::Recordings() const {
    std::lock_guard lock(FLock);
    return FRecordings.size();
}

std::vector<std::uint8_t> TNullAudioSink::Recording(std::size_t index) const {
    std::lock_guard lock(FLock);
    return index < FRecordings.size() ? FRecordings[index] : std::vector<std::uint8_t>();
}

std::vector<std::uint8_t> TNullAudioSink::LastRecording() const {
    std::lock_guard lock(FLock);
    return FRecordings.empty() ? std::vector<std::uint8_t>() : FRecordings.back();
}

std::size_t TNullAudioSink::TotalBytes() const {
    std::lock_guard lock(FLock);
    std::size_t total = 0;
    for (const auto& recording : FRecordings)
        total += recording.size();
    return total;
}

bool TNullAudioSink::WriteWaiting() const {
    std::lock_guard lock(FLock);
    return FWaiting > 0;
}

} // namespace bw
