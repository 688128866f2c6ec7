#include "AuTestComponents.h"

#include <algorithm>

namespace bwtest {

std::vector<std::uint8_t> Ramp(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return v;
}

void TMemorySource::DoOpenRead() {
    ++Opens;
    if (OnOpen) OnOpen();
    FRead = 0;
    FPosition = 0;
    FSize = FReportedSize == -2 ? static_cast<std::int64_t>(FData.size()) : FReportedSize;
    FSampleSize = 4;
    FBusy = true;
}

void TMemorySource::DoCloseRead() {
    ++Closes;
    FBusy = false;
    if (OnClose) OnClose();
}

void TMemorySource::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    if (FEndOfStream) { // as streamed sources do: nothing after an end or a failed open
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(std::max(Bytes, 0)),
                                           static_cast<std::size_t>(FChunk), FData.size() - FRead});
    Buffer = n ? FData.data() + FRead : nullptr;
    Bytes = static_cast<int>(n);
    FRead += n;
    FPosition += static_cast<std::int64_t>(n);
}

void TPassConverter::DoOpenRead() {
    FPosition = 0;
    if (bw::TAuInput* in = Input()) {
        in->OpenRead();
        FSize = in->Size();
    }
    FBusy = true;
}

void TPassConverter::DoCloseRead() {
    if (bw::TAuInput* in = Input()) in->CloseRead();
    FBusy = false;
}

void TPassConverter::ProduceData(std::uint8_t*& Buffer, int& Bytes) {
    bw::TAuInput* in = Input();
    if (!in) {
        Buffer = nullptr;
        Bytes = 0;
        return;
    }
    in->PullData(Buffer, Bytes);
}

void TCollectOutput::PrepareOutput() {
    ++Prepares;
    if (OnPrepare) OnPrepare();
    Data.clear();
    Input()->OpenRead();
}

bool TCollectOutput::OutputBlock(bool) {
    if (OnBlock) OnBlock();
    std::vector<std::uint8_t> block(static_cast<std::size_t>(Block));
    int got = Input()->PullInto(block.data(), Block);
    Data.insert(Data.end(), block.begin(), block.begin() + got);
    return got > 0;
}

void TCollectOutput::FinishOutput() {
    ++Finishes;
    FinishSawStopped = Stopped();
    Input()->CloseRead();
    if (OnFinish) OnFinish();
}

} // namespace bwtest
