// End-to-end: the built velaorin-render run as a user would run it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "DemoSong.h"
#include "ToolTestSupport.h"

namespace {

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int64_t demoFrames(int32_t rate, double tailMs) {
  return demoSong(rate, DemoSetup{}).endFrame +
         static_cast<int64_t>(std::llround(tailMs * rate / 1000.0));
}

// A short format 1 file: 480 ticks a beat, 120 bpm, then 60 bpm from beat 2.
std::string writeProbeSong(const ScratchDir& dir) {
  const std::string path = dir.file("song.mid");
  writeMidi(path, 480, 2,
            {{1, 0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
             {1, 960, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}},
             {2, 0, {0x90, 64, 100}},
             {2, 240, {0x80, 64, 0}},
             {2, 1000, {0x90, 32, 90}},
             {2, 1200, {0x80, 32, 0}}});
  return path;
}

}  // namespace

TEST(RenderCli, DemoRendersTheWholeSongAndItsTail) {
  ScratchDir dir;
  const ToolRun run = runTool({}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("wrote out.wav"), std::string::npos) << run.out;
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});  // no temporary file left over

  const WavData wav = readWav(dir.file("out.wav"));
  EXPECT_EQ(wav.sampleRate, 44100);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(wav.frames, demoFrames(44100, 1500));
  EXPECT_GT(wav.frames, 15 * 44100);
  EXPECT_LT(wav.frames, 25 * 44100);
}

TEST(RenderCli, WritesTheRequestedRateAndSampleFormat) {
  const struct {
    std::vector<std::string> args;
    int rate;
    int subtype;
    double tailMs;
  } rows[] = {
      {{"-r", "48000", "--bit-depth", "24", "--tail-time", "0"}, 48000, SF_FORMAT_PCM_24, 0},
      {{"--sample-rate=22050", "--bit-depth=32f", "--tail-time=250", "-b", "100"},
       22050,
       SF_FORMAT_FLOAT,
       250},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.rate);
    ScratchDir dir;
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"-o", "demo.wav"});
    const ToolRun run = runTool(args, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const WavData wav = readWav(dir.file("demo.wav"));
    EXPECT_EQ(wav.sampleRate, row.rate);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | row.subtype);
    EXPECT_EQ(wav.frames, demoFrames(row.rate, row.tailMs));
  }
}

TEST(RenderCli, ReplacesAnExistingOutputOnlyWithOverwrite) {
  ScratchDir dir;
  ASSERT_EQ(runTool({"-o", "x.wav", "--tail-time", "0"}, dir.path()).exitCode, 0);
  const std::string first = fileText(dir.file("x.wav"));

  const ToolRun refused = runTool({"-o", "x.wav", "--tail-time", "100"}, dir.path());
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_EQ(lineCount(refused.err), 1u) << refused.err;
  EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
  EXPECT_EQ(fileText(dir.file("x.wav")), first);

  const ToolRun replaced =
      runTool({"-o", "x.wav", "--tail-time", "100", "--overwrite"}, dir.path());
  ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
  EXPECT_EQ(readWav(dir.file("x.wav")).frames, demoFrames(44100, 100));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"x.wav"});
}

