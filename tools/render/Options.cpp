#include "Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "PluginSearch.h"

namespace {

constexpr int32_t kLowestSampleRate = 8000;
constexpr int32_t kHighestSampleRate = 384000;
constexpr int32_t kLargestBlock = 16384;
constexpr double kLongestTailMs = 3600000.0;
constexpr double kLargestGainDb = 100.0;

// from_chars accepts neither leading '+' nor whitespace, and must consume the whole text.
template <typename Number>
bool parseNumber(const std::string& text, Number& result) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, result);
  return error == std::errc() && stop == end;
}

[[noreturn]] void refuse(const std::string& message) { throw CLI::ValidationError(message); }

int32_t needInteger(const std::string& option, const std::string& text, int32_t lowest,
                    int32_t highest) {
  int32_t value = 0;
  const bool parsed = parseNumber(text, value);
  if (!parsed) {
    // Digits that overflow are still a whole number, just far out of range.
    const size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
    const bool allDigits = text.size() > digitsFrom &&
                           text.find_first_not_of("0123456789", digitsFrom) == std::string::npos;
    if (!allDigits) refuse("option " + option + " needs a whole number, got '" + text + "'");
  }
  if (!parsed || value < lowest || value > highest)
    refuse("option " + option + " must be from " + std::to_string(lowest) + " to " +
           std::to_string(highest) + ", got " + text);
  return value;
}

double needNumber(const std::string& option, const std::string& text, const char* unit,
                  double lowest, double highest) {
  double value = 0.0;
  if (!parseNumber(text, value) || !std::isfinite(value))
    refuse("option " + option + " needs " + unit + ", got '" + text + "'");
  if (value < lowest || value > highest) {
    char range[64];
    std::snprintf(range, sizeof range, "%.10g to %.10g", lowest, highest);
    refuse("option " + option + " must be from " + range + ", got " + text);
  }
  return value;
}

ParameterSetting needParameter(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0)
    refuse("option --param needs NAME=VALUE, got '" + text + "'");
  const std::string name = text.substr(0, equals);
  const std::string valueText = text.substr(equals + 1);
  double value = 0.0;
  if (!parseNumber(valueText, value) || !std::isfinite(value))
    refuse("parameter " + name + " needs a number, got '" + valueText + "'");
  if (value < 0.0 || value > 1.0)
    refuse("parameter " + name + " must be from 0 to 1, got " + valueText);
  return {name, static_cast<float>(value)};
}

template <typename Value>
Value needChoice(const std::string& option, const std::string& text,
                 const std::map<std::string, Value>& choices) {
  const auto found = choices.find(text);
  if (found != choices.end()) return found->second;
  std::string list;
  for (const auto& [name, value] : choices) list += (list.empty() ? "" : ", ") + name;
  refuse("option " + option + " takes " + list + ", got '" + text + "'");
}

const char* kExitCodes = R"(
Output formats by extension: .wav, .flac, .aiff or .aif, .ogg (Ogg Vorbis).
Several MIDI files: each is written beside it (song.mid -> song.wav), or into -o FOLDER/.

Exit codes: 0 done, 1 failed (a file could not be read, rendered or written),
2 the command line is wrong.
)";

