#include "AudioOutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <string>

namespace bw {

namespace {

// About a fifth of a second queued in the server: enough to ride out a slow drive read,
// short enough that Pause and Stop are heard at once.
constexpr pa_usec_t TargetLatencyUs = 200000;

struct TPulseFree {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};

class TPulseOutput : public TAudioOutput {
public:
    TPulseOutput() {
        const pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 2};
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUs, &format));
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(-1);
        int error = 0;
        FStream.reset(pa_simple_new(nullptr, "Brindlewave", PA_STREAM_PLAYBACK, nullptr,
                                    "CD playback", &format, nullptr, &attributes, &error));
        if (!FStream) Fail("Cannot connect to the sound server", error);
    }

    void Write(const std::uint8_t* data, std::size_t size) override {
        int error = 0;
        if (pa_simple_write(FStream.get(), data, size, &error) < 0)
            Fail("Cannot play audio", error);
    }

    void Drain() override {
        int error = 0;
        if (pa_simple_drain(FStream.get(), &error) < 0) Fail("Cannot play audio", error);
    }

    void Discard() override {
        int error = 0;
        pa_simple_flush(FStream.get(), &error); // nothing left to lose when this fails
    }

private:
    [[noreturn]] static void Fail(const char* what, int error) {
        throw EAudioOutputError(std::string(what) + ": " + pa_strerror(error));
    }

    std::unique_ptr<pa_simple, TPulseFree> FStream;
};

} // namespace

std::unique_ptr<TAudioOutput> OpenPulseOutput() {
    return std::make_unique<TPulseOutput>();
}

} // namespace bw
