#include "AudioOutput.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

struct FormatEntry {
  FileFormat format;
  const char* extension;
  const char* name;
  int major;  // libsndfile container
};
constexpr FormatEntry kFormats[] = {
    {FileFormat::Wav, ".wav", "WAV", SF_FORMAT_WAV},
    {FileFormat::Flac, ".flac", "FLAC", SF_FORMAT_FLAC},
    {FileFormat::Aiff, ".aiff", "AIFF", SF_FORMAT_AIFF},
    {FileFormat::Aiff, ".aif", "AIFF", SF_FORMAT_AIFF},
    {FileFormat::Ogg, ".ogg", "Ogg Vorbis", SF_FORMAT_OGG},
};

const FormatEntry& entryFor(FileFormat format) {
  for (const FormatEntry& entry : kFormats)
    if (entry.format == format) return entry;
  return kFormats[0];
}

int sndfileFormat(const OutputFormat& format) {
  if (format.file == FileFormat::Ogg) return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  const int major = entryFor(format.file).major;
  switch (format.depth) {
    case BitDepth::Pcm24:
      return major | SF_FORMAT_PCM_24;
    case BitDepth::Float32:
      return major | SF_FORMAT_FLOAT;
    case BitDepth::Pcm16:
      break;
  }
  return major | SF_FORMAT_PCM_16;
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

// The file built for standard output, through libsndfile's virtual I/O.
sf_count_t memoryLength(void* user);
sf_count_t memorySeek(sf_count_t offset, int whence, void* user);
sf_count_t memoryRead(void* ptr, sf_count_t count, void* user);
sf_count_t memoryWrite(const void* ptr, sf_count_t count, void* user);
sf_count_t memoryTell(void* user);

void writeAll(int fd, const uint8_t* bytes, size_t size, const std::string& what) {
  while (size > 0) {
    const ssize_t done = ::write(fd, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) throw ToolError("cannot write " + what + ": " + std::strerror(errno));
    bytes += done;
    size -= static_cast<size_t>(done);
  }
}

uint32_t oggChecksum(const uint8_t* bytes, size_t size) {
  static const auto table = [] {
    std::vector<uint32_t> entries(256);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i << 24;
      for (int bit = 0; bit < 8; ++bit)
        value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
      entries[i] = value;
    }
    return entries;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ bytes[i]) & 0xFF];
  return crc;
}

}  // namespace

struct AudioOutput::Memory {
  std::vector<uint8_t> bytes;
  size_t position = 0;
};

namespace {

AudioOutput::Memory& memoryOf(void* user) { return *static_cast<AudioOutput::Memory*>(user); }

sf_count_t memoryLength(void* user) { return static_cast<sf_count_t>(memoryOf(user).bytes.size()); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
  AudioOutput::Memory& memory = memoryOf(user);
  const sf_count_t base = whence == SEEK_CUR   ? static_cast<sf_count_t>(memory.position)
                          : whence == SEEK_END ? static_cast<sf_count_t>(memory.bytes.size())
                                               : 0;
  if (base + offset < 0) return -1;
  memory.position = static_cast<size_t>(base + offset);
  return base + offset;
}

sf_count_t memoryRead(void* ptr, sf_count_t count, void* user) {
  AudioOutput::Memory& memory = memoryOf(user);
  if (count <= 0 || memory.position >= memory.bytes.size()) return 0;
  const size_t size = std::min(static_cast<size_t>(count), memory.bytes.size() - memory.position);
  std::memcpy(ptr, memory.bytes.data() + memory.position, size);
  memory.position += size;
  return static_cast<sf_count_t>(size);
}

sf_count_t memoryWrite(const void* ptr, sf_count_t count, void* user) {
  AudioOutput::Memory& memory = memoryOf(user);
  if (count <= 0) return 0;
  const auto size = static_cast<size_t>(count);
  if (memory.position + size > memory.bytes.size()) memory.bytes.resize(memory.position + size);
  std::memcpy(memory.bytes.data() + memory.position, ptr, size);
  memory.position += size;
  return count;
}

sf_count_t memoryTell(void* user) { return static_cast<sf_count_t>(memoryOf(user).position); }

}  // namespace

