#include "PluginSearch.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>

const char* const kPluginLookupHelp =
    "Plug-in lookup: without -p, VelaOrin.so is looked for beside this program, then in\n"
    "../lib/vst from it (an installed prefix such as /usr or ~/.local), then in ~/.vst,\n"
    "/usr/local/lib/vst and /usr/lib/vst; the first one found is used.\n";

namespace {

// The folder of the running executable, symbolic links resolved, so a link to an installed
// program in ~/bin still finds the prefix's plug-in.
std::string programFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::filesystem::path(std::string(buffer, static_cast<size_t>(length)))
      .parent_path()
      .string();
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

}  // namespace

std::vector<std::string> pluginFolders(const std::string& programDir, const std::string& home) {
  std::vector<std::string> candidates;
  if (!programDir.empty()) {
    candidates.push_back(programDir);
    candidates.push_back(programDir + "/../lib/vst");
  }
  if (!home.empty()) candidates.push_back(home + "/.vst");
  candidates.push_back("/usr/local/lib/vst");
  candidates.push_back("/usr/lib/vst");
  std::vector<std::string> folders;
  for (const std::string& candidate : candidates) {
    std::string folder = std::filesystem::path(candidate).lexically_normal().string();
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  }
  return folders;
}

PluginSearch searchPluginFolders(const std::vector<std::string>& folders) {
  std::string looked;
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + kPluginFileName;
    struct stat info {};
    // A folder of that name or a dangling link is passed over, not reported as the plug-in.
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return {path, {}};
    looked += (looked.empty() ? "" : ", ") + folder;
  }
  return {{}, std::string("plug-in ") + kPluginFileName + " not found; looked in " + looked +
                  " (give its path with -p FILE)"};
}

PluginSearch findPlugin(const std::string& given) {
  if (!given.empty()) return {given, {}};
  return searchPluginFolders(pluginFolders(programFolder(), homeFolder()));
}
