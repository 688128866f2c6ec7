// Where the program's files live on a Linux desktop.
#pragma once

#include <filesystem>

namespace bw {

// Folder of the running executable.
std::filesystem::path ExecutableFolder();

// True when we can create files in the folder.
bool IsFolderWritable(const std::filesystem::path& folder);

// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path ConfigHome();

// The user's XDG music folder (user-dirs.dirs), else ~/Music.
std::filesystem::path UserMusicFolder();

} // namespace bw
