#include "CdrdaoToc.h"

#include <cctype>
#include <cstring>
#include <strings.h>
#include <vector>

namespace fs = std::filesystem;

namespace bw {

namespace {

struct TToken {
    enum TKind { Word, String, Open, Close, End } Kind = End;
    std::string Text;
    int Line = 0;
};

// Words, quoted strings (with cdrdao's backslash escapes, octal included), braces; "//"
// comments dropped. Commas and colons between words stand alone.
std::vector<TToken> TocTokens(std::string_view text) {
    std::vector<TToken> tokens;
    int line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '{' || c == '}') {
            tokens.push_back({c == '{' ? TToken::Open : TToken::Close, std::string(1, c), line});
            ++i;
        } else if (c == '"') {
            TToken token{TToken::String, "", line};
            ++i;
            while (i < text.size() && text[i] != '"') {
                char ch = text[i++];
                if (ch == '\n') ++line;
                if (ch == '\\' && i < text.size()) {
                    if (text[i] >= '0' && text[i] <= '7') {
                        int value = 0;
                        for (int k = 0;
                             k < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++k)
                            value = value * 8 + (text[i++] - '0');
                        ch = static_cast<char>(value);
                    } else {
                        ch = text[i++];
                        if (ch == '\n') ++line;
                    }
                }
                token.Text += ch;
            }
            ++i; // the closing quote
            tokens.push_back(std::move(token));
        } else {
            std::size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   text[end] != '{' && text[end] != '}' && text[end] != '"' && text[end] != ',' &&
                   !(text[end] == '/' && end + 1 < text.size() && text[end + 1] == '/'))
                ++end;
            tokens.push_back({TToken::Word, std::string(text.substr(i, end - i)), line});
            i = end;
        }
    }
    tokens.push_back({TToken::End, "", line});
    return tokens;
}

bool Is(const TToken& token, const char* keyword) {
    return token.Kind == TToken::Word && strcasecmp(token.Text.c_str(), keyword) == 0;
}

bool StartsWithDigit(const TToken& token) {
    return token.Kind == TToken::Word && !token.Text.empty() &&
           std::isdigit(static_cast<unsigned char>(token.Text[0]));
}

// Bytes per sector that a track mode stores in its data files, and whether it is audio.
bool TrackMode(const std::string& mode, std::uint32_t& sectorBytes, bool& audio) {
    static const struct {
        const char* Name;
        std::uint32_t Bytes;
    } modes[] = {{"AUDIO", 2352},       {"MODE0", 2336},          {"MODE1", 2048},
                 {"MODE1_RAW", 2352},   {"MODE2", 2336},          {"MODE2_FORM1", 2048},
                 {"MODE2_FORM2", 2324}, {"MODE2_FORM_MIX", 2336}, {"MODE2_RAW", 2352}};
    for (const auto& m : modes)
        if (strcasecmp(mode.c_str(), m.Name) == 0) {
            sectorBytes = m.Bytes;
            audio = strcasecmp(m.Name, "AUDIO") == 0;
            return true;
        }
    return false;
}

bool HasExtension(const std::string& name, const char* ext) {
    std::size_t n = std::strlen(ext);
    return name.size() > n && strcasecmp(name.c_str() + name.size() - n, ext) == 0;
}

class TTocParser {
public:
    TTocParser(std::string_view text, const fs::path& folder, const TImageFileProbe& probe,
               const std::string& name)
        : FText(text), FTokens(TocTokens(text)), FFolder(folder), FProbe(probe), FName(name) {}

    TImageLayout Parse() {
        while (Peek().Kind != TToken::End) {
            const TToken& token = Next();
            if (Is(token, "CD_DA") || Is(token, "CD_ROM") || Is(token, "CD_ROM_XA") ||
                Is(token, "CD_I")) {
                continue;
            } else if (Is(token, "CATALOG")) {
                FLayout.Catalog = ExpectString().Text;
            } else if (Is(token, "CD_TEXT")) {
                CdText(FCurrent < 0 ? FLayout.Title : Current().Title,
                       FCurrent < 0 ? FLayout.Performer : Current().Performer);
            } else if (Is(token, "TRACK")) {
                Track();
            } else if (FCurrent >= 0) {
                TrackStatement(token);
            } else {
                Unreadable(token);
            }
        }
        FinishTrack();
        FLayout.LeadOut = FDiscPos;
        FinishImageLayout(FLayout, FName);
        return std::move(FLayout);
    }

private:
    const TToken& Peek() const { return FTokens[FPos]; }
    const TToken& Next() {
        const TToken& token = FTokens[FPos];
        if (token.Kind != TToken::End) ++FPos;
        return token;
    }

