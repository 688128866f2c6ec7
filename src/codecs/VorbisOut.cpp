#include "VorbisOut.h"

#include "VorbisChannelOrder.h"

#include "VorbisFile.h"

namespace bw {

namespace {

const TOggApi& Ogg() {
    return OggLibrary().Api();
}
const TVorbisApi& Vorbis() {
    return VorbisLibrary().Api();
}

} // namespace

long VorbisBitRateValue(TVorbisBitRate rate) {
    static const long values[] = {-1,     24000,  32000,  45000,  48000,  56000,
                                  64000,  80000,  96000,  112000, 128000, 144000,
                                  160000, 192000, 224000, 256000, 320000, 499000};
    return values[static_cast<int>(rate)];
}

std::vector<std::pair<std::string, std::string>> VorbisCommentsOf(const TVorbisTags& tags) {
    std::vector<std::pair<std::string, std::string>> comments;
    for (int i = 0; i < tags.TagCount(); ++i) {
        std::string key = tags.KeyAt(i);
        std::string value = tags.ValueAsString(key);
        if (!value.empty()) comments.emplace_back(std::move(key), std::move(value));
    }
    return comments;
}

// Every structure of one run, with flags for what has been initialised, so that one
// release path serves the end of a run and a failure halfway through setting it up.
struct TVorbisOut::TCodecState {
    ogg_stream_state Stream{};
    vorbis_info Info{};
    vorbis_comment Comment{};
    vorbis_dsp_state Dsp{};
    vorbis_block Block{};
    bool HasStream = false, HasInfo = false, HasComment = false, HasDsp = false, HasBlock = false;
};

void TVorbisOut::TCodecStateDeleter::operator()(TCodecState* s) const {
    const auto& vorbis = Vorbis();
    if (s->HasStream) Ogg().ogg_stream_clear(&s->Stream);
    if (s->HasBlock) vorbis.vorbis_block_clear(&s->Block);
    if (s->HasDsp) vorbis.vorbis_dsp_clear(&s->Dsp);
    if (s->HasComment) vorbis.vorbis_comment_clear(&s->Comment);
    if (s->HasInfo) vorbis.vorbis_info_clear(&s->Info);
    delete s;
}

TVorbisOut::TVorbisOut() {
    if (!OggLibrary().Loaded()) throw EAuException(OggLibrary().NotLoadedMessage());
    if (!VorbisLibrary().Loaded()) throw EAuException(VorbisLibrary().NotLoadedMessage());
    if (!VorbisFileLibrary().Loaded()) throw EAuException(VorbisFileLibrary().NotLoadedMessage());
    if (!VorbisEncLibrary().Loaded()) throw EAuException(VorbisEncLibrary().NotLoadedMessage());
}

TVorbisOut::~TVorbisOut() {
    Shutdown();
    ReleaseRun();
}

// The nominal value always sticks; it pulls a higher minimum down and a lower maximum up,
// and automatic selection makes the maximum automatic too.
void TVorbisOut::SetDesiredNominalBitrate(TVorbisBitRate v) {
    FNominal = v;
    if (v < FMinimum) FMinimum = v;
    if (v > FMaximum) FMaximum = v;
    if (v == TVorbisBitRate::brAutoSelect) FMaximum = TVorbisBitRate::brAutoSelect;
}

// Taken only in bitrate mode, and only when automatic or not below the nominal value.
void TVorbisOut::SetDesiredMaximumBitrate(TVorbisBitRate v) {
    if (FNominal != TVorbisBitRate::brAutoSelect &&
        (v == TVorbisBitRate::brAutoSelect || v >= FNominal))
        FMaximum = v;
}

// Taken only when not above the nominal value.
void TVorbisOut::SetMinimumBitrate(TVorbisBitRate v) {
    if (v <= FNominal) FMinimum = v;
}

TVorbisSetup TVorbisOut::MakeSetup() const {
    TVorbisSetup setup;
    setup.Quality = Compression;
    setup.QualityMode = FNominal == TVorbisBitRate::brAutoSelect;
    if (!setup.QualityMode) {
        setup.Nominal = VorbisBitRateValue(FNominal);
        setup.Maximum = VorbisBitRateValue(FMaximum);
        setup.Minimum = VorbisBitRateValue(FMinimum);
        if (setup.Minimum == -1) setup.Minimum = setup.Nominal;
    }
    return setup;
}

void TVorbisOut::ReleaseRun() {
    FState.reset();
    CloseDestination();
}

void TVorbisOut::FailRun() {
    ReleaseRun();
    if (TAuInput* input = Input()) input->ResetInput();
}

void TVorbisOut::WritePage(const ogg_page& page) {
    FStream->WriteBuffer(page.header, page.header_len);
    FStream->WriteBuffer(page.body, page.body_len);
}

void TVorbisOut::PrepareOutput() {
    try {
        const bool append = FileMode() == TFileOutputMode::foAppend;
        OpenDestination(append);
        TAuInput& input = *Input();
        input.OpenRead();
        if (append) FStream->Seek(0, TSeekOrigin::soEnd);
        FEndOfStream = false;
        FChannels = input.Channels();
        FBits = input.BitsPerSample();
        if (FChannels < 1 || FChannels > MaxChannels)
            throw EAuException("Vorbis codec setup failed: unsupported channel count.");

        const auto& ogg = Ogg();
        const auto& vorbis = Vorbis();
        const auto& enc = VorbisEncLibrary().Api();
        FState.reset(new TCodecState);
        TCodecState& s = *FState;
        vorbis.vorbis_info_init(&s.Info);
        s.HasInfo = true;
        const TVorbisSetup setup = MakeSetup();
        if (setup.QualityMode) {
            // A quality or format the library refuses would leave an unusable encoder.
            if (enc.vorbis_encode_setup_vbr(&s.Info, FChannels, input.SampleRate(),
                                            setup.Quality) != 0 ||
                enc.vorbis_encode_setup_init(&s.Info) != 0)
                throw EAuException("Vorbis codec setup with the requested quality failed.");
        } else if (enc.vorbis_encode_init(&s.Info, FChannels, input.SampleRate(), setup.Maximum,
                                          setup.Nominal, setup.Minimum) != 0) {
            throw EAuException(
                "Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.");
        }
        vorbis.vorbis_comment_init(&s.Comment);
        s.HasComment = true;
        for (const auto& [key, value] : VorbisCommentsOf(FComments))
            vorbis.vorbis_comment_add_tag(&s.Comment, key.c_str(), value.c_str());
        if (vorbis.vorbis_analysis_init(&s.Dsp, &s.Info) != 0)
            throw EAuException("Vorbis codec setup with the requested quality failed.");
        s.HasDsp = true;
        vorbis.vorbis_block_init(&s.Dsp, &s.Block);
        s.HasBlock = true;
        ogg.ogg_stream_init(&s.Stream, Serial);
        s.HasStream = true;

        ogg_packet identification, comment, codebooks;
        vorbis.vorbis_analysis_headerout(&s.Dsp, &s.Comment, &identification, &comment, &codebooks);
        ogg.ogg_stream_packetin(&s.Stream, &identification);
        ogg.ogg_stream_packetin(&s.Stream, &comment);
        ogg.ogg_stream_packetin(&s.Stream, &codebooks);
        ogg_page page;
        while (ogg.ogg_stream_flush(&s.Stream, &page) != 0)
            WritePage(page);
    } catch (...) {
        FailRun();
        throw;
    }
}

bool TVorbisOut::OutputBlock(bool Abort) {
    if (Abort || FEndOfStream) return false;
    try {
        const auto& ogg = Ogg();
        const auto& vorbis = Vorbis();
        TCodecState& s = *FState;
        std::uint8_t* data = nullptr;
        int bytes = BlockBytes;
        Input()->PullData(data, bytes);
        const int frameSize = FChannels * FBits / 8;
        const int frames = frameSize > 0 ? bytes / frameSize : 0;
        float** buffers = vorbis.vorbis_analysis_buffer(&s.Dsp, BlockBytes);
        if (bytes != 0) {
            // Straight from the input's buffer into the library's.
            const std::array<int, 16> from = VorbisChannelSources(FChannels);
            if (FBits == 16) {
                for (int i = 0; i < frames; ++i)
                    for (int c = 0; c < FChannels; ++c) {
                        const std::uint8_t* p = data + 2 * (i * FChannels + from[c]);
                        buffers[c][i] = static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
                    }
            } else if (FBits == 8) {
                for (int i = 0; i < frames; ++i)
                    for (int c = 0; c < FChannels; ++c)
                        buffers[c][i] = (int(data[i * FChannels + from[c]]) - 128) / 128.0f;
            } else {
                for (int i = 0; i < frames; ++i)
                    for (int c = 0; c < FChannels; ++c) {
                        const std::uint8_t* p = data + i * frameSize + 3 * from[c];
                        const int v = p[0] | p[1] << 8 | p[2] << 16;
                        buffers[c][i] = ((v ^ 0x800000) - 0x800000) / 8388608.0f;
                    }
            }
            vorbis.vorbis_analysis_wrote(&s.Dsp, frames);
        } else {
            vorbis.vorbis_analysis_wrote(&s.Dsp, 0); // the stream ends
        }
        ogg_packet packet;
        ogg_page page;
        while (vorbis.vorbis_analysis_blockout(&s.Dsp, &s.Block) == 1) {
            vorbis.vorbis_analysis(&s.Block, nullptr);
            vorbis.vorbis_bitrate_addblock(&s.Block);
            while (vorbis.vorbis_bitrate_flushpacket(&s.Dsp, &packet) != 0) {
                ogg.ogg_stream_packetin(&s.Stream, &packet);
                while (!FEndOfStream && ogg.ogg_stream_pageout(&s.Stream, &page) != 0) {
                    WritePage(page);
                    if (ogg.ogg_page_eos(&page) != 0) FEndOfStream = true;
                }
            }
        }
        return true;
    } catch (...) {
        FailRun();
        throw;
    }
}

void TVorbisOut::FinishOutput() {
    CloseDestination();
    Input()->CloseRead();
    FComments.Clear();
    FState.reset();
}

} // namespace bw
