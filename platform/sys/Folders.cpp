#include "Folders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bw {

namespace {
fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}
} // namespace

fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path();
    return exe.parent_path();
}

fs::path PrivateLibraryFolder(const fs::path& programFolder) {
    return programFolder.parent_path() / "lib" / "brindlewave";
}

std::string ProgramLibraryPath(const std::string& fileName, const fs::path& programFolder) {
    std::error_code ec;
    for (const fs::path& folder : {programFolder, PrivateLibraryFolder(programFolder)}) {
        fs::path candidate = folder / fileName;
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
    return fileName;
}

bool IsInstalledProgramFolder(const fs::path& programFolder) {
    std::error_code ec;
    return programFolder.filename() == "bin" &&
           fs::is_directory(programFolder.parent_path() / "share" / "doc" / "brindlewave", ec);
}

bool IsFolderWritable(const fs::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

fs::path ConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && xdg[0] == '/') return xdg;
    return HomeFolder() / ".config";
}

fs::path UserMusicFolder() {
    // user-dirs.dirs lines look like: XDG_MUSIC_DIR="$HOME/Music"
    std::ifstream in(ConfigHome() / "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_MUSIC_DIR=\"";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (auto quote = value.find('"'); quote != std::string::npos) value.resize(quote);
        if (value.rfind("$HOME", 0) == 0)
            return HomeFolder() / value.substr(value.size() > 5 && value[5] == '/' ? 6 : 5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return HomeFolder() / "Music";
}

} // namespace bw
