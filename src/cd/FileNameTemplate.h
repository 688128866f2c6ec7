// File names from the [Rip] FileNameTemplate setting: placeholders replaced by the disc's and
// the track's fields, "/" making folders. Values come from discs and servers, so none of
// them can make a folder of its own or lead out of the output folder.
#pragma once

#include <string>

namespace bw {

struct TFileNameFields {
    std::string Artist;           // %A
    std::string Album;            // %d
    std::string Year;             // %y
    std::string Genre;            // %g
    int TrackNumber = 0;          // %t, two digits
    std::string Title;            // %n
    std::string TrackArtist = {}; // %a; the disc's artist when empty
    int DiscNumber = 0;           // %D; 1 when unknown (a single disc)
};

constexpr const char* DefaultFileNameTemplate = "%n";

// The path of a track's file within the output folder, without extension, "/" between
// folders. In a value "/" becomes "-"; a value that is empty, "." or ".." becomes "Track"
// and the track's two digits, and so does any such folder or file name of the result. "%%"
// is "%"; an unknown placeholder stays as it stands. An empty template is the default.
std::string ExpandFileNameTemplate(const std::string& Template, const TFileNameFields& Fields);

// Why a template the user typed cannot name a rip's files ("" when it can): it must hold
// only known placeholders and no control character, stay relative, have no empty, "." or
// ".." folder, and give each track a name of its own (%t or %n after its last "/").
std::string FileNameTemplateProblem(const std::string& Template);

// The folder part of an expanded name ("" when it has none).
std::string TemplateFolderOf(const std::string& Expanded);

// True for a path of plain names joined by "/": none empty, ".", ".." or holding NUL.
bool IsSafeRelativePath(const std::string& Path);

} // namespace bw
