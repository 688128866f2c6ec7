#include "CtdbToc.h"

#include "Sha1Base64.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace bw {

namespace {
// The lead-out and lead-in between an enhanced CD's audio and data sessions.
constexpr int SessionGapSectors = 11400;
} // namespace

TCtdbToc TCtdbToc::Audio(std::vector<int> startsThenLeadOut) {
    TCtdbToc toc;
    toc.LeadOut = startsThenLeadOut.empty() ? 0 : startsThenLeadOut.back();
    if (!startsThenLeadOut.empty()) startsThenLeadOut.pop_back();
    toc.Starts = std::move(startsThenLeadOut);
    toc.IsAudio.assign(toc.Starts.size(), true);
    return toc;
}

int TCtdbToc::AudioTrackCount() const {
    return static_cast<int>(std::count(IsAudio.begin(), IsAudio.end(), true));
}

int TCtdbToc::AudioStart() const {
    for (std::size_t i = 0; i < Starts.size(); ++i)
        if (IsAudio[i]) return Starts[i];
    return LeadOut;
}

int TCtdbToc::AudioEnd() const {
    std::size_t last = Starts.size();
    while (last > 0 && !IsAudio[last - 1])
        --last;
    if (last == 0) return LeadOut;
    if (last == Starts.size()) return LeadOut;
    return Starts[last] - SessionGapSectors;
}

std::string CtdbTocString(const TCtdbToc& toc) {
    std::string out;
    for (std::size_t i = 0; i < toc.Starts.size(); ++i) {
        if (!toc.IsAudio[i]) out += '-';
        out += std::to_string(toc.Starts[i]) + ':';
    }
    return out + std::to_string(toc.LeadOut);
}

std::string CtdbTocId(const TCtdbToc& toc) {
    const int first = toc.AudioStart();
    std::string text;
    bool skippedFirst = false;
    char hex[16];
    for (std::size_t i = 0; i < toc.Starts.size(); ++i) {
        if (!toc.IsAudio[i]) continue;
        if (!skippedFirst) {
            skippedFirst = true;
            continue;
        }
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(toc.Starts[i] - first));
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(toc.AudioEnd() - first));
    text += hex;
    text.resize(std::max<std::size_t>(text.size(), 800), '0');
    auto digest = Sha1(text);
    std::string id = Base64Encode(digest.data(), digest.size());
    for (char& ch : id)
        ch = ch == '+' ? '.' : ch == '/' ? '_' : ch == '=' ? '-' : ch;
    return id;
}

TCtdbLayout::TCtdbLayout(const TCtdbToc& toc) {
    Start = std::int64_t(toc.AudioStart()) * CtdbSectorSamples;
    End = std::int64_t(toc.AudioEnd()) * CtdbSectorSamples;
    for (std::size_t i = 0; i < toc.Starts.size(); ++i)
        if (toc.IsAudio[i]) TrackStarts.push_back(std::int64_t(toc.Starts[i]) * CtdbSectorSamples);
    if (TrackStarts.empty() || End - Start < 3 * CtdbStrideSamples ||
        !std::is_sorted(TrackStarts.begin(), TrackStarts.end()) || TrackStarts.back() >= End)
        throw std::invalid_argument("The disc is too short for the CUETools database");
}

std::pair<std::int64_t, std::int64_t> TCtdbLayout::TrackRange(std::size_t index) const {
    auto [discBegin, discEnd] = DiscRange();
    std::int64_t begin = index == 0 ? discBegin : TrackStarts[index];
    std::int64_t end = index + 1 < TrackStarts.size() ? TrackStarts[index + 1] : discEnd;
    return {begin, std::max(begin, end)};
}

std::size_t TCtdbLayout::TrackOf(std::int64_t sample) const {
    auto it = std::upper_bound(TrackStarts.begin(), TrackStarts.end(), sample);
    return it == TrackStarts.begin() ? 0 : std::size_t(it - TrackStarts.begin() - 1);
}

std::string CtdbSectorTime(std::int64_t sector) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(sector / 4500),
                  static_cast<long long>(sector / 75 % 60), static_cast<long long>(sector % 75));
    return text;
}

} // namespace bw
