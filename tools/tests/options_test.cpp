#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "Options.h"
#include "RenderJobs.h"
#include "ToolError.h"
#include "ToolTestSupport.h"

namespace {

struct OptionCase {
  std::vector<std::string> args;
  std::string errorContains;  // empty: must parse
  std::function<void(const Options&)> check;
};

void noCheck(const Options&) {}

}  // namespace

TEST(RenderOptions, ParsesAndRejectsCommandLines) {
  const std::vector<OptionCase> cases = {
      {{},
       "",
       [](const Options& o) {
         EXPECT_TRUE(o.midiFiles.empty());
         EXPECT_EQ(o.output, "");
         EXPECT_EQ(o.sampleRate, 44100);
         EXPECT_EQ(o.blockSize, 512);
         EXPECT_EQ(o.tailMs, 1500.0);
         EXPECT_FALSE(o.bitDepth || o.format || o.program);
         EXPECT_EQ(o.gainDb, 0.0);
         EXPECT_EQ(o.verbosity, Verbosity::Normal);
         EXPECT_FALSE(o.overwrite || o.listParameters || o.listPrograms || o.help || o.version ||
                      o.normalize);
       }},
      {{"-m", "a.mid", "-o", "b.wav", "-r", "48000", "-b", "256", "-p", "x.so"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.midiFiles, std::vector<std::string>{"a.mid"});
         EXPECT_EQ(o.output, "b.wav");
         EXPECT_EQ(o.sampleRate, 48000);
         EXPECT_EQ(o.blockSize, 256);
         EXPECT_EQ(o.pluginPath, "x.so");
       }},
      {{"--midi-file=a.mid", "--output=b.wav", "--sample-rate=96000", "--blocksize=1"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.midiFiles, std::vector<std::string>{"a.mid"});
         EXPECT_EQ(o.output, "b.wav");
         EXPECT_EQ(o.sampleRate, 96000);
         EXPECT_EQ(o.blockSize, 1);
       }},
      {{"-r22050", "-ob.wav"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.sampleRate, 22050);
         EXPECT_EQ(o.output, "b.wav");
       }},
      {{"song.mid"}, "", [](const Options& o) { EXPECT_EQ(o.midiFiles.size(), 1u); }},
      {{"a.mid", "-m", "b.mid", "-", "-o", "out/"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.midiFiles, (std::vector<std::string>{"b.mid", "a.mid", "-"}));
       }},
      {{"--format", "flac", "--gain", "-6.5", "-q"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.format, FileFormat::Flac);
         EXPECT_EQ(o.gainDb, -6.5);
         EXPECT_EQ(o.verbosity, Verbosity::Quiet);
       }},
      {{"--normalize", "-v", "--version"},
       "",
       [](const Options& o) {
         EXPECT_TRUE(o.normalize && o.version);
         EXPECT_EQ(o.verbosity, Verbosity::Verbose);
       }},
      {{"--tail-time", "250.5"}, "", [](const Options& o) { EXPECT_EQ(o.tailMs, 250.5); }},
      {{"--tail-time", "0"}, "", [](const Options& o) { EXPECT_EQ(o.tailMs, 0.0); }},
      {{"--bit-depth", "24"}, "", [](const Options& o) { EXPECT_EQ(o.bitDepth, BitDepth::Pcm24); }},
      {{"--bit-depth=32f"}, "", [](const Options& o) { EXPECT_EQ(o.bitDepth, BitDepth::Float32); }},
      {{"--program", "3"}, "", [](const Options& o) { EXPECT_EQ(o.program, 3); }},
      {{"--param", "CutOff=0.8", "--param=Q=0", "--param", "R=1"},
       "",
       [](const Options& o) {
         ASSERT_EQ(o.parameters.size(), 3u);
         EXPECT_EQ(o.parameters[0].name, "CutOff");
         EXPECT_EQ(o.parameters[0].value, 0.8f);
         EXPECT_EQ(o.parameters[1].name, "Q");
         EXPECT_EQ(o.parameters[1].value, 0.0f);
         EXPECT_EQ(o.parameters[2].value, 1.0f);
       }},
      {{"--overwrite", "--list-params", "--list-programs"},
       "",
       [](const Options& o) { EXPECT_TRUE(o.overwrite && o.listParameters && o.listPrograms); }},
      {{"--scale", "a.scl", "--keymap", "b.kbm", "--list-tuning"},
       "",
       [](const Options& o) {
         EXPECT_EQ(o.scaleFile, "a.scl");
         EXPECT_EQ(o.keymapFile, "b.kbm");
         EXPECT_TRUE(o.listTuning);
       }},
      {{"--keymap", ""}, "option --keymap needs a file name", noCheck},
      {{"-h"}, "", [](const Options& o) { EXPECT_TRUE(o.help); }},
      {{"--help"}, "", [](const Options& o) { EXPECT_TRUE(o.help); }},

      {{"song.mid", "other.mid", "-o", "x.wav"}, "not into one file 'x.wav'", noCheck},
      {{"-", "-m", "-"}, "standard input ('-') can be read only once", noCheck},
      {{"--frobnicate"}, "--frobnicate (see --help)", noCheck},
      {{"-x"}, "-x (see --help)", noCheck},
      {{"-o"}, "--output: 1 required FILE missing", noCheck},
      {{"-o", ""}, "option --output needs a file name", noCheck},
      {{"--program"}, "--program: 1 required N missing", noCheck},
      {{"--format", "mp3"}, "option --format takes aiff, flac, ogg, wav, got 'mp3'", noCheck},
      {{"--gain", "loud"}, "option --gain needs decibels, got 'loud'", noCheck},
      {{"--gain", "101"}, "option --gain must be from -100 to 100", noCheck},
      {{"--gain", "3", "--normalize"}, "--gain and --normalize both set the level", noCheck},
      {{"-q", "-v"}, "--quiet and --verbose contradict each other", noCheck},
      {{"-r", "abc"}, "--sample-rate needs a whole number, got 'abc'", noCheck},
      {{"-r", "44.1"}, "--sample-rate needs a whole number", noCheck},
      {{"-r", "+44100"}, "--sample-rate needs a whole number", noCheck},
      {{"-r", "0"}, "--sample-rate must be from 8000 to 384000", noCheck},
      {{"-r", "99999999999"}, "--sample-rate must be from 8000 to 384000", noCheck},
      {{"-b", "-99999999999999999999999"}, "--blocksize must be from 1 to 16384", noCheck},
      {{"-b", "0"}, "--blocksize must be from 1 to 16384", noCheck},
      {{"-b", "16385"}, "--blocksize must be from 1 to 16384", noCheck},
      {{"--tail-time", "-5"}, "--tail-time must be from 0 to 3600000, got -5", noCheck},
      {{"--tail-time", "inf"}, "--tail-time needs milliseconds", noCheck},
      {{"--tail-time", "1s"}, "--tail-time needs milliseconds", noCheck},
      {{"--bit-depth", "32"}, "--bit-depth takes 16, 24, 32f, got '32'", noCheck},
      {{"--program", "-1"}, "--program must be from 0", noCheck},
      {{"--program", "one"}, "--program needs a whole number", noCheck},
      {{"--param", "CutOff=1.5"}, "parameter CutOff must be from 0 to 1, got 1.5", noCheck},
      {{"--param", "CutOff=-0.1"}, "must be from 0 to 1", noCheck},
      {{"--param", "CutOff=nan"}, "parameter CutOff needs a number", noCheck},
      {{"--param", "CutOff="}, "parameter CutOff needs a number", noCheck},
      {{"--param", "CutOff"}, "--param needs NAME=VALUE", noCheck},
      {{"--param", "=0.5"}, "--param needs NAME=VALUE", noCheck},
      {{"-m", ""}, "--midi-file needs a file name", noCheck},
  };
  for (const OptionCase& row : cases) {
    std::string shown;
    for (const auto& arg : row.args) shown += arg + " ";
    SCOPED_TRACE("args: " + shown);
    const ParsedCommandLine parsed = parseCommandLine(row.args);
    if (row.errorContains.empty()) {
      EXPECT_EQ(parsed.error, "");
      row.check(parsed.options);
    } else {
      EXPECT_NE(parsed.error.find(row.errorContains), std::string::npos)
          << "error: " << parsed.error;
    }
  }
}

