// Where CD playback sends its audio: 44100 Hz 16-bit stereo PCM, little-endian. The sound
// server's output plays it; the null output keeps what it receives, for tests.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace bw {

// A failure of the audio output (no sound server, a write refused).
class EAudioOutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Used by one playing thread, except Interrupt, which another thread may call.
class TAudioOutput {
public:
    virtual ~TAudioOutput() = default;
    // Blocks until the bytes are queued for playing; throws EAudioOutputError.
    virtual void Write(const std::uint8_t* data, std::size_t size) = 0;
    // Waits until everything written has been played.
    virtual void Drain() = 0;
    // Drops what is queued but not yet played.
    virtual void Discard() = 0;
    // Makes a Write blocked in this output return soon.
    virtual void Interrupt() {}
};

using TAudioOutputFactory = std::function<std::unique_ptr<TAudioOutput>()>;

// The desktop's sound server through the PulseAudio client library (PipeWire serves it
// too); throws EAudioOutputError when there is none to connect to.
std::unique_ptr<TAudioOutput> OpenPulseOutput();

// Records every byte its outputs receive, one recording per opened output, and can hold
// writes back (a sound card that takes nothing) until released.
class TNullAudioSink {
public:
    // A new output whose bytes form the next recording.
    std::unique_ptr<TAudioOutput> Open();
    TAudioOutputFactory Factory() {
        return [this] { return Open(); };
    }

    // Writes wait while held; a released sink takes everything at once.
    void Hold();
    void Release();

    std::size_t Recordings() const;
    // The bytes of a recording (0 = the first opened output); empty when there is none.
    std::vector<std::uint8_t> Recording(std::size_t index) const;
    std::vector<std::uint8_t> LastRecording() const;
    // Bytes taken by all outputs so far.
    std::size_t TotalBytes() const;
    // True once a write is waiting because the sink is held.
    bool WriteWaiting() const;

private:
    friend class TNullAudioOutput;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    bool FHeld = false;
    int FWaiting = 0;
    std::vector<std::vector<std::uint8_t>> FRecordings;
};

} // namespace bw
