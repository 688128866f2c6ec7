// The order of a rip job's work when encoding overlaps reading: track N is encoded while
// track N+1 is read. Tracks go through in job order: a track is read, waits (at most one
// track waits) until the encoder is free, is encoded (or, when its reading failed, passes
// the encoder by), and is done. Reading goes on only while no track waits, so that at most
// two WAV files exist at once. Only the bookkeeping lives here; the job acts on the answers.
#pragma once

namespace bw {

class TRipPipeline {
public:
    // What the job starts next; -1 for nothing.
    struct TNext {
        int Read = -1;
        int Encode = -1;
        bool Finished = false;
    };

    // `encodes`: false when the WAV file is the output (a track is done once read).
    TRipPipeline(int count, bool encodes) : FCount(count), FEncodes(encodes) {}

    TNext Begin();
    // The track being read is complete (or failed: it still passes the encoder, in order).
    TNext Read();
    // The track being encoded is done.
    TNext Encoded();

    int Reading() const { return FReading; }
    int Encoding() const { return FEncoding; }
    int Waiting() const { return FWaiting; }
    int DoneCount() const { return FDone; }

private:
    TNext ReadNext(TNext next);

    int FCount;
    bool FEncodes;
    int FReading = -1, FEncoding = -1, FWaiting = -1;
    int FNextRead = 0;
    int FDone = 0;
};

} // namespace bw