    [[noreturn]] void Unreadable(const TToken& token) {
        // Quote the whole line the token stands on.
        std::string_view rest = FText;
        for (int line = 1; line < token.Line; ++line) {
            std::size_t end = rest.find('\n');
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
        std::string_view line = rest.substr(0, rest.find('\n'));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        throw EDiscImage(FName + ", line " + std::to_string(token.Line) +
                         " cannot be read: " + DescriptionText(line));
    }

    const TToken& ExpectString() {
        const TToken& token = Next();
        if (token.Kind != TToken::String) Unreadable(token);
        return token;
    }

    void Expect(TToken::TKind kind) {
        const TToken& token = Next();
        if (token.Kind != kind) Unreadable(token);
    }

    std::int64_t ExpectMsf() {
        const TToken& token = Next();
        std::int64_t sectors = ParseMsf(token.Text);
        if (token.Kind != TToken::Word || sectors < 0) Unreadable(token);
        return sectors;
    }

    // A length or position: "mm:ss:ff" in sectors, or a plain number of units (samples of
    // 4 bytes in audio tracks, bytes in data tracks) that must make whole sectors.
    std::uint64_t ExpectBytes(std::uint32_t sectorBytes) {
        const TToken& token = Next();
        if (token.Kind != TToken::Word) Unreadable(token);
        std::int64_t sectors = ParseMsf(token.Text);
        if (sectors >= 0) return std::uint64_t(sectors) * sectorBytes;
        if (token.Text.empty() || token.Text.size() > 15 ||
            token.Text.find_first_not_of("0123456789") != std::string::npos)
            Unreadable(token);
        std::uint64_t units = std::stoull(token.Text);
        return Current().Audio ? units * 4 : units;
    }

    std::int64_t WholeSectors(std::uint64_t bytes, std::uint32_t sectorBytes, const TToken& where) {
        if (bytes % sectorBytes != 0) Unreadable(where);
        return static_cast<std::int64_t>(bytes / sectorBytes);
    }

    TImageTrack& Current() { return FLayout.Tracks[FCurrent]; }

    // Skips a brace block whose "{" has been read.
    void SkipBlock() {
        int depth = 1;
        while (depth > 0) {
            const TToken& token = Next();
            if (token.Kind == TToken::End) Unreadable(token);
            if (token.Kind == TToken::Open) ++depth;
            if (token.Kind == TToken::Close) --depth;
        }
    }

    // CD_TEXT { LANGUAGE_MAP { ... } LANGUAGE n { TITLE "..." PERFORMER "..." ... } ... }
    // Titles come from the first language block.
    void CdText(std::string& title, std::string& performer) {
        Expect(TToken::Open);
        bool firstLanguage = true;
        for (;;) {
            const TToken& token = Next();
            if (token.Kind == TToken::Close) return;
            if (Is(token, "LANGUAGE_MAP")) {
                Expect(TToken::Open);
                SkipBlock();
            } else if (Is(token, "LANGUAGE")) {
                if (!StartsWithDigit(Next())) Unreadable(token);
                Expect(TToken::Open);
                for (;;) {
                    const TToken& item = Next();
                    if (item.Kind == TToken::Close) break;
                    if (item.Kind != TToken::Word) Unreadable(item);
                    const TToken& value = Next();
                    if (value.Kind == TToken::Open) {
                        SkipBlock();
                    } else if (value.Kind != TToken::String) {
                        Unreadable(value);
                    } else if (firstLanguage && Is(item, "TITLE")) {
                        title = DescriptionText(value.Text);
                    } else if (firstLanguage && Is(item, "PERFORMER")) {
                        performer = DescriptionText(value.Text);
                    }
                }
                firstLanguage = false;
            } else {
                Unreadable(token);
            }
        }
    }

    void Track() {
        FinishTrack();
        const TToken& mode = Next();
        TImageTrack track;
        track.Number = static_cast<int>(FLayout.Tracks.size()) + 1;
        if (mode.Kind != TToken::Word || !TrackMode(mode.Text, FSectorBytes, track.Audio))
            Unreadable(mode);
        if (Is(Peek(), "RW") || Is(Peek(), "RW_RAW")) {
            Next();
            FSectorBytes += 96; // sub-channel data stored after each sector
        }
        track.Start = FDiscPos;
        track.Index01 = -1;
        FLayout.Tracks.push_back(track);
        FCurrent = static_cast<int>(FLayout.Tracks.size()) - 1;
    }

    void FinishTrack() {
        if (FCurrent < 0) return;
        TImageTrack& track = Current();
        if (FDiscPos == track.Start)
            throw EDiscImage(FName + ": track " + std::to_string(track.Number) + " has no data.");
        if (track.Index01 < 0) track.Index01 = track.Start;
        if (track.Index01 >= FDiscPos)
            throw EDiscImage(FName + ": the START of track " + std::to_string(track.Number) +
                             " lies past its end.");
    }

    void AddSilence(std::int64_t sectors) {
        TImageExtent extent;
        extent.Start = FDiscPos;
        extent.Sectors = sectors;
        FLayout.Extents.push_back(extent);
        FDiscPos += sectors;
    }

    void Start(std::int64_t offset, const TToken& where) {
        TImageTrack& track = Current();
        if (track.Index01 >= 0) Unreadable(where);
        track.Index01 = track.Start + offset;
    }

    void DataFile(const TToken& keyword, bool audioFile) {
        const TToken& nameToken = ExpectString();
        std::string name = nameToken.Text;
        // cdrdao keeps raw audio samples big-endian (MSB first); SWAP marks a file holding
        // them the other way round, as a cue sheet's BINARY file does.
        bool swapKeyword = audioFile && Is(Peek(), "SWAP");
        if (swapKeyword) Next();
        for (const char* ext : {".mp3", ".ogg", ".flac"})
            if (HasExtension(name, ext)) Unreadable(nameToken);
        bool wave = audioFile && HasExtension(name, ".wav");
        std::uint64_t offset = 0;
        if (Peek().Kind == TToken::Word && !Peek().Text.empty() && Peek().Text[0] == '#') {
            const TToken& hash = Next();
            std::string digits = hash.Text.substr(1);
            if (digits.empty() || digits.size() > 15 ||
                digits.find_first_not_of("0123456789") != std::string::npos)
                Unreadable(hash);
            offset = std::stoull(digits);
        }
        std::uint32_t sectorBytes = FSectorBytes;
        if (audioFile) offset += ExpectBytes(sectorBytes);
        bool hasLength = StartsWithDigit(Peek());
        std::uint64_t length = hasLength ? ExpectBytes(sectorBytes) : 0;

        fs::path path = ImageFilePath(FFolder, name);
        TImageFileInfo info = FProbe(path, wave);
        if (!hasLength) {
            std::uint64_t left = info.DataBytes > offset ? info.DataBytes - offset : 0;
            length = (left + sectorBytes - 1) / sectorBytes * sectorBytes;
            if (length == 0) Unreadable(keyword);
        }
        TImageExtent extent;
        extent.Start = FDiscPos;
        extent.Sectors = WholeSectors(length, sectorBytes, keyword);
        extent.Silence = false;
        extent.File = path;
        extent.Offset = info.DataOffset + offset;
        extent.SectorBytes = sectorBytes;
        extent.DataEnd = info.DataOffset + info.DataBytes;
        extent.Swap = audioFile && Current().Audio && (wave == swapKeyword);
        FLayout.Extents.push_back(extent);
        FDiscPos += extent.Sectors;
    }

    void TrackStatement(const TToken& token) {
        TImageTrack& track = Current();
        if (Is(token, "NO")) {
            const TToken& what = Next();
            if (Is(what, "COPY"))
                track.CopyPermitted = false;
            else if (Is(what, "PRE_EMPHASIS"))
                track.PreEmphasis = false;
            else
                Unreadable(what);
        } else if (Is(token, "COPY")) {
            track.CopyPermitted = true;
        } else if (Is(token, "PRE_EMPHASIS")) {
            track.PreEmphasis = true;
        } else if (Is(token, "TWO_CHANNEL_AUDIO")) {
            track.FourChannel = false;
        } else if (Is(token, "FOUR_CHANNEL_AUDIO")) {
            track.FourChannel = true;
        } else if (Is(token, "ISRC")) {
            track.Isrc = ExpectString().Text;
        } else if (Is(token, "PREGAP")) {
            // Silence before index 1 that no file holds.
            if (FDiscPos != track.Start) Unreadable(token);
            std::int64_t sectors = ExpectMsf();
            AddSilence(sectors);
            Start(sectors, token);
        } else if (Is(token, "SILENCE")) {
            AddSilence(WholeSectors(ExpectBytes(FSectorBytes), FSectorBytes, token));
        } else if (Is(token, "ZERO")) {
            while (Peek().Kind == TToken::Word && !StartsWithDigit(Peek()))
                Next(); // data and sub-channel modes of the zeros
            AddSilence(WholeSectors(ExpectBytes(FSectorBytes), FSectorBytes, token));
        } else if (Is(token, "FILE") || Is(token, "AUDIOFILE")) {
            DataFile(token, true);
        } else if (Is(token, "DATAFILE")) {
            DataFile(token, false);
        } else if (Is(token, "START")) {
            Start(StartsWithDigit(Peek()) ? ExpectMsf() : FDiscPos - track.Start, token);
        } else if (Is(token, "INDEX")) {
            ExpectMsf(); // further indexes do not show in the table of contents
        } else {
            Unreadable(token);
        }
    }

    std::string_view FText;
    std::vector<TToken> FTokens;
    std::size_t FPos = 0;
    fs::path FFolder;
    const TImageFileProbe& FProbe;
    std::string FName;
    TImageLayout FLayout;
    int FCurrent = -1;
    std::uint32_t FSectorBytes = 2352;
    std::int64_t FDiscPos = 0;
};

} // namespace

TImageLayout ParseCdrdaoToc(std::string_view text, const fs::path& folder,
                            const TImageFileProbe& probe, const std::string& name) {
    return TTocParser(text, folder, probe, name).Parse();
}

} // namespace bw
