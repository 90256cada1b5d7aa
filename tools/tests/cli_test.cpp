// End-to-end: the built velaorin-render run as a user would run it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "BankFiles.h"
#include "DemoSong.h"
#include "Factory.h"
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

// The demo as heard: every whole second of the song sounds in both channels, below full scale. A
// render of silence (a plug-in that never played, a lost output buffer) has the right length too.
void expectDemoSounds(const WavData& wav) {
  ASSERT_EQ(wav.channels, 2);
  ASSERT_EQ(wav.samples.size(), static_cast<size_t>(wav.frames) * 2);
  const int64_t songFrames = demoSong(wav.sampleRate, DemoSetup{}).endFrame;
  ASSERT_LE(songFrames, wav.frames);
  std::vector<std::string> quiet;
  for (int64_t second = 0; second < songFrames / wav.sampleRate; ++second)
    for (size_t channel = 0; channel < 2; ++channel) {
      float peak = 0.0f;
      for (int64_t frame = second * wav.sampleRate; frame < (second + 1) * wav.sampleRate; ++frame)
        peak = std::max(peak, std::fabs(wav.samples[static_cast<size_t>(frame) * 2 + channel]));
      if (peak <= 0.02f || peak >= 1.0f)
        quiet.push_back(std::to_string(second) + " s, channel " + std::to_string(channel) +
                        ": peak " + std::to_string(peak));
    }
  EXPECT_EQ(quiet, std::vector<std::string>{}) << "seconds silent or at full scale";
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
  expectDemoSounds(wav);
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
    expectDemoSounds(wav);
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

// The synthesizer itself through the tool: staccato shorter than a block, a bend sweep under
// a legato line, trills with note-off and note-on at one tick, grace notes, the panic
// controllers and seeded random events give the same bits at every block size.
TEST(RenderCli, VelaOrinSoundsTheSameAtEveryBlockSize) {
  ScratchDir dir;
  std::vector<MidiEventAt> song = {{1, 0, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80}}};  // 150 bpm
  auto add = [&](int64_t tick, uint8_t status, int data1, int data2) {
    song.push_back({1, tick, {status, static_cast<uint8_t>(data1), static_cast<uint8_t>(data2)}});
  };
  for (int n = 0; n < 16; ++n) {  // 32nds held for 15 ms (18 ticks)
    add(n * 60, 0x90, 60 + n % 7, 100);
    add(n * 60 + 18, 0x80, 60 + n % 7, 0);
  }
  for (int n = 0; n < 12; ++n) add(960 + n * 120, 0x90, 48 + 3 * n, 90);  // legato
  for (int i = 0; i < 180; ++i) add(960 + i * 8, 0xE0, 0, (i * 5) % 128);  // bend sweep
  for (int n = 0; n < 24; ++n) {  // trill: each note ends where the next begins
    if (n > 0) add(2400 + n * 30, 0x80, n % 2 == 0 ? 74 : 72, 0);
    add(2400 + n * 30, 0x90, n % 2 == 0 ? 72 : 74, 80);
  }
  for (int n = 0; n < 6; ++n) {  // grace notes
    add(3200 + n * 100, 0x90, 79, 50);
    add(3203 + n * 100, 0x90, 77, 110);
  }
  add(3900, 0xB0, 123, 0);
  add(3950, 0x90, 60, 100);
  add(3990, 0xB0, 120, 0);
  add(4000, 0x90, 62, 100);
  add(4040, 0xB0, 126, 0);
  uint64_t state = 5;
  for (int i = 0; i < 300; ++i) {  // seeded random events
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const auto r = static_cast<uint32_t>(state >> 33);
    const int kind = static_cast<int>(r % 6);
    add(4100 + i * 3, kind == 0 ? 0xE0 : kind < 3 ? 0x80 : 0x90, 50 + static_cast<int>(r >> 8) % 12,
        kind == 0 ? static_cast<int>(r >> 16) % 128 : 100);
  }
  std::stable_sort(song.begin(), song.end(),
                   [](const MidiEventAt& a, const MidiEventAt& b) { return a.tick < b.tick; });
  writeMidi(dir.file("cases.mid"), 480, 1, song);

  std::vector<float> reference;
  for (const char* blockSize : {"1", "2", "7", "64", "441", "512", "4096", "16384"}) {
    SCOPED_TRACE(std::string("block size ") + blockSize);
    const ToolRun run = runTool({"cases.mid", "-p", VELA_BUILT_PLUGIN, "-b", blockSize,
                                 "--bit-depth", "32f", "--overwrite", "-q"},
                                dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const WavData wav = readWav(dir.file("cases.wav"));
    ASSERT_GT(wav.frames, 44100);
    if (reference.empty()) {
      reference = wav.samples;
      int64_t sounding = 0;
      for (float sample : reference) sounding += sample != 0.0f;
      EXPECT_GT(sounding, wav.frames);  // both channels, most of the time
    }
    ASSERT_EQ(wav.samples.size(), reference.size());
    EXPECT_EQ(std::memcmp(wav.samples.data(), reference.data(), reference.size() * sizeof(float)), 0);
  }
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
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", dir.file("socket.wav").c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(listener);
  writeBytes(dir.file("read-only.wav"), {'x'});
  ASSERT_EQ(chmod(dir.file("read-only.wav").c_str(), 0444), 0);
  std::vector<uint8_t> opaque = writeBankFile(BankImage{});
  std::memcpy(&opaque[8], "FBCh", 4);
  writeBytes(dir.file("opaque.fxb"), opaque);
  writeBytes(dir.file("preset.fxp"), writeProgramFile(ProgramImage{}));
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
      {{"-o", "socket.wav", "--overwrite"}, "output 'socket.wav' is a socket", 1},
      {{"-o", "read-only.wav", "--overwrite"}, "output 'read-only.wav' is read-only", 1},
      {{"-o", "x.mp3"},
       "cannot tell the format of output 'x.mp3' from its extension; known: .wav, .flac, .aiff, "
       ".aif, .ogg",
       2},
      {{"-o", "x.flac", "--bit-depth", "32f"}, "FLAC holds 16 or 24 bits, not 32-bit float", 2},
      {{"-o", "x.ogg", "--bit-depth", "16"}, "Ogg Vorbis is compressed and has no bit depth", 2},
      // Bank and preset files: refused whole, by what and where, and saved by the same rules.
      {{"--bank", "opaque.fxb"}, "cannot read bank 'opaque.fxb': the file holds a plug-in's private "
       "data (an opaque chunk); VelaOrin reads only files of parameter values (byte 8)", 1},
      {{"--bank", "song.mid"}, "cannot read bank 'song.mid': wrong magic: not a bank or program file (byte 0)", 1},
      {{"--bank", "preset.fxp"}, "a program file, not a bank file (byte 8)", 1},
      {{"--preset", "absent.fxp"}, "cannot open preset 'absent.fxp': No such file", 1},
      {{"--bank", "preset.fxp", "-p", VELA_PROBE_PLUGIN}, "a program file, not a bank file", 1},
      {{"--preset", "preset.fxp", "-p", VELA_PROBE_PLUGIN}, "bank and preset files are VelaOrin's", 1},
      {{"--save-bank", "preset.fxp"}, "output 'preset.fxp' already exists", 1},
      {{"--save-preset", "read-only.wav", "--overwrite"}, "output 'read-only.wav' is read-only", 1},
      {{"--save-bank", "fifo.wav", "--overwrite"}, "output 'fifo.wav' is a FIFO", 1},
      {{"song.mid", "--save-preset", "song.mid", "--overwrite"}, "output 'song.mid' is the MIDI file", 1},
      {{"song.mid", "--save-bank", "x.fxb", "-o", "x.mp3"}, "cannot tell the format of output 'x.mp3'", 2},
      {{"--save-bank", "-", "-o", "-"}, "standard output can take the audio or a saved file", 2},
      {{"--save-bank", "x.fxb", "--save-preset", "x.fxb"}, "name the same file", 2},
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

TEST(RenderCli, OutputFormatFollowsTheExtensionAndEveryRenderGivesTheSameBytes) {
  ScratchDir dir;
  const std::string song = writeProbeSong(dir);
  const struct {
    std::vector<std::string> args;
    const char* file;
    int format;
  } rows[] = {
      {{"--bit-depth", "32f"}, "x.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {{"--bit-depth", "24"}, "x.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {{}, "x.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {{"--bit-depth", "32f"}, "x.AIF", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {{}, "x.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {{"--format", "flac"}, "x.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    std::string first;
    for (int run = 0; run < 2; ++run) {
      std::vector<std::string> args = {song, "-p", VELA_PROBE_PLUGIN, "-o", row.file, "--overwrite"};
      args.insert(args.end(), row.args.begin(), row.args.end());
      const ToolRun tool = runTool(args, dir.path());
      ASSERT_EQ(tool.exitCode, 0) << tool.err;
      const WavData audio = readWav(dir.file(row.file));  // Ogg: every page's checksum holds
      EXPECT_EQ(audio.format, row.format);
      EXPECT_EQ(audio.frames, 2 * 66150);  // 1.5 s of song, 1.5 s of tail
      const std::string bytes = fileText(dir.file(row.file));
      EXPECT_EQ(bytes.find("PEAK"), std::string::npos) << "a time-stamped PEAK chunk";
      if (run == 0) first = bytes;
      EXPECT_TRUE(bytes == first) << "two renders differ";
    }
  }
}

TEST(RenderCli, WritesBesideEachInputIntoFoldersThroughLinksAndToPipes) {
  ScratchDir dir;
  const std::string probe = VELA_PROBE_PLUGIN;
  ASSERT_TRUE(std::filesystem::create_directories(dir.file("sub")));
  writeMidi(dir.file("a.mid"), 96, 1, {{1, 0, {0x90, 60, 100}}, {1, 96, {0x80, 60, 0}}});
  writeMidi(dir.file("sub/b"), 96, 1, {{1, 0, {0x90, 62, 100}}, {1, 48, {0x80, 62, 0}}});
  const std::string longName = std::string(251, 'n') + ".wav";  // 255 bytes, the most allowed
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> written;
  } rows[] = {
      {{"a.mid", "-m", "sub/b"}, {"a.wav", "sub/b.wav"}},
      {{"a.mid", "sub/b", "-o", "sub/", "--format", "flac"}, {"sub/a.flac", "sub/b.flac"}},
      {{"a.mid", "-o", longName}, {longName}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written.front());
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"-p", probe, "-q"});
    const ToolRun run = runTool(args, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    for (const std::string& file : row.written) EXPECT_GT(readWav(dir.file(file)).frames, 0);
  }
  // MIDI from standard input, audio to standard output: the same bytes as a file.
  const ToolRun piped = runTool({"-", "-p", probe, "-o", "-"}, dir.path(), {}, dir.file("a.mid"));
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_TRUE(piped.out == fileText(dir.file("a.wav")));
  EXPECT_NE(piped.err.find("wrote standard output"), std::string::npos) << piped.err;
  // A bare plug-in file name is the one in the current folder.
  std::filesystem::copy_file(probe, dir.file("probe.so"));
  const ToolRun bare = runTool({"a.mid", "-p", "probe.so", "--overwrite", "-q"}, dir.path());
  EXPECT_EQ(bare.exitCode, 0) << bare.err;
  // A symbolic link is written through: the link stays, its target gets the new render.
  ASSERT_EQ(symlink("a.wav", dir.file("link.wav").c_str()), 0);
  const ToolRun linked = runTool(
      {"sub/b", "-p", probe, "-o", "link.wav", "--overwrite", "--tail-time", "0"}, dir.path());
  ASSERT_EQ(linked.exitCode, 0) << linked.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.wav")));
  EXPECT_EQ(readWav(dir.file("a.wav")).frames, readWav(dir.file("sub/b.wav")).frames - 66150);
}

TEST(RenderCli, GainNormalizeAndTheWarningsThatMatter) {
  ScratchDir dir;
  const std::string song = writeProbeSong(dir);  // marks of 0.25 and 0.5 at --param level=0.5
  const struct {
    std::vector<std::string> args;
    float peak;
    const char* warning;  // empty: stderr must be empty
  } rows[] = {
      {{}, 0.5f, ""},
      {{"--gain", "-6.020599913279624"}, 0.25f, ""},
      {{"--normalize"}, static_cast<float>(0.5 * (0.89125093813374556 / 0.5)), ""},
      {{"--gain", "12"}, static_cast<float>(0.5 * std::pow(10.0, 12.0 / 20.0)),
       "velaorin-render: warning: 2 samples beyond full scale are kept, but most players will "
       "clip them\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.peak);
    std::vector<std::string> args = {song, "-p", VELA_PROBE_PLUGIN, "--param", "level=0.5",
                                     "--bit-depth", "32f", "--overwrite", "--tail-time", "10"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const ToolRun run = runTool(args, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, row.warning);
    float peak = 0.0f;
    for (float sample : readWav(dir.file("song.wav")).samples) peak = std::max(peak, std::fabs(sample));
    EXPECT_EQ(peak, row.peak);
  }

  // Chords and program changes, each told once, only where VelaOrin plays, and not with -q.
  writeMidi(dir.file("chords.mid"), 96, 2,
            {{1, 0, {0xC0, 3}},
             {1, 0, {0x90, 60, 100}},
             {1, 96, {0x80, 60, 0}},
             {1, 96, {0x90, 62, 100}},  // legato: no overlap
             {1, 192, {0x80, 62, 0}},
             {2, 96, {0xC1, 4}},
             {2, 144, {0x90, 67, 100}},
             {2, 144, {0x90, 71, 100}},
             {2, 192, {0x80, 67, 0}},
             {2, 192, {0x80, 71, 0}}});
  const ToolRun told = runTool({"chords.mid", "--tail-time", "0"}, dir.path());
  ASSERT_EQ(told.exitCode, 0) << told.err;
  EXPECT_EQ(told.err,
            "velaorin-render: warning: 'chords.mid' plays up to 3 notes at once (first at "
            "0:00.750); VelaOrin plays one held note at a time, so each new note releases the one "
            "before\n"
            "velaorin-render: warning: 'chords.mid' has MIDI program changes (first at 0:00.000); "
            "VelaOrin ignores them and keeps the program chosen with --program\n");
  EXPECT_EQ(runTool({"chords.mid", "-q", "--overwrite"}, dir.path()).err, "");
  const ToolRun probe = runTool({"chords.mid", "-p", VELA_PROBE_PLUGIN, "--overwrite"}, dir.path());
  EXPECT_EQ(probe.err.find("at once"), std::string::npos) << probe.err;
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
  // Wait until the temporary file has appeared and grown, then stop the render. The bound is
  // only for a render that never starts: a busy machine just takes longer to get there.
  bool started = false;
  int status = 0;
  bool exited = false;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!started && !exited && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::error_code error;  // the file may be renamed or gone between listing and sizing
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      const auto size = std::filesystem::file_size(entry.path(), error);
      started = started || (!error && size > 100000);
    }
    exited = waitpid(child, &status, WNOHANG) == child;
  }
  EXPECT_TRUE(started);
  ASSERT_FALSE(exited) << "the render ended before it could be interrupted";
  kill(child, SIGTERM);
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(dir.entries().empty());
}

// A bank travels: one exported by a host stepping through the programs loads, edits land where
// they are made, and what is saved reads back; the factory bank plays each sound as the library
// test hears it.
TEST(RenderCli, BanksAndPresetsLoadAndSaveThroughThePlugin) {
  ScratchDir dir;
  BankImage bank{};
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    std::snprintf(bank.programs[n].name, sizeof bank.programs[n].name, "Host %d", static_cast<int>(n));
    for (int32_t i = 0; i < kNumParams; ++i)
      bank.programs[n].values[i] = static_cast<float>((n * 14 + i) % 97) / 96.0f;
  }
  // As hosts write it: version 1, no current program, their own version number everywhere.
  std::vector<uint8_t> exported = writeBankFile(bank);
  auto putBigEndian = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) exported[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  putBigEndian(12, 1);
  putBigEndian(28, 0);
  for (size_t at = 20; at < exported.size(); at = at == 20 ? 156 + 20 : at + 112) putBigEndian(at, 2400);
  writeBytes(dir.file("host.fxb"), exported);

  const ToolRun listed = runTool({"--bank", "host.fxb", "--list-programs"}, dir.path());
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("  0  Host 0  (current)\n"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" 31  Host 31\n"), std::string::npos) << listed.out;

  const ToolRun saved = runTool({"--bank", "host.fxb", "--program", "7", "--param", "CutOff=0.25",
                                 "--save-bank", "out.fxb", "--save-preset", "out.fxp"},
                                dir.path());
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
  std::vector<std::string> written = dir.entries();
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"host.fxb", "out.fxb", "out.fxp"}))
      << "saving renders no demo";
  bank.programs[7].values[kCutOff] = 0.25f;
  bank.currentProgram = 7;
  std::ifstream savedBank(dir.file("out.fxb"), std::ios::binary);
  const std::vector<uint8_t> bankBytes((std::istreambuf_iterator<char>(savedBank)), {});
  EXPECT_TRUE(bankBytes == writeBankFile(bank));
  std::ifstream savedPreset(dir.file("out.fxp"), std::ios::binary);
  const std::vector<uint8_t> presetBytes((std::istreambuf_iterator<char>(savedPreset)), {});
  EXPECT_TRUE(presetBytes == writeProgramFile(bank.programs[7]));

  // A preset goes into the current program, before --param.
  const ToolRun preset = runTool({"--preset", "out.fxp", "--param", "Q=1", "--list-params",
                                  "--list-programs"}, dir.path());
  ASSERT_EQ(preset.exitCode, 0) << preset.err;
  EXPECT_NE(preset.out.find("  0  Host 7  (current)\n"), std::string::npos) << preset.out;
  EXPECT_NE(preset.out.find("  8  CutOff    0.250000"), std::string::npos) << preset.out;
  EXPECT_NE(preset.out.find("  9  Q         1.000000"), std::string::npos) << preset.out;

  // Values beyond 0 to 1 are clamped and said once.
  putBigEndian(156 + 56, 0x3FC00000);  // 1.5 in program 0
  putBigEndian(156 + 112 + 60, 0xBF800000);  // -1 in program 1
  writeBytes(dir.file("wide.fxb"), exported);
  const ToolRun wide = runTool({"--bank", "wide.fxb", "--list-params"}, dir.path());
  ASSERT_EQ(wide.exitCode, 0) << wide.err;
  EXPECT_EQ(wide.err, "velaorin-render: warning: 'wide.fxb': 2 values outside 0 to 1 clamped (the "
                      "first at byte 212)\n");
  EXPECT_NE(wide.out.find("  0  Mod1      1.000000"), std::string::npos) << wide.out;

  for (int32_t n = 0; n < kFactorySoundCount; ++n) {
    SCOPED_TRACE(kFactorySounds[n].name);
    const std::vector<factory::PhraseMessage> phrase = factory::phraseFor(kFactorySounds[n].kind);
    writeBytes(dir.file("phrase.mid"), factory::midiFileFor(phrase));
    const ToolRun run = runTool({"phrase.mid", "--bank", VELA_FACTORY_BANK, "--program",
                                 std::to_string(n), "--bit-depth", "32f", "--tail-time",
                                 std::to_string(factory::kTailMs), "--overwrite", "-q"},
                                dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const WavData wav = readWav(dir.file("phrase.wav"));
    std::vector<float> left;
    for (size_t i = 0; i < wav.samples.size(); i += 2) left.push_back(wav.samples[i]);
    EXPECT_TRUE(left == factory::renderPhrase(kFactorySounds[n], phrase));
  }
}

