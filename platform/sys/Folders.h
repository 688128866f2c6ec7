// Where the program's files live on a Linux desktop.
#pragma once

#include <filesystem>
#include <string>

namespace bw {

// Folder of the running executable.
std::filesystem::path ExecutableFolder();

// The private library folder of a program installed as <prefix>/bin/<program>:
// <prefix>/lib/brindlewave. Our own plug-in libraries live there, out of the system's
// library path.
std::filesystem::path PrivateLibraryFolder(const std::filesystem::path& programFolder);

// Where to load a library of our own from: beside the program first (a build tree or an
// unpacked copy), then the private library folder; the bare file name (the system's
// library search) when neither holds it.
std::string ProgramLibraryPath(const std::string& fileName,
                               const std::filesystem::path& programFolder);

// True when the program folder is the bin folder of an installed tree (its prefix holds
// share/doc/brindlewave). Such a folder belongs to the package manager, so nothing of the
// user's is written there, even by root.
bool IsInstalledProgramFolder(const std::filesystem::path& programFolder);

// True when we can create files in the folder.
bool IsFolderWritable(const std::filesystem::path& folder);

// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path ConfigHome();

// The user's XDG music folder (user-dirs.dirs), else ~/Music.
std::filesystem::path UserMusicFolder();

} // namespace bw
