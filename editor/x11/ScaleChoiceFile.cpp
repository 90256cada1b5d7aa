#include "ScaleChoiceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PanelScale.h"

namespace velax11 {
namespace {

// Far more than a valid choice holds: a longer file is damaged whatever follows.
constexpr size_t kLongestChoice = 64;

std::string problemWith(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// mkdir -p for the folders above `path`.
bool makeFoldersFor(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool writeAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string scaleChoicePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // The XDG rule: a relative or empty value is to be ignored.
  if (config != nullptr && config[0] == '/') return std::string(config) + "/velaorin/panel";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/velaorin/panel";
  return {};
}

StoredScaleChoice readScaleChoice(const std::string& path) {
  StoredScaleChoice stored;
  if (path.empty()) return stored;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR) stored.problem = problemWith("cannot read", path);
    return stored;
  }
  std::string text(kLongestChoice + 1, '\0');
  size_t length = 0;
  for (;;) {
    const ssize_t n = read(fd, text.data() + length, text.size() - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) stored.problem = problemWith("cannot read", path);
    if (n <= 0) break;
    length += static_cast<size_t>(n);
    if (length == text.size()) break;
  }
  close(fd);
  if (!stored.problem.empty()) return stored;
  text.resize(length);
  const std::optional<double> choice = velapanel::parseScaleChoice(text);
  if (choice)
    stored.choice = *choice;
  else
    stored.problem = path + " is damaged (not one line scale=NUMBER or scale=auto)";
  return stored;
}

std::string writeScaleChoice(const std::string& path, double choice) {
  if (path.empty()) return "neither XDG_CONFIG_HOME nor HOME names a folder for the choice";
  if (!makeFoldersFor(path)) return problemWith("cannot make the folders of", path);
  // A new file beside the old one, complete on disk before it takes the old one's name: a reader
  // sees the old choice or the new, never part of one.
  std::string temporary = path + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return problemWith("cannot write beside", path);
  // mkostemp makes it private; the choice is no secret, so it reads like any other setting.
  bool ok = fchmod(fd, 0644) == 0 && writeAll(fd, velapanel::formatScaleChoice(choice)) &&
            fsync(fd) == 0;
  int failure = ok ? 0 : errno;
  close(fd);
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    errno = failure;
    return problemWith("cannot write", path);
  }
  return {};
}

}  // namespace velax11