std::optional<FileFormat> formatForPath(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const FormatEntry& entry : kFormats)
    if (extension == entry.extension) return entry.format;
  return std::nullopt;
}

const char* extensionOf(FileFormat format) { return entryFor(format).extension; }
const char* formatName(FileFormat format) { return entryFor(format).name; }

std::string knownExtensions() {
  std::string list;
  for (const FormatEntry& entry : kFormats) list += (list.empty() ? "" : ", ") + std::string(entry.extension);
  return list;
}

std::string depthProblem(FileFormat format, BitDepth depth) {
  if (format == FileFormat::Flac && depth == BitDepth::Float32)
    return "FLAC holds 16 or 24 bits, not 32-bit float";
  if (format == FileFormat::Ogg) return "Ogg Vorbis is compressed and has no bit depth";
  return "";
}

int64_t largestFrameCount(const OutputFormat& format) {
  if (format.file == FileFormat::Flac || format.file == FileFormat::Ogg) return INT64_MAX;
  const int64_t bytesPerFrame = format.depth == BitDepth::Pcm16   ? 4
                                : format.depth == BitDepth::Pcm24 ? 6
                                                                  : 8;
  return (int64_t{0xFFFFFFFF} - 4096) / bytesPerFrame;
}

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

void installOutputCleanupOnSignals() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, removePendingAndDie);
}

void fixOggSerialNumber(uint8_t* bytes, size_t size) {
  constexpr uint32_t kSerial = 0x56454C41;
  size_t page = 0;
  while (size - page >= 27 && std::memcmp(bytes + page, "OggS", 4) == 0) {
    const size_t segments = bytes[page + 26];
    if (size - page < 27 + segments) return;
    size_t length = 27 + segments;
    for (size_t i = 0; i < segments; ++i) length += bytes[page + 27 + i];
    if (size - page < length) return;
    for (int i = 0; i < 4; ++i) {
      bytes[page + 14 + i] = static_cast<uint8_t>(kSerial >> (8 * i));
      bytes[page + 22 + i] = 0;
    }
    const uint32_t crc = oggChecksum(bytes + page, length);
    for (int i = 0; i < 4; ++i) bytes[page + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    page += length;
  }
}

namespace {

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
      throw ToolError("cannot write output '" + path + "': " + std::strerror(errno));
  } else {
    // link() fails when the name was taken meanwhile, where rename() would replace it.
    if (link(tempPath.c_str(), path.c_str()) == 0) {
      unlink(tempPath.c_str());
    } else {
      const int error = errno;
      const bool noHardLinks = error == EPERM || error == ENOTSUP || error == EOPNOTSUPP;
      struct stat info {};
      if (error == EEXIST || (noHardLinks && lstat(path.c_str(), &info) == 0))
        throw ToolError("output '" + path + "' already exists (use --overwrite to replace it)");
      if (!noHardLinks || rename(tempPath.c_str(), path.c_str()) != 0)
        throw ToolError("cannot write output '" + path +
                        "': " + std::strerror(noHardLinks ? errno : error));
    }
  }
}

// A private temporary file beside `finalPath`, with the permissions the finished file should
// have; registered for removal on signals.
int createTemporary(const OutputTarget& target, const std::string& path, std::string& tempPath) {
  const std::string folder = folderOf(target.finalPath);
  // A short name, so any name the folder allows still leaves room for it.
  std::string pattern = folder + "/.vo-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0)
    throw ToolError("cannot write output '" + path + "' in '" + folder + "': " + std::strerror(errno));
  tempPath = pattern;
  setPending(tempPath);
  // mkstemp makes the file private; a replaced file keeps its permissions, a new one gets the
  // usual ones.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, target.exists ? (target.mode & 07777) : (0666 & ~mask));
  return fd;
}

}  // namespace

