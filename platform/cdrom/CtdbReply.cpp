#include "CtdbReply.h"

#include "CtdbSyndromes.h"
#include "Sha1Base64.h"

#include <charconv>
#include <cstring>
#include <expat.h>
#include <memory>

namespace bw {

namespace {

// More entries than any real TOC has; a reply beyond it is not trusted.
constexpr std::size_t MaxEntries = 1000;
constexpr std::size_t MaxTracks = 99;

struct TParse {
    TCtdbReply Reply;
    int Depth = 0;
    bool SawRoot = false;
    std::string Error;
};

// The local name of a (possibly namespaced, "uri name") element.
std::string_view LocalName(const char* name) {
    std::string_view n(name);
    auto space = n.rfind(' ');
    return space == std::string_view::npos ? n : n.substr(space + 1);
}

template <typename T>
bool ParseNumber(std::string_view text, T& out, int base = 10) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool ParseSyndrome(std::string_view text, std::vector<std::uint16_t>& out) {
    auto bytes = Base64Decode(text);
    if (!bytes || bytes->empty() || bytes->size() % 2 != 0 || bytes->size() > 2 * CtdbMaxNpar)
        return false;
    out = CtdbWords(*bytes);
    return true;
}

bool ParseEntry(const char** attrs, TCtdbEntry& e, std::string& error) {
    std::vector<std::uint16_t> legacyParity;
    bool hasCrc = false;
    for (int i = 0; attrs[i]; i += 2) {
        std::string_view name = LocalName(attrs[i]);
        std::string_view value = attrs[i + 1];
        bool ok = true;
        if (name == "id")
            ok = ParseNumber(value, e.Id);
        else if (name == "crc32")
            ok = hasCrc = value.size() <= 8 && ParseNumber(value, e.Crc32, 16);
        else if (name == "confidence")
            ok = ParseNumber(value, e.Confidence) && e.Confidence >= 0;
        else if (name == "npar")
            ok = ParseNumber(value, e.Npar) && e.Npar >= 0;
        else if (name == "stride")
            ok = ParseNumber(value, e.Stride) && e.Stride > 0;
        else if (name == "hasparity")
            e.ParityUrl = value;
        else if (name == "syndrome")
            ok = ParseSyndrome(value, e.Syndrome);
        else if (name == "parity")
            ok = ParseSyndrome(value, legacyParity);
        else if (name == "toc")
            e.Toc = value;
        else if (name == "trackcrcs") {
            std::size_t pos = 0;
            while (ok && pos < value.size()) {
                auto next = value.find(' ', pos);
                if (next == std::string_view::npos) next = value.size();
                std::uint32_t crc = 0;
                if (next > pos) {
                    ok = next - pos <= 8 && ParseNumber(value.substr(pos, next - pos), crc, 16) &&
                         e.TrackCrcs.size() < MaxTracks;
                    e.TrackCrcs.push_back(crc);
                }
                pos = next + 1;
            }
        }
        if (!ok) {
            error = "the entry's " + std::string(name) + " is malformed";
            return false;
        }
    }
    if (e.Syndrome.empty() && !legacyParity.empty())
        e.Syndrome = CtdbSyndromesFromCheckWords(legacyParity);
    if (!hasCrc) {
        error = "an entry has no crc32";
        return false;
    }
    return true;
}

void OnStart(void* user, const char* name, const char** attrs) {
    auto* p = static_cast<TParse*>(user);
    ++p->Depth;
    if (!p->Error.empty()) return;
    std::string_view local = LocalName(name);
    if (p->Depth == 1) {
        if (local != "ctdb") {
            p->Error = "the reply is not a CTDB reply";
            return;
        }
        p->SawRoot = true;
        for (int i = 0; attrs[i]; i += 2)
            if (LocalName(attrs[i]) == "status") p->Reply.Status = attrs[i + 1];
    } else if (p->Depth == 2 && local == "entry") {
        if (p->Reply.Entries.size() >= MaxEntries) {
            p->Error = "the reply has too many entries";
            return;
        }
        TCtdbEntry entry;
        if (ParseEntry(attrs, entry, p->Error)) p->Reply.Entries.push_back(std::move(entry));
    }
}

void OnEnd(void* user, const char*) {
    --static_cast<TParse*>(user)->Depth;
}

struct TParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

} // namespace

std::optional<TCtdbReply> ParseCtdbReply(std::string_view xml, std::string* error) {
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, TParserDeleter> parser(
        XML_ParserCreateNS(nullptr, ' '));
    if (!parser) return std::nullopt;
    TParse state;
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    // No external entities or DTDs are fetched; expat's defaults do not load any.
    bool ok = XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) ==
              XML_STATUS_OK;
    if (!ok && state.Error.empty())
        state.Error = std::string("the reply is not XML (") +
                      XML_ErrorString(XML_GetErrorCode(parser.get())) + ")";
    if (ok && !state.SawRoot && state.Error.empty()) state.Error = "the reply is empty";
    if (!state.Error.empty()) {
        if (error) *error = state.Error;
        return std::nullopt;
    }
    return std::move(state.Reply);
}

} // namespace bw