namespace {

// n equal steps to the octave, in cents to five places as such files come.
std::string equalScaleFile(int32_t steps) {
  std::string text = "! " + std::to_string(steps) + "edo.scl\n!\n" + std::to_string(steps) +
                     "-tone equal temperament\n " + std::to_string(steps) + "\n!\n";
  for (int32_t k = 1; k <= steps; ++k) {
    char line[32];
    std::snprintf(line, sizeof line, " %.5f\n", 1200.0 * k / steps);
    text += line;
  }
  return text;
}

void writeText(const std::string& path, const std::string& text) {
  writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The frequency of a steady periodic sound near `guess`: the phase of its component there,
// taken in two Hann windows `apart` frames apart, turns by 2 pi f apart / rate. Pairs close
// together find it unambiguously within a wide range, far ones to a small fraction of a cent.
double measuredHz(const std::vector<float>& samples, int64_t from, double rate, double guess) {
  constexpr int64_t kWindow = 8192;
  constexpr double kTwoPi = 6.283185307179586;
  const auto phaseAt = [&](int64_t start, double hz) {
    double re = 0.0, im = 0.0;
    for (int64_t n = 0; n < kWindow; ++n) {
      const double w = 0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(n) / kWindow);
      const double x = w * samples[static_cast<size_t>(start + n)];
      re += x * std::cos(kTwoPi * hz * static_cast<double>(n) / rate);
      im -= x * std::sin(kTwoPi * hz * static_cast<double>(n) / rate);
    }
    return std::atan2(im, re);
  };
  double hz = guess;
  for (const int64_t apart : {int64_t{100}, int64_t{2000}, int64_t{40000}}) {
    double turn = phaseAt(from + apart, hz) - phaseAt(from, hz) -
                  kTwoPi * hz * static_cast<double>(apart) / rate;
    turn -= kTwoPi * std::round(turn / kTwoPi);
    hz += turn * rate / (kTwoPi * static_cast<double>(apart));
  }
  return hz;
}

}  // namespace

