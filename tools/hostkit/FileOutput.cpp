#include "FileOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ToolError.h"

namespace {

// The one temporary file a signal handler may have to remove (async-signal-safe: a plain array).
char pendingTemp[PATH_MAX] = "";

void removePendingAndDie(int signalNumber) {
  if (pendingTemp[0] != '\0') unlink(pendingTemp);
  std::signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void setPending(const std::string& path) {
  const size_t length = std::min(path.size(), sizeof pendingTemp - 1);
  std::memcpy(pendingTemp, path.data(), length);
  pendingTemp[length] = '\0';
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder (end the name with / to write into it)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool sameFile(const struct stat& a, const OutputTarget& b) {
  return a.st_dev == b.device && a.st_ino == b.inode;
}

// Root may write anything; a file nobody may write is still not ours to replace.
bool writable(const std::string& path, mode_t mode) {
  if (geteuid() == 0) return (mode & 0222) != 0;
  return access(path.c_str(), W_OK) == 0;
}

void writeAll(int fd, const uint8_t* bytes, size_t size, const std::string& what) {
  while (size > 0) {
    const ssize_t done = ::write(fd, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) throw ToolError("cannot write " + what + ": " + std::strerror(errno));
    bytes += done;
    size -= static_cast<size_t>(done);
  }
}

std::string cannotWrite(const std::string& path, int error) {
  return "cannot write output '" + path + "': " + std::strerror(error);
}

// Puts a finished temporary file at the target's path: over what was checked there (overwrite),
// or only where nothing has appeared meanwhile.
void placeFinishedFile(const OutputTarget& target, const std::string& tempPath, bool overwrite,
                       const std::string& inputPath) {
  const std::string& path = target.path;
  if (overwrite) {
    // Checked again just before: what sits at the path now must still be what was checked.
    const OutputTarget now = checkOutputTarget(path, true, inputPath);
    if (now.exists != target.exists || now.finalPath != target.finalPath ||
        (now.exists && (now.device != target.device || now.inode != target.inode)))
      throw ToolError("output '" + path + "' changed while rendering; not replaced");
    if (rename(tempPath.c_str(), target.finalPath.c_str()) != 0)
      throw ToolError(cannotWrite(path, errno));
    return;
  }
  // link() fails when the name was taken meanwhile, where rename() would replace it.
  if (link(tempPath.c_str(), path.c_str()) == 0) {
    unlink(tempPath.c_str());
    return;
  }
  const int error = errno;
  const bool noHardLinks = error == EPERM || error == ENOTSUP || error == EOPNOTSUPP;
  struct stat info {};
  if (error == EEXIST || (noHardLinks && lstat(path.c_str(), &info) == 0))
    throw ToolError("output '" + path + "' already exists (use --overwrite to replace it)");
  if (!noHardLinks || rename(tempPath.c_str(), path.c_str()) != 0)
    throw ToolError(cannotWrite(path, noHardLinks ? errno : error));
}

}  // namespace

OutputTarget checkOutputTarget(const std::string& path, bool overwrite,
                               const std::string& inputPath) {
  if (path.empty()) throw ToolError("no output file given");
  OutputTarget target;
  target.path = path;
  target.finalPath = path;
  if (path == "-") return target;

  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) return target;  // a new file
  struct stat info {};
  if (stat(path.c_str(), &info) != 0)
    throw ToolError("output '" + path + "' is a symbolic link to nothing");
  if (!S_ISREG(info.st_mode)) throw ToolError("output '" + path + "' is " + kindOf(info.st_mode));
  target.exists = true;
  target.device = info.st_dev;
  target.inode = info.st_ino;
  target.mode = info.st_mode;

  struct stat input {};
  const bool haveInput = inputPath == "-" ? fstat(STDIN_FILENO, &input) == 0
                         : !inputPath.empty() ? stat(inputPath.c_str(), &input) == 0
                                              : false;
  if (haveInput && sameFile(input, target))
    throw ToolError("output '" + path + "' is the MIDI file being read");
  if (!overwrite)
    throw ToolError("output '" + path + "' already exists (use --overwrite to replace it)");
  if (!writable(path, info.st_mode)) throw ToolError("output '" + path + "' is read-only");
  if (S_ISLNK(link.st_mode)) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
      throw ToolError("cannot follow output '" + path + "': " + std::strerror(errno));
    target.finalPath = resolved;
    std::free(resolved);
  }
  return target;
}

PendingFile::PendingFile(const OutputTarget& target) : target_(target) {
  const std::string folder = folderOf(target.finalPath);
  // A short name, so any name the folder allows still leaves room for it.
  std::string pattern = folder + "/.vo-XXXXXX";
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0)
    throw ToolError("cannot write output '" + target.path + "' in '" + folder +
                    "': " + std::strerror(errno));
  path_ = pattern;
  setPending(path_);
  // mkstemp makes the file private; a replaced file keeps its permissions, a new one gets the
  // usual ones.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, target.exists ? (target.mode & 07777) : (0666 & ~mask));
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) close(fd_);
  if (!placed_) unlink(path_.c_str());
  pendingTemp[0] = '\0';
}

void PendingFile::write(const uint8_t* bytes, size_t size) {
  writeAll(fd_, bytes, size, "output '" + target_.path + "'");
}

void PendingFile::place(bool overwrite, const std::string& inputPath) {
  // On disk before the name points at it: a crash after the rename finds the whole file.
  if (fsync(fd_) != 0) throw ToolError(cannotWrite(target_.path, errno));
  const int closed = close(fd_);
  fd_ = -1;
  if (closed != 0) throw ToolError(cannotWrite(target_.path, errno));
  placeFinishedFile(target_, path_, overwrite, inputPath);
  placed_ = true;
}

void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool overwrite,
                    const std::vector<std::string>& inputPaths) {
  OutputTarget target = checkOutputTarget(path, overwrite);
  for (const std::string& input : inputPaths) target = checkOutputTarget(path, overwrite, input);
  if (path == "-") return writeToStandardOutput(bytes);
  PendingFile file(target);
  file.write(bytes.data(), bytes.size());
  file.place(overwrite, inputPaths.empty() ? "" : inputPaths.front());
}

void writeToStandardOutput(const std::vector<uint8_t>& bytes) {
  std::signal(SIGPIPE, SIG_IGN);
  writeAll(STDOUT_FILENO, bytes.data(), bytes.size(), "to standard output");
}

void installOutputCleanupOnSignals() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, removePendingAndDie);
}