void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool overwrite,
                    const std::vector<std::string>& inputPaths) {
  OutputTarget target = checkOutputTarget(path, overwrite);
  for (const std::string& input : inputPaths) target = checkOutputTarget(path, overwrite, input);
  if (path == "-") {
    std::signal(SIGPIPE, SIG_IGN);
    return writeAll(STDOUT_FILENO, bytes.data(), bytes.size(), "to standard output");
  }
  std::string tempPath;
  const int fd = createTemporary(target, path, tempPath);
  bool closed = false;
  try {
    writeAll(fd, bytes.data(), bytes.size(), "output '" + path + "'");
    closed = true;
    if (close(fd) != 0) throw ToolError("cannot write output '" + path + "': " + std::strerror(errno));
    placeFinishedFile(target, tempPath, overwrite, inputPaths.empty() ? "" : inputPaths.front());
  } catch (...) {
    if (!closed) close(fd);
    unlink(tempPath.c_str());
    pendingTemp[0] = '\0';
    throw;
  }
  pendingTemp[0] = '\0';
}

AudioOutput::AudioOutput(const std::string& path, bool overwrite, const std::string& inputPath,
                         int32_t sampleRate, const OutputFormat& format)
    : target_(checkOutputTarget(path, overwrite, inputPath)),
      inputPath_(inputPath),
      overwrite_(overwrite),
      fileFormat_(format.file) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 2;
  info.format = sndfileFormat(format);

  if (path == "-") {
    memory_ = std::make_unique<Memory>();
    static SF_VIRTUAL_IO io = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    file_ = sf_open_virtual(&io, SFM_WRITE, &info, memory_.get());
  } else {
    const int fd = createTemporary(target_, path, tempPath_);
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (file_ == nullptr) close(fd);
  }
  if (file_ == nullptr) {
    const std::string reason = sf_strerror(nullptr);
    discard();
    throw ToolError("cannot write output '" + path + "': " + reason);
  }
  // Integer formats: clip rather than wrap around on samples beyond full scale.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // The PEAK chunk holds the time of writing; without it, one render gives one set of bytes.
  sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioOutput::~AudioOutput() {
  if (!committed_) discard();
}

void AudioOutput::discard() noexcept {
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

void AudioOutput::write(const float* interleavedStereo, int32_t frames) {
  if (frames <= 0) return;
  const sf_count_t written = sf_writef_float(file_, interleavedStereo, frames);
  if (written != frames)
    throw ToolError("cannot write output '" + target_.path + "': " + sf_strerror(file_));
}

void AudioOutput::commitToStandardOutput() {
  if (fileFormat_ == FileFormat::Ogg) fixOggSerialNumber(memory_->bytes.data(), memory_->bytes.size());
  // A reader that stops early must give an error here, not end the process unannounced.
  std::signal(SIGPIPE, SIG_IGN);
  writeAll(STDOUT_FILENO, memory_->bytes.data(), memory_->bytes.size(), "to standard output");
  committed_ = true;
}

void AudioOutput::commit() {
  const int closeError = sf_close(file_);
  file_ = nullptr;
  const std::string& path = target_.path;
  if (closeError != 0)
    throw ToolError("cannot finish output '" + path + "': " + sf_error_number(closeError));
  if (memory_) return commitToStandardOutput();

  if (fileFormat_ == FileFormat::Ogg) {
    const int fd = open(tempPath_.c_str(), O_RDWR | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) throw ToolError("cannot finish output '" + path + "'");
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    const bool done = pread(fd, bytes.data(), bytes.size(), 0) == info.st_size &&
                      (fixOggSerialNumber(bytes.data(), bytes.size()),
                       pwrite(fd, bytes.data(), bytes.size(), 0) == info.st_size);
    close(fd);
    if (!done) throw ToolError("cannot finish output '" + path + "'");
  }

  placeFinishedFile(target_, tempPath_, overwrite_, inputPath_);
  tempPath_.clear();
  pendingTemp[0] = '\0';
  committed_ = true;
}
