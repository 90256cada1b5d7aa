#include "ToolTestSupport.h"

#include <glib.h>
#include <smf.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
                const std::vector<std::string>& env) {
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
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
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

void writeMidi(const std::string& path, int ticksPerQuarter, int tracks,
               const std::vector<MidiEventAt>& events) {
  smf_t* smf = smf_new();
  ASSERT_NE(smf, nullptr);
  ASSERT_EQ(smf_set_ppqn(smf, ticksPerQuarter), 0);
  std::vector<smf_track_t*> trackList;
  for (int t = 0; t < tracks; ++t) {
    trackList.push_back(smf_track_new());
    smf_add_track(smf, trackList.back());
  }
  for (const MidiEventAt& entry : events) {
    std::vector<uint8_t> bytes = entry.bytes;
    smf_event_t* event = smf_event_new_from_pointer(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(event, nullptr);
    smf_track_add_event_pulses(trackList.at(static_cast<size_t>(entry.track - 1)), event,
                               static_cast<int>(entry.tick));
  }
  ASSERT_EQ(smf_save(smf, path.c_str()), 0);
  smf_delete(smf);
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
