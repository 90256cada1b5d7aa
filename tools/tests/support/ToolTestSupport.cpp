#include "ToolTestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vela-render-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  return names;
}

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::string& workDir,
                const std::vector<std::string>& env, const std::string& stdinPath) {
  ScratchDir capture;
  const std::string outPath = capture.file("stdout");
  const std::string errPath = capture.file("stderr");

  std::vector<std::string> argStore = {VELA_RENDER_TOOL};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argStore) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
  envStore.insert(envStore.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& entry : envStore) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO,
                                   stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

  ToolRun run;
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.err = std::string("spawn failed: ") + std::strerror(spawned);
    return run;
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  run.out = slurp(outPath);
  run.err = slurp(errPath);
  return run;
}

size_t lineCount(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

WavData readWav(const std::string& path) {
  WavData data;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return data;
  }
  data.sampleRate = info.samplerate;
  data.channels = info.channels;
  data.format = info.format;
  data.frames = info.frames;
  data.samples.resize(static_cast<size_t>(info.frames * info.channels));
  const sf_count_t got = sf_readf_float(file, data.samples.data(), info.frames);
  EXPECT_EQ(got, info.frames);
  sf_close(file);
  return data;
}

std::vector<uint8_t> midiChunk(const char* name, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> chunk(name, name + 4);
  for (int shift = 24; shift >= 0; shift -= 8)
    chunk.push_back(static_cast<uint8_t>(body.size() >> shift));
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

std::vector<uint8_t> midiHeader(int format, int tracks, int division) {
  const auto byte = [](int value) { return static_cast<uint8_t>(value & 0xFF); };
  return midiChunk("MThd", {byte(format >> 8), byte(format), byte(tracks >> 8), byte(tracks),
                            byte(division >> 8), byte(division)});
}

void appendNumber(std::vector<uint8_t>& bytes, uint32_t value) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count-- > 0) bytes.push_back(static_cast<uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
}

std::vector<uint8_t> midiFileBytes(int ticksPerQuarter, int tracks,
                                   const std::vector<MidiEventAt>& events) {
  std::vector<uint8_t> file = midiHeader(tracks > 1 ? 1 : 0, tracks, ticksPerQuarter);
  for (int track = 1; track <= tracks; ++track) {
    std::vector<MidiEventAt> own;
    for (const MidiEventAt& event : events)
      if (event.track == track) own.push_back(event);
    std::stable_sort(own.begin(), own.end(),
                     [](const MidiEventAt& a, const MidiEventAt& b) { return a.tick < b.tick; });
    std::vector<uint8_t> body;
    int64_t tick = 0;
    for (const MidiEventAt& event : own) {
      appendNumber(body, static_cast<uint32_t>(event.tick - tick));
      tick = event.tick;
      // A sysex carries its length after the status byte.
      body.push_back(event.bytes[0]);
      if (event.bytes[0] == 0xF0) appendNumber(body, static_cast<uint32_t>(event.bytes.size() - 1));
      body.insert(body.end(), event.bytes.begin() + 1, event.bytes.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    const std::vector<uint8_t> chunk = midiChunk("MTrk", body);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

void writeMidi(const std::string& path, int ticksPerQuarter, int tracks,
               const std::vector<MidiEventAt>& events) {
  writeBytes(path, midiFileBytes(ticksPerQuarter, tracks, events));
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}