// Every option writes straight into `options`; `positional` collects bare file names.
void describe(CLI::App& app, Options& options, std::vector<std::string>& named,
              std::vector<std::string>& positional) {
  app.description(
      "Renders Standard MIDI Files through the VelaOrin plug-in into audio files.\n"
      "Without a MIDI file it plays a built-in demo song.");
  app.footer(std::string(kExitCodes) + "\n" + kPluginLookupHelp);
  app.get_formatter()->column_width(28);
  app.set_help_flag("-h,--help", "print this help and exit");
  // A repeated option: the last one counts (files and parameters collect every one).
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_flag("--version", options.version, "print the version and exit");
  app.add_option("MIDI-FILES", positional, "MIDI files to render ('-': standard input)")
      ->type_name("MIDI-FILE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("-m,--midi-file", named, "a MIDI file to render; may be given several times")
      ->type_name("FILE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  app.add_option("-o,--output", options.output,
                 "file to write, FOLDER/ to write into, '-' for standard output\n"
                 "(default: beside the MIDI file; out.wav for the demo)")
      ->type_name("FILE");
  app.add_option("-p,--plugin", options.pluginPath,
                 "plug-in binary, by path or by name in the current folder\n"
                 "(default: the first VelaOrin.so found, see below)")
      ->type_name("FILE");
  app.add_option_function<std::string>(
         "-r,--sample-rate",
         [&](const std::string& v) {
           options.sampleRate =
               needInteger("--sample-rate", v, kLowestSampleRate, kHighestSampleRate);
         },
         "sample rate, 8000 to 384000 (default: 44100)")
      ->type_name("HZ");
  app.add_option_function<std::string>(
         "-b,--blocksize",
         [&](const std::string& v) {
           options.blockSize = needInteger("--blocksize", v, 1, kLargestBlock);
         },
         "samples per render call, 1 to 16384 (default: 512)")
      ->type_name("N");
  app.add_option_function<std::string>(
         "--tail-time",
         [&](const std::string& v) {
           options.tailMs = needNumber("--tail-time", v, "milliseconds", 0.0, kLongestTailMs);
         },
         "milliseconds rendered after the song ends (default: 1500)")
      ->type_name("MS");
  app.add_option_function<std::string>(
         "--format",
         [&](const std::string& v) {
           options.format = needChoice<FileFormat>("--format", v,
                                                   {{"wav", FileFormat::Wav},
                                                    {"flac", FileFormat::Flac},
                                                    {"aiff", FileFormat::Aiff},
                                                    {"ogg", FileFormat::Ogg}});
         },
         "wav, flac, aiff or ogg, whatever the output's extension")
      ->type_name("F");
  app.add_option_function<std::string>(
         "--bit-depth",
         [&](const std::string& v) {
           options.bitDepth = needChoice<BitDepth>(
               "--bit-depth", v,
               {{"16", BitDepth::Pcm16}, {"24", BitDepth::Pcm24}, {"32f", BitDepth::Float32}});
         },
         "16, 24 or 32f (default: 16; FLAC: 16 or 24; Ogg: none)")
      ->type_name("D");
  app.add_option("--bank", options.bankFile, "load a bank file (.fxb) before --program")
      ->type_name("FILE");
  app.add_option("--preset", options.presetFile,
                 "load a program file (.fxp) into the current program, before --param")
      ->type_name("FILE");
  app.add_option("--save-bank", options.saveBank,
                 "write the bank, as loaded and changed, to a bank file; renders\n"
                 "only the MIDI files given, not the demo")
      ->type_name("FILE");
  app.add_option("--save-preset", options.savePreset,
                 "write the current program to a program file (.fxp); likewise")
      ->type_name("FILE");
  app.add_option_function<std::string>(
         "--program",
         [&](const std::string& v) { options.program = needInteger("--program", v, 0, INT32_MAX); },
         "select program N before rendering")
      ->type_name("N");
  app.add_option_function<std::vector<std::string>>(
         "--param",
         [&](const std::vector<std::string>& values) {
           for (const std::string& v : values) options.parameters.push_back(needParameter(v));
         },
         "set a parameter by name to a value from 0 to 1, after --program\n"
         "and --preset; "
         "may be given several times (e.g. --param CutOff=0.8)")
      ->type_name("NAME=VALUE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  app.add_option("--scale", options.scaleFile,
                 "play in the tuning of a Scala scale file (.scl)")
      ->type_name("FILE.scl");
  app.add_option("--keymap", options.keymapFile,
                 "map the keys with a Scala keyboard mapping (.kbm); without\n"
                 "--scale, onto 12-tone equal temperament")
      ->type_name("FILE.kbm");
  app.add_option_function<std::string>(
                             "--gain",
                             [&](const std::string& v) {
                               options.gainDb =
                                   needNumber("--gain", v, "decibels", -kLargestGainDb, kLargestGainDb);
                             },
                             "change the level by DB decibels")
      ->type_name("DB");
  app.add_flag("--normalize", options.normalize, "scale the loudest sample to -1 dBFS");
  app.add_flag_callback(
      "-q,--quiet", [&] { options.verbosity = Verbosity::Quiet; }, "print errors only");
  app.add_flag_callback(
         "-v,--verbose", [&] { options.verbosity = Verbosity::Verbose; },
         "say what is rendered, how, and how long it took");
  app.add_flag("--overwrite", options.overwrite, "replace an existing output file");
  app.add_flag("--list-params", options.listParameters, "print the plug-in's parameters and exit");
  app.add_flag("--list-programs", options.listPrograms, "print the plug-in's programs and exit");
  app.add_flag("--list-tuning", options.listTuning,
               "print each MIDI note's frequency and its distance in cents\n"
               "from 12-tone equal temperament, and exit");
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Options& options = parsed.options;
  CLI::App app;
  std::vector<std::string> named, positional;
  describe(app, options, named, positional);
  try {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    options.help = true;
    return parsed;
  } catch (const CLI::ParseError& error) {
    parsed.error = error.what();
    if (parsed.error.find("was not expected") != std::string::npos) parsed.error += " (see --help)";
    return parsed;
  }
  if (app.count("--gain") > 0 && options.normalize)
    parsed.error = "--gain and --normalize both set the level; give one";
  if (app.count("--quiet") > 0 && app.count("--verbose") > 0)
    parsed.error = "--quiet and --verbose contradict each other; give one";
  if (app.count("--output") > 0 && options.output.empty())
    parsed.error = "option --output needs a file name";
  const std::pair<const char*, const std::string*> files[] = {
      {"--bank", &options.bankFile}, {"--preset", &options.presetFile},
      {"--scale", &options.scaleFile}, {"--keymap", &options.keymapFile},
      {"--save-bank", &options.saveBank}, {"--save-preset", &options.savePreset}};
  for (const auto& [name, file] : files)
    if (app.count(name) > 0 && file->empty())
      parsed.error = std::string("option ") + name + " needs a file name";
  if (!options.saveBank.empty() && options.saveBank == options.savePreset)
    parsed.error = "--save-bank and --save-preset name the same file";
  if ((options.saveBank == "-" || options.savePreset == "-") && options.output == "-")
    parsed.error = "standard output can take the audio or a saved file, not both";
  options.midiFiles = named;
  options.midiFiles.insert(options.midiFiles.end(), positional.begin(), positional.end());
  for (const std::string& file : options.midiFiles)
    if (file.empty()) parsed.error = "option --midi-file needs a file name";
  if (std::count(options.midiFiles.begin(), options.midiFiles.end(), "-") > 1)
    parsed.error = "standard input ('-') can be read only once";
  const bool intoFolder = !options.output.empty() && options.output.back() == '/';
  if (options.midiFiles.size() > 1 && !options.output.empty() && !intoFolder)
    parsed.error = "several MIDI files are written beside themselves or into -o FOLDER/ "
                   "(ending in /), not into one file '" + options.output + "'";
  return parsed;
}

const char* bitDepthName(BitDepth depth) {
  switch (depth) {
    case BitDepth::Pcm16:
      return "16-bit";
    case BitDepth::Pcm24:
      return "24-bit";
    case BitDepth::Float32:
      return "32-bit float";
  }
  return "?";
}

std::string usageText(const std::string& programName) {
  CLI::App app;
  app.name(programName);
  Options options;
  std::vector<std::string> named, positional;
  describe(app, options, named, positional);
  return app.help();
}