TEST(RenderCli, MidiFileEventsLandOnExactSamplesThroughTheTool) {
  ScratchDir dir;
  const std::string song = writeProbeSong(dir);
  const std::string probe = VELA_PROBE_PLUGIN;
  std::vector<float> reference;
  for (const char* blockSize : {"512", "1", "3000"}) {
    SCOPED_TRACE(std::string("block size ") + blockSize);
    const ToolRun run =
        runTool({"-m", song, "-p", probe, "-r", "8000", "-b", blockSize, "--bit-depth", "32f",
                 "--tail-time", "10", "--overwrite", "--param", "level=0.5"},
                dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const WavData wav = readWav(dir.file("song.wav"));
    // Beat 2 at 1 s, then 60 bpm: tick 1200 ends at 1.5 s; the song ends there (+ 10 ms tail).
    ASSERT_EQ(wav.frames, 12000 + 80);
    std::vector<std::pair<int64_t, float>> marks;
    for (int64_t i = 0; i < wav.frames; ++i) {
      const float left = wav.samples[static_cast<size_t>(2 * i)];
      const float right = wav.samples[static_cast<size_t>(2 * i + 1)];
      if (left != 0.0f) marks.emplace_back(i, left);
      if (right != 0.0f) marks.emplace_back(i, -right);
    }
    const std::vector<std::pair<int64_t, float>> expected = {
        {0, 0.5f * 64 / 128}, {2000, -0.5f}, {8667, 0.5f * 32 / 128}, {12000, -0.5f}};
    EXPECT_EQ(marks, expected);
    if (reference.empty()) reference = wav.samples;
    EXPECT_EQ(wav.samples, reference);
  }
}

TEST(RenderCli, HostLifecycleAndProgramReachThePlugin) {
  ScratchDir dir;
  const std::string log = dir.file("calls.log");
  const ToolRun run =
      runTool({"-m", writeProbeSong(dir), "-p", VELA_PROBE_PLUGIN, "-r", "8000", "-b", "4000",
               "--program", "2", "--param", "Offset=0.25", "--tail-time", "0"},
              dir.path(), {"VELA_PROBE_LOG=" + log});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> expected = {
      "version 2400",     "open",     "rate 8000",    "block 4000",   "program 2",
      "param 1 0.250000", "mains 1",  "events 2",     "process 4000", "events 0",
      "process 4000",     "events 1", "process 4000", "mains 0",      "close"};
  EXPECT_EQ(readLines(log), expected);
}

TEST(RenderCli, ListsWhatThePluginReports) {
  ScratchDir dir;
  const ToolRun params = runTool({"--list-params"}, dir.path());
  ASSERT_EQ(params.exitCode, 0) << params.err;
  for (const char* name : {"Mod1", "Mod2", "FB1", "FB2", "CutOff", "Type", "Env", "M1S", "M2S"})
    EXPECT_NE(params.out.find(std::string(" ") + name + " "), std::string::npos) << name << "\n"
                                                                                 << params.out;
  EXPECT_NE(params.out.find("  8  CutOff    0.500000  0.50     /1"), std::string::npos)
      << params.out;

  const ToolRun programs = runTool({"--list-programs", "--program", "1"}, dir.path());
  ASSERT_EQ(programs.exitCode, 0) << programs.err;
  EXPECT_NE(programs.out.find("  0  init1\n"), std::string::npos) << programs.out;
  EXPECT_NE(programs.out.find("  1  Eth Drm  (current)\n"), std::string::npos) << programs.out;
  EXPECT_NE(programs.out.find(" 31  init32\n"), std::string::npos) << programs.out;

  // The program is selected before the parameters are listed, then --param applies on top.
  const ToolRun edited =
      runTool({"--list-params", "--program", "1", "--param", "cutoff=0.25"}, dir.path());
  ASSERT_EQ(edited.exitCode, 0) << edited.err;
  EXPECT_NE(edited.out.find("  0  Mod1      0.208333  0.21"), std::string::npos) << edited.out;
  EXPECT_NE(edited.out.find("  8  CutOff    0.250000  0.25"), std::string::npos) << edited.out;
  EXPECT_TRUE(dir.entries().empty());
}

TEST(RenderCli, BadInputFailsWithOneLineAndLeavesNoFile) {
  ScratchDir dir;
  writeBytes(dir.file("text.mid"), {'n', 'o', 't', ' ', 'm', 'i', 'd', 'i', '\n'});
  writeBytes(dir.file("cut.mid"), {'M', 'T', 'h', 'd', 0,   0, 0, 6, 0,  0,    0,    1,   0,
                                   96,  'M', 'T', 'r', 'k', 0, 0, 0, 12, 0x00, 0x90, 0x3C});
  writeBytes(dir.file("not-a-plugin.so"), {'x'});
  writeMidi(dir.file("song.mid"), 96, 1, {{1, 0, {0x90, 60, 100}}, {1, 96, {0x80, 60, 0}}});
  ASSERT_EQ(mkfifo(dir.file("fifo.wav").c_str(), 0644), 0);
  writeBytes(dir.file("read-only.wav"), {'x'});
  ASSERT_EQ(chmod(dir.file("read-only.wav").c_str(), 0444), 0);
  const struct {
    std::vector<std::string> args;
    const char* message;
    int exitCode;
  } rows[] = {
      {{"-m", "absent.mid"}, "cannot open MIDI file 'absent.mid': No such file or directory", 1},
      {{"-m", "text.mid"}, "cannot read MIDI file 'text.mid': not a Standard MIDI File", 1},
      {{"-m", "cut.mid"}, "cannot read MIDI file 'cut.mid': track 1 (byte 14) says it holds 12", 1},
      {{"--param", "Wobble=0.5"}, "unknown parameter 'Wobble' (VelaOrin has: Mod1, Mod2, FB1", 2},
      {{"--param", "CutOff=1.01"}, "parameter CutOff must be from 0 to 1", 2},
      {{"--param", "CutOff=half"}, "parameter CutOff needs a number", 2},
      {{"-r", "fast"}, "--sample-rate needs a whole number", 2},
      {{"-b", "0"}, "--blocksize must be from 1", 2},
      {{"--tail-time", "long"}, "--tail-time needs milliseconds", 2},
      {{"--program", "32"}, "program 32 does not exist", 1},
      {{"--bit-depth", "8"}, "--bit-depth takes 16, 24, 32f", 2},
      {{"--tail-time", "3600000", "-r", "384000"}, "more than WAV can hold", 1},
      {{"-o", "no-such-folder/out.wav"}, "cannot write output 'no-such-folder/out.wav'", 1},
      {{"-o", "."}, "output '.' is a folder (end the name with / to write into it)", 2},
      {{"-p", "absent/VelaOrin.so"}, "plug-in 'absent/VelaOrin.so' not found", 1},
      {{"-p", "not-a-plugin.so"}, "cannot load plug-in 'not-a-plugin.so'", 1},
      {{"--wobble"}, "--wobble (see --help)", 2},
      // Only a regular file is ever replaced, and never the file being read.
      {{"song.mid", "-o", "song.mid", "--overwrite", "--format", "wav"},
       "output 'song.mid' is the MIDI file",
       1},
      {{"-o", "/dev/null", "--overwrite", "--format", "wav"}, "output '/dev/null' is a device", 1},
      {{"-o", "fifo.wav", "--overwrite"}, "output 'fifo.wav' is a FIFO", 1},
      {{"-o", "read-only.wav", "--overwrite"}, "output 'read-only.wav' is read-only", 1},
      {{"-o", "x.mp3"},
       "cannot tell the format of output 'x.mp3' from its extension; known: .wav, .flac, .aiff, "
       ".aif, .ogg",
       2},
      {{"-o", "x.flac", "--bit-depth", "32f"}, "FLAC holds 16 or 24 bits, not 32-bit float", 2},
      {{"-o", "x.ogg", "--bit-depth", "16"}, "Ogg Vorbis is compressed and has no bit depth", 2},
  };
  const std::vector<std::string> before = dir.entries();
  for (const auto& row : rows) {
    std::string shown;
    for (const auto& arg : row.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    const ToolRun run = runTool(row.args, dir.path());
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("velaorin-render: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), before);
  }
}

TEST(RenderCli, InterruptedRenderLeavesNoFile) {
  ScratchDir dir;
  // An hour of tail, each block slowed down by the probe: long enough to be stopped halfway.
  const std::vector<std::string> args = {
      VELA_RENDER_TOOL, "-p", VELA_PROBE_PLUGIN,   "-r", "8000", "--tail-time",
      "3600000",        "-o", dir.file("long.wav")};
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    dup2(devNull, STDOUT_FILENO);
    setenv("VELA_PROBE_DELAY_MS", "1", 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Wait until the temporary file has appeared and grown, then stop the render.
  bool started = false;
  for (int i = 0; i < 200 && !started; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      started = started || std::filesystem::file_size(entry.path()) > 100000;
  }
  EXPECT_TRUE(started);
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(dir.entries().empty());
}
