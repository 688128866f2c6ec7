#include "FileNameTemplate.h"

#include "Global.h"

#include <string_view>
#include <vector>

namespace bw {

namespace {

// Names longer than this are cut (at a character boundary) so that the extension and a
// " (2)" still fit within the 255 bytes a Linux file system allows.
constexpr std::size_t MaxNameBytes = 200;

std::string TrackName(int TrackNumber) {
    return "Track" + TwoDigits(TrackNumber);
}

// A value as one plain name; one that gives none becomes the fallback.
std::string Plain(const std::string& Value, const std::string& Fallback) {
    std::string Clean;
    for (char c : Value) {
        if (c == '/')
            Clean += '-';
        else if (c != '\0')
            Clean += c;
    }
    if (Clean.empty() || Clean == "." || Clean == "..") return Fallback;
    return Clean;
}

std::string Shortened(std::string Name) {
    if (Name.size() <= MaxNameBytes) return Name;
    std::size_t Cut = MaxNameBytes;
    while (Cut > 0 && (static_cast<unsigned char>(Name[Cut]) & 0xC0) == 0x80)
        --Cut;
    return Name.substr(0, Cut);
}

} // namespace

std::string ExpandFileNameTemplate(const std::string& Template, const TFileNameFields& Fields) {
    const std::string& Pattern = Template.empty() ? std::string(DefaultFileNameTemplate) : Template;
    std::string Out;
    for (std::size_t i = 0; i < Pattern.size(); ++i) {
        if (Pattern[i] != '%' || i + 1 == Pattern.size()) {
            Out += Pattern[i];
            continue;
        }
        char Code = Pattern[++i];
        switch (Code) {
        // The disc's fields are the same for every track, and so are their stand-ins: a
        // disc without an artist still goes into one folder, not one per track.
        case 'A':
            Out += Plain(Fields.Artist, "Unknown Artist");
            break;
        case 'd':
            Out += Plain(Fields.Album, "Unknown Album");
            break;
        case 'y':
            Out += Plain(Fields.Year, "Unknown Year");
            break;
        case 'g':
            Out += Plain(Fields.Genre, "Unknown Genre");
            break;
        case 't':
            Out += TwoDigits(Fields.TrackNumber);
            break;
        case 'n':
            Out += Plain(Fields.Title, TrackName(Fields.TrackNumber));
            break;
        case 'a':
            Out += Plain(Fields.TrackArtist.empty() ? Fields.Artist : Fields.TrackArtist,
                         "Unknown Artist");
            break;
        case 'D':
            Out += std::to_string(Fields.DiscNumber > 0 ? Fields.DiscNumber : 1);
            break;
        case '%':
            Out += '%';
            break;
        default:
            Out += '%';
            Out += Code;
        }
    }
    // The template's own text may hold "..", "//" or a leading "/": every part of the path
    // ends up a plain name.
    std::vector<std::string> Parts;
    std::size_t Start = 0;
    for (;;) {
        std::size_t Slash = Out.find('/', Start);
        std::string Part =
            Out.substr(Start, Slash == std::string::npos ? std::string::npos : Slash - Start);
        if (!Part.empty()) Parts.push_back(Shortened(Plain(Part, TrackName(Fields.TrackNumber))));
        if (Slash == std::string::npos) break;
        Start = Slash + 1;
    }
    if (Parts.empty()) return TrackName(Fields.TrackNumber);
    std::string Path;
    for (const std::string& Part : Parts)
        Path += (Path.empty() ? "" : "/") + Part;
    return Path;
}

std::string TemplateFolderOf(const std::string& Expanded) {
    std::size_t Slash = Expanded.rfind('/');
    return Slash == std::string::npos ? std::string() : Expanded.substr(0, Slash);
}

bool IsSafeRelativePath(const std::string& Path) {
    if (Path.empty() || Path.find('\0') != std::string::npos) return false;
    std::size_t Start = 0;
    for (;;) {
        std::size_t Slash = Path.find('/', Start);
        std::string Part =
            Path.substr(Start, Slash == std::string::npos ? std::string::npos : Slash - Start);
        if (Part.empty() || Part == "." || Part == "..") return false;
        if (Slash == std::string::npos) return true;
        Start = Slash + 1;
    }
}

std::string FileNameTemplateProblem(const std::string& Template) {
    if (Template.find_first_not_of(" \t") == std::string::npos)
        return "The file name template is empty: it needs at least %n (the track's title) or "
               "%t (its number).";
    for (std::size_t i = 0; i < Template.size(); ++i) {
        const auto c = static_cast<unsigned char>(Template[i]);
        if (c < 0x20 || c == 0x7f) return "The file name template holds a control character.";
        if (c != '%') continue;
        if (i + 1 >= Template.size() ||
            std::string_view("AdygtnaD%").find(Template[i + 1]) == std::string_view::npos)
            return "The file name template holds \"" + Template.substr(i, 2) +
                   "\", which is no placeholder: use %A, %d, %y, %g, %t, %n, %a or %D (%% for a "
                   "%).";
        ++i;
    }
    if (Template.front() == '/')
        return "The file name template must not begin with \"/\": it names the files within "
               "the output folder.";
    std::string last;
    for (std::size_t from = 0;;) {
        const std::size_t slash = Template.find('/', from);
        last = Template.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        if (last.find_first_not_of(" \t") == std::string::npos)
            return "The file name template has an empty folder or file name (\"//\" or a \"/\" "
                   "at its end).";
        if (last == "." || last == "..")
            return "The file name template must not use \".\" or \"..\" as a folder name.";
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    // "%%t" is a "%" and a "t", not the track's number.
    for (std::size_t at; (at = last.find("%%")) != std::string::npos;)
        last.erase(at, 2);
    if (last.find("%t") == std::string::npos && last.find("%n") == std::string::npos)
        return "The file name template gives every track the same name: put %t or %n after its "
               "last \"/\".";
    return {};
}

} // namespace bw
