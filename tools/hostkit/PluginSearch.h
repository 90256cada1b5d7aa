// Where the tools find VelaOrin.so when no path is given: beside the program (the build tree),
// in ../lib/vst from it (an installed prefix: /usr, /usr/local, ~/.local), then in the folders
// VST 2 hosts search on Linux.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kPluginFileName = "VelaOrin.so";

// The order above in words, for --help and the manual pages.
extern const char* const kPluginLookupHelp;

// The folders to look in, in order, for a program in `programDir` (absolute); `home` empty means
// no ~/.vst. A folder reached twice (a program in /usr/bin) is listed once.
std::vector<std::string> pluginFolders(const std::string& programDir, const std::string& home);

struct PluginSearch {
  std::string path;   // the first folder's VelaOrin.so that is a file (or a link to one)
  std::string error;  // when there is none: one line naming every folder looked in
};

PluginSearch searchPluginFolders(const std::vector<std::string>& folders);

// `given` (the -p option) as it is, unchecked; when empty, the search for the running program
// and $HOME.
PluginSearch findPlugin(const std::string& given);
