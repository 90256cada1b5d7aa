#include "WavOutput.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
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

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int subtypeOf(BitDepth depth) {
  switch (depth) {
    case BitDepth::Pcm16:
      return SF_FORMAT_PCM_16;
    case BitDepth::Pcm24:
      return SF_FORMAT_PCM_24;
    case BitDepth::Float32:
      return SF_FORMAT_FLOAT;
  }
  return SF_FORMAT_PCM_16;
}

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

void checkOutputTarget(const std::string& path, bool overwrite) {
  if (path.empty()) throw ToolError("no output file given");
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw ToolError("output '" + path + "' is a directory");
    if (!overwrite)
      throw ToolError("output '" + path + "' already exists (use --overwrite to replace it)");
  }
}

void installOutputCleanupOnSignals() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, removePendingAndDie);
}

WavOutput::WavOutput(const std::string& path, bool overwrite, int32_t sampleRate, BitDepth depth)
    : path_(path), overwrite_(overwrite) {
  checkOutputTarget(path, overwrite);
  const std::string folder = folderOf(path);
  std::string pattern = folder + "/." + baseName(path) + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0)
    throw ToolError("cannot write output '" + path + "' in '" + folder +
                    "': " + std::strerror(errno));
  tempPath_ = pattern;
  setPending(tempPath_);
  // mkstemp makes the file private; the finished file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);

  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | subtypeOf(depth);
  file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (file_ == nullptr) {
    const std::string reason = sf_strerror(nullptr);
    close(fd);
    discard();
    throw ToolError("cannot write output '" + path + "': " + reason);
  }
  // Integer formats: clip rather than wrap around on samples beyond full scale.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

WavOutput::~WavOutput() {
  if (!committed_) discard();
}

void WavOutput::discard() noexcept {
  if (file_ != nullptr) {
    sf_close(file_);
    file_ = nullptr;
  }
  if (!tempPath_.empty()) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  pendingTemp[0] = '\0';
}

void WavOutput::write(const float* interleavedStereo, int32_t frames) {
  if (frames <= 0) return;
  const sf_count_t written = sf_writef_float(file_, interleavedStereo, frames);
  if (written != frames)
    throw ToolError("cannot write output '" + path_ + "': " + sf_strerror(file_));
}

void WavOutput::commit() {
  sf_write_sync(file_);
  const int closeError = sf_close(file_);
  file_ = nullptr;
  if (closeError != 0)
    throw ToolError("cannot finish output '" + path_ + "': " + sf_error_number(closeError));
  if (overwrite_) {
    if (rename(tempPath_.c_str(), path_.c_str()) != 0)
      throw ToolError("cannot write output '" + path_ + "': " + std::strerror(errno));
  } else {
    // link() fails when the name was taken meanwhile, where rename() would replace it.
    if (link(tempPath_.c_str(), path_.c_str()) == 0) {
      unlink(tempPath_.c_str());
    } else {
      const int error = errno;
      const bool noHardLinks = error == EPERM || error == ENOTSUP || error == EOPNOTSUPP;
      if (error == EEXIST || (noHardLinks && exists(path_)))
        throw ToolError("output '" + path_ + "' already exists (use --overwrite to replace it)");
      if (!noHardLinks || rename(tempPath_.c_str(), path_.c_str()) != 0)
        throw ToolError("cannot write output '" + path_ +
                        "': " + std::strerror(noHardLinks ? errno : error));
    }
  }
  tempPath_.clear();
  pendingTemp[0] = '\0';
  committed_ = true;
}
