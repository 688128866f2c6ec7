#include "RipPipeline.h"

namespace bw {

TRipPipeline::TNext TRipPipeline::ReadNext(TNext next) {
    if (FReading < 0 && FWaiting < 0 && FNextRead < FCount) {
        FReading = FNextRead++;
        next.Read = FReading;
    }
    next.Finished = FDone == FCount;
    return next;
}

TRipPipeline::TNext TRipPipeline::Begin() {
    return ReadNext({});
}

TRipPipeline::TNext TRipPipeline::Read() {
    TNext next;
    const int track = FReading;
    FReading = -1;
    if (track < 0) return next;
    if (!FEncodes) {
        ++FDone;
    } else if (FEncoding < 0) {
        FEncoding = track;
        next.Encode = track;
    } else {
        FWaiting = track;
    }
    return ReadNext(next);
}

TRipPipeline::TNext TRipPipeline::Encoded() {
    TNext next;
    if (FEncoding < 0) return next;
    FEncoding = -1;
    ++FDone;
    if (FWaiting >= 0) {
        FEncoding = FWaiting;
        FWaiting = -1;
        next.Encode = FEncoding;
    }
    return ReadNext(next);
}

} // namespace bw
