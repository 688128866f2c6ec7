#include "ChannelDownmix.h"

#include "PcmDownmix.h"

#include <algorithm>
#include <cstring>

namespace bw {

TChannelDownmix::TChannelDownmix() = default;

TChannelDownmix::~TChannelDownmix() {
    NotifyRemoval();
}

int TChannelDownmix::GetBitsPerSample() {
    TAuInput* input = Input();
    return input ? input->BitsPerSample() : 0;
}

int TChannelDownmix::GetChannels() {
    TAuInput* input = Input();
    return input ? std::min(input->Channels(), 2) : 0;
}

int TChannelDownmix::GetSampleRate() {
    TAuInput* input = Input();
    return input ? input->SampleRate() : 0;
}

void TChannelDownmix::DoOpenRead() {
    TAuInput* input = Input();
    if (!input) throw EAuException("Input is not assigned");
    input->OpenRead();
    FBusy = true;
    FPosition = 0;
    FBufStart = FBufEnd = 0;
    FInFill = 0;
    FMix.reset();
    FMixedFrom = 0;
    const int channels = input->Channels();
    const int bits = input->BitsPerSample();
    FInFrame = channels * bits / 8;
    if (channels <= 2 || FInFrame <= 0) {
        FSize = input->Size();
        return;
    }
    try {
        FMix = std::make_unique<media::TPcmDownmix>(channels, input->GetChannelMask(),
                                                    input->SampleRate(), bits);
    } catch (const std::exception& e) {
        // Opening never fails aloud; the first pull ends the run with the reason.
        FSize = 0;
        FMixedFrom = -1;
        FOut.assign(e.what(), e.what() + std::strlen(e.what()));
        return;
    }
    FMixedFrom = channels;
    FIn.assign(static_cast<std::size_t>(FInFrame) * 4096, 0);
    const std::int64_t size = input->Size();
    FSize = size < 0 ? -1 : size / FInFrame * (2 * bits / 8);
}

void TChannelDownmix::DoCloseRead() {
    FMix.reset();
    FIn = {};
    FBusy = false;
    if (TAuInput* input = Input()) input->CloseRead();
}

void TChannelDownmix::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    TAuInput* input = Input();
    if (!Busy() || !input) throw EAuException("The Stream is not opened");
    if (FMixedFrom < 0) throw EAuException(std::string(FOut.begin(), FOut.end()));
    if (!FMix) {
        input->PullData(Buffer, Bytes);
        return;
    }
    if (FBufStart >= FBufEnd) {
        FBufStart = FBufEnd = 0;
        // Whole source frames only: a block may end inside one.
        bool ended = false;
        while (FInFill < static_cast<int>(FIn.size()) && !ended) {
            const int got =
                input->PullInto(FIn.data() + FInFill, static_cast<int>(FIn.size()) - FInFill);
            ended = got == 0;
            FInFill += got;
        }
        const int frames = FInFill / FInFrame;
        FBufEnd = static_cast<int>(FMix->Mix(FIn.data(), static_cast<std::size_t>(frames), FOut));
        FInFill = 0; // a torn last frame at the very end is dropped
        if (FBufEnd == 0) {
            Buffer = nullptr;
            Bytes = 0;
            return;
        }
    }
    Bytes = std::min(Bytes, FBufEnd - FBufStart);
    Buffer = FOut.data() + FBufStart;
    FBufStart += Bytes;
}

std::string DownmixNote(int mixedFrom) {
    return mixedFrom > 2 ? "downmixed " + std::to_string(mixedFrom) + " channels to stereo" : "";
}

} // namespace bw