// Long notes of a harmonic sound (Mod1 = Mod2 = 0.5) through velaorin-render --scale: each
// sounds within a tenth of a cent of 19-tone equal temperament.
TEST(RenderCli, EveryNoteSoundsWhereTheScalePutsIt) {
  ScratchDir dir;
  writeText(dir.file("19edo.scl"), equalScaleFile(19));
  std::vector<MidiEventAt> song;
  std::vector<uint8_t> keys;
  for (uint8_t key = 36; key <= 96; key = static_cast<uint8_t>(key + 5)) keys.push_back(key);
  constexpr int64_t kTicks = 1248, kHeld = 1152;  // 1.3 s and 1.2 s at 960 ticks a second
  for (size_t n = 0; n < keys.size(); ++n) {
    song.push_back({1, static_cast<int64_t>(n) * kTicks, {0x90, keys[n], 100}});
    song.push_back({1, static_cast<int64_t>(n) * kTicks + kHeld, {0x80, keys[n], 0}});
  }
  writeMidi(dir.file("song.mid"), 480, 1, song);
  const ToolRun run = runTool({"--scale", "19edo.scl", "song.mid", "--param", "Mod1=0.5", "--param",
                               "Mod2=0.5", "--bit-depth", "32f", "-q"},
                              dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const WavData wav = readWav(dir.file("song.wav"));
  ASSERT_EQ(wav.sampleRate, 44100);
  std::vector<float> left;
  for (size_t i = 0; i < wav.samples.size(); i += 2) left.push_back(wav.samples[i]);
  for (size_t n = 0; n < keys.size(); ++n) {
    SCOPED_TRACE(static_cast<int>(keys[n]));
    const double expected = 261.6256 * std::pow(2.0, (keys[n] - 60) / 19.0);
    // 50 ms in: after the attack and the decay, the sound is steady.
    const int64_t steady = static_cast<int64_t>(n) * 57330 + 2205;
    ASSERT_LE(steady + 42000 + 8192, static_cast<int64_t>(left.size()));
    const double hz = measuredHz(left, steady, 44100.0, expected);
    EXPECT_NEAR(1200.0 * std::log2(hz / expected), 0.0, 0.1) << hz << " Hz";
  }
}

TEST(RenderCli, ListsTheTuningAndRefusesBadFilesBeforeRendering) {
  ScratchDir dir;
  writeText(dir.file("31edo.scl"), equalScaleFile(31));
  writeText(dir.file("white.kbm"), "12\n0\n127\n60\n69\n432.0\n12\n0\nx\n2\nx\n4\n5\nx\n7\nx\n9\nx\n11\n");
  writeText(dir.file("short.scl"), "! short\nthree pitches, two given\n3\n100.0\n2/1\n");
  const ToolRun plain = runTool({"--list-tuning"}, dir.path());
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(lineCount(plain.out), 128u);
  EXPECT_NE(plain.out.find("\n69 440 0.0000\n"), std::string::npos) << plain.out;
  EXPECT_EQ(dir.entries().size(), 3u) << "nothing rendered";

  const ToolRun tuned = runTool({"--list-tuning", "--scale", "31edo.scl"}, dir.path());
  ASSERT_EQ(tuned.exitCode, 0) << tuned.err;
  // Worked out apart: 261.6256 Hz times 2^((key - 60) / 31), against 440 Hz times
  // 2^((key - 69) / 12).
  for (const char* line : {"0 68.3977058 3677.4196\n", "\n60 261.6256 0.0002\n",
                           "\n91 523.2512 -1899.9998\n", "\n127 1170.28989 -4106.4514\n"})
    EXPECT_NE(tuned.out.find(line), std::string::npos) << line << tuned.out;

  // A mapping alone tunes 12-tone equal temperament: A at 432 Hz, black keys silent.
  const ToolRun mapped = runTool({"--list-tuning", "--keymap", "white.kbm"}, dir.path());
  ASSERT_EQ(mapped.exitCode, 0) << mapped.err;
  for (const char* line : {"\n61 unmapped\n", "\n69 432 -31.7667\n", "\n72 513.737474 -31.7667\n"})
    EXPECT_NE(mapped.out.find(line), std::string::npos) << line << mapped.out;

  const struct {
    std::vector<std::string> args;
    const char* message;
    int exitCode;
  } rows[] = {
      {{"--scale", "absent.scl"}, "cannot open 'absent.scl': No such file or directory", 1},
      {{"--scale", "short.scl"}, "short.scl:3: 3 pitches announced, 2 given", 1},
      {{"--keymap", "31edo.scl", "--list-tuning"}, "31edo.scl:3: the map size '31-tone' is not a whole number", 1},
      {{"--scale", "31edo.scl", "-p", VELA_PROBE_PLUGIN}, "Probe takes no tuning: it is not VelaOrin, or an older one", 1},
      {{"--scale", ""}, "option --scale needs a file name", 2},
  };
  const std::vector<std::string> before = dir.entries();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    const ToolRun run = runTool(row.args, dir.path());
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), before);
  }
}
