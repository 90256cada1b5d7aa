// Files that appear only when complete, for every file the tools write (audio, banks, presets,
// the player's state): the bytes go to a private temporary file in the target's folder, which is
// flushed to disk and then renamed over the target. A failure at any step (an error, an
// exception, a signal once installOutputCleanupOnSignals has run) removes the temporary file,
// so the target is either the old file or the whole new one, never a part.
// Only a regular file (or a symbolic link to one, written through) is ever replaced: never a
// folder, device, FIFO or socket, a read-only file, or a file being read. The path "-" is
// standard output.
//
// Threads: the tools call all of this from their UI thread (the renderer's only thread); the
// signal handler touches only a fixed buffer.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where a finished file will land, checked before any work.
struct OutputTarget {
  std::string path;       // as given; "-" for standard output
  std::string finalPath;  // a symbolic link's target, or the path itself
  bool exists = false;
  dev_t device = 0;  // of the existing file
  ino_t inode = 0;
  mode_t mode = 0;
};

// [UI thread] Throws ToolError when the path may not be written: a folder, device, FIFO or
// socket, a read-only file, the file being read (`inputPath`, "-" for standard input), or an
// existing file without `overwrite`.
OutputTarget checkOutputTarget(const std::string& path, bool overwrite,
                               const std::string& inputPath = "");

// The temporary file behind one output. Removed when destroyed unless placed.
class PendingFile {
 public:
  // [UI thread] Beside the target's final path, with the permissions the finished file should
  // have (a replaced file's own, else the usual ones for a new file); registered for removal on
  // signals. Throws ToolError when the folder takes no new file.
  explicit PendingFile(const OutputTarget& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int fd() const { return fd_; }  // read and write; stays ours
  const std::string& path() const { return path_; }

  // [UI thread] Throws ToolError naming the target when the bytes cannot all be written.
  void write(const uint8_t* bytes, size_t size);
  // [UI thread] Flushes the file to disk, closes it and puts it at the target's path: over the
  // file checked there (`overwrite`, after checking again that it is still that file and not
  // `inputPath`), or only where nothing has appeared meanwhile. Throws ToolError.
  void place(bool overwrite, const std::string& inputPath);

 private:
  OutputTarget target_;
  std::string path_;
  int fd_ = -1;
  bool placed_ = false;
};

// [UI thread] A whole small file (a bank, a preset, the player's state) under the rules above:
// checked first, against each input too, then written through a PendingFile. "-" is standard
// output. Throws ToolError.
void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool overwrite,
                    const std::vector<std::string>& inputPaths);

// [UI thread] All of `bytes` to standard output; a reader that stops early gives a ToolError
// rather than ending the process unannounced.
void writeToStandardOutput(const std::vector<uint8_t>& bytes);

// [UI thread] Removes a pending temporary file on SIGINT, SIGTERM and SIGHUP before the process
// dies. For tools whose signals end them; the player handles its own.
void installOutputCleanupOnSignals();
