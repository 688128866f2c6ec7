#include "FlacMend.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace bw {

namespace {

struct TDecoderDeleter {
    void operator()(FLAC__StreamDecoder* d) const { FLAC__stream_decoder_delete(d); }
};
struct TEncoderDeleter {
    void operator()(FLAC__StreamEncoder* e) const { FLAC__stream_encoder_delete(e); }
};
struct TChainDeleter {
    void operator()(FLAC__Metadata_Chain* c) const { FLAC__metadata_chain_delete(c); }
};

struct TMend {
    FLAC__StreamEncoder* Encoder = nullptr;
    const std::map<std::uint64_t, std::uint16_t>* Fixes = nullptr;
    const std::atomic<bool>* Cancel = nullptr;
    std::uint64_t Samples = 0; // decoded so far
    std::vector<FLAC__int32> Left, Right;
    bool Unsuitable = false, EncoderFailed = false;
};

FLAC__StreamDecoderWriteStatus OnFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const buffer[], void* user) {
    auto* m = static_cast<TMend*>(user);
    if (frame->header.channels != 2 || frame->header.bits_per_sample != 16) {
        m->Unsuitable = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (m->Cancel && m->Cancel->load()) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    const unsigned n = frame->header.blocksize;
    m->Left.assign(buffer[0], buffer[0] + n);
    m->Right.assign(buffer[1], buffer[1] + n);
    const std::uint64_t first = m->Samples * 4, end = (m->Samples + n) * 4;
    for (auto it = m->Fixes->lower_bound(first); it != m->Fixes->end() && it->first < end; ++it) {
        const std::uint64_t sample = it->first / 4 - m->Samples;
        auto& channel = (it->first / 2) % 2 == 0 ? m->Left : m->Right;
        auto word = static_cast<std::uint16_t>(channel[sample]) ^ it->second;
        channel[sample] = static_cast<std::int16_t>(word);
    }
    m->Samples += n;
    const FLAC__int32* channels[2] = {m->Left.data(), m->Right.data()};
    if (!FLAC__stream_encoder_process(m->Encoder, channels, n)) {
        m->EncoderFailed = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

} // namespace

std::string WriteMendedFlac(const fs::path& in, const fs::path& out,
                            const std::map<std::uint64_t, std::uint16_t>& fixes,
                            const std::atomic<bool>* cancel) {
    std::unique_ptr<FLAC__Metadata_Chain, TChainDeleter> chain(FLAC__metadata_chain_new());
    if (!chain || !FLAC__metadata_chain_read(chain.get(), in.c_str()))
        return "cannot read the FLAC file " + in.string();
    // Every block but those the encoder writes itself.
    std::vector<FLAC__StreamMetadata*> blocks;
    FLAC__uint64 total = 0;
    {
        FLAC__Metadata_Iterator* it = FLAC__metadata_iterator_new();
        FLAC__metadata_iterator_init(it, chain.get());
        do {
            FLAC__StreamMetadata* block = FLAC__metadata_iterator_get_block(it);
            if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
                total = block->data.stream_info.total_samples;
                if (block->data.stream_info.channels != 2 ||
                    block->data.stream_info.bits_per_sample != 16 ||
                    block->data.stream_info.sample_rate != 44100) {
                    FLAC__metadata_iterator_delete(it);
                    return in.string() + " is not 16-bit stereo audio at 44100 Hz";
                }
            } else if (block->type != FLAC__METADATA_TYPE_SEEKTABLE) {
                blocks.push_back(block);
            }
        } while (FLAC__metadata_iterator_next(it));
        FLAC__metadata_iterator_delete(it);
    }
    std::unique_ptr<FLAC__StreamEncoder, TEncoderDeleter> encoder(FLAC__stream_encoder_new());
    std::unique_ptr<FLAC__StreamDecoder, TDecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!encoder || !decoder) return "cannot start a FLAC encoder";
    FLAC__stream_encoder_set_channels(encoder.get(), 2);
    FLAC__stream_encoder_set_bits_per_sample(encoder.get(), 16);
    FLAC__stream_encoder_set_sample_rate(encoder.get(), 44100);
    FLAC__stream_encoder_set_compression_level(encoder.get(), 5);
    FLAC__stream_encoder_set_total_samples_estimate(encoder.get(), total);
    if (!blocks.empty())
        FLAC__stream_encoder_set_metadata(encoder.get(), blocks.data(), unsigned(blocks.size()));
    if (FLAC__stream_encoder_init_file(encoder.get(), out.c_str(), nullptr, nullptr) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        return "cannot write " + out.string();
    TMend mend;
    mend.Encoder = encoder.get();
    mend.Fixes = &fixes;
    mend.Cancel = cancel;
    bool ok = FLAC__stream_decoder_init_file(decoder.get(), in.c_str(), OnFrame, nullptr, OnError,
                                             &mend) == FLAC__STREAM_DECODER_INIT_STATUS_OK &&
              FLAC__stream_decoder_process_until_end_of_stream(decoder.get()) &&
              FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM;
    FLAC__stream_decoder_finish(decoder.get());
    const bool written = FLAC__stream_encoder_finish(encoder.get());
    std::string why;
    if (cancel && cancel->load())
        why = "stopped";
    else if (mend.Unsuitable)
        why = in.string() + " is not 16-bit stereo audio";
    else if (mend.EncoderFailed || !written)
        why = "cannot write " + out.string();
    else if (!ok || (total != 0 && mend.Samples != total))
        why = in.string() + " is damaged: it cannot be decoded to its end";
    if (!why.empty()) {
        std::error_code ec;
        fs::remove(out, ec);
    }
    return why;
}

} // namespace bw