TEST(RenderOptions, LaterValuesWinExceptRepeatableParameters) {
  const ParsedCommandLine parsed =
      parseCommandLine({"-r", "22050", "-r", "48000", "--param", "A=0.1", "--param", "A=0.2"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.sampleRate, 48000);
  ASSERT_EQ(parsed.options.parameters.size(), 2u);  // applied in order, so the last one sticks
  EXPECT_EQ(parsed.options.parameters[1].value, 0.2f);
}

TEST(RenderOptions, EachMidiFileGetsItsOwnOutputNameAndFormat) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> outputs;  // empty: refused
    FileFormat format;
  } rows[] = {
      {{}, {"out.wav"}, FileFormat::Wav},
      {{"-"}, {"out.wav"}, FileFormat::Wav},
      {{"songs/a.b.mid", "c", "--format", "ogg"}, {"songs/a.b.ogg", "c.ogg"}, FileFormat::Ogg},
      {{"a.mid", "-o", "x.FLAC"}, {"x.FLAC"}, FileFormat::Flac},
      {{"a.mid", "-o", "-"}, {"-"}, FileFormat::Wav},
      {{"a.mid", "-o", "x.aif", "--format", "wav"}, {"x.aif"}, FileFormat::Wav},
      {{"a.mid", "-o", "no-extension"}, {}, FileFormat::Wav},
  };
  for (const auto& row : rows) {
    std::string shown;
    for (const auto& arg : row.args) shown += arg + " ";
    SCOPED_TRACE("args: " + shown);
    const ParsedCommandLine parsed = parseCommandLine(row.args);
    ASSERT_EQ(parsed.error, "");
    if (row.outputs.empty()) {
      EXPECT_THROW(planJobs(parsed.options), UsageError);
      continue;
    }
    std::vector<std::string> outputs;
    for (const RenderJob& job : planJobs(parsed.options)) {
      outputs.push_back(job.output);
      EXPECT_EQ(job.format.file, row.format);
    }
    EXPECT_EQ(outputs, row.outputs);
  }
}
