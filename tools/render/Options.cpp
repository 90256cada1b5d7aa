#include "Options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace {

constexpr int32_t kLowestSampleRate = 8000;
constexpr int32_t kHighestSampleRate = 384000;
constexpr int32_t kLargestBlock = 16384;
constexpr double kLongestTailMs = 3600000.0;

// from_chars accepts neither leading '+' nor whitespace, and must consume the whole text.
template <typename Number>
bool parseNumber(const std::string& text, Number& result) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, result);
  return error == std::errc() && stop == end;
}

struct OptionEntry {
  const char* longName;
  char shortName;  // 0: none
  bool takesValue;
  std::function<std::string(Options&, const std::string&)> apply;  // returns an error or ""
};

std::string needInteger(const std::string& option, const std::string& text, int32_t lowest,
                        int32_t highest, int32_t& result) {
  int32_t value = 0;
  const bool parsed = parseNumber(text, value);
  if (!parsed) {
    // Digits that overflow are still a whole number, just far out of range.
    const size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
    const bool allDigits = text.size() > digitsFrom &&
                           text.find_first_not_of("0123456789", digitsFrom) == std::string::npos;
    if (!allDigits) return "option " + option + " needs a whole number, got '" + text + "'";
  }
  if (!parsed || value < lowest || value > highest)
    return "option " + option + " must be from " + std::to_string(lowest) + " to " +
           std::to_string(highest) + ", got " + text;
  result = value;
  return "";
}

std::string applyParameter(Options& options, const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0)
    return "option --param needs NAME=VALUE, got '" + text + "'";
  const std::string name = text.substr(0, equals);
  const std::string valueText = text.substr(equals + 1);
  double value = 0.0;
  if (!parseNumber(valueText, value) || !std::isfinite(value))
    return "parameter " + name + " needs a number, got '" + valueText + "'";
  if (value < 0.0 || value > 1.0)
    return "parameter " + name + " must be from 0 to 1, got " + valueText;
  options.parameters.push_back({name, static_cast<float>(value)});
  return "";
}

const std::vector<OptionEntry>& optionTable() {
  static const std::vector<OptionEntry> table = {
      {"midi-file", 'm', true,
       [](Options& o, const std::string& v) {
         o.midiFile = v;
         return std::string(v.empty() ? "option --midi-file needs a file name" : "");
       }},
      {"output", 'o', true,
       [](Options& o, const std::string& v) {
         o.output = v;
         return std::string(v.empty() ? "option --output needs a file name" : "");
       }},
      {"plugin", 'p', true,
       [](Options& o, const std::string& v) {
         o.pluginPath = v;
         return std::string(v.empty() ? "option --plugin needs a file name" : "");
       }},
      {"sample-rate", 'r', true,
       [](Options& o, const std::string& v) {
         return needInteger("--sample-rate", v, kLowestSampleRate, kHighestSampleRate,
                            o.sampleRate);
       }},
      {"blocksize", 'b', true,
       [](Options& o, const std::string& v) {
         return needInteger("--blocksize", v, 1, kLargestBlock, o.blockSize);
       }},
      {"tail-time", 0, true,
       [](Options& o, const std::string& v) {
         double ms = 0.0;
         if (!parseNumber(v, ms) || !std::isfinite(ms))
           return "option --tail-time needs milliseconds, got '" + v + "'";
         if (ms < 0.0 || ms > kLongestTailMs)
           return "option --tail-time must be from 0 to " +
                  std::to_string(static_cast<int64_t>(kLongestTailMs)) + " ms, got " + v;
         o.tailMs = ms;
         return std::string();
       }},
      {"bit-depth", 0, true,
       [](Options& o, const std::string& v) {
         static const std::map<std::string, BitDepth> depths = {
             {"16", BitDepth::Pcm16}, {"24", BitDepth::Pcm24}, {"32f", BitDepth::Float32}};
         auto found = depths.find(v);
         if (found == depths.end())
           return "option --bit-depth takes 16, 24 or 32f, got '" + v + "'";
         o.bitDepth = found->second;
         return std::string();
       }},
      {"program", 0, true,
       [](Options& o, const std::string& v) {
         int32_t program = 0;
         std::string error = needInteger("--program", v, 0, INT32_MAX, program);
         if (error.empty()) o.program = program;
         return error;
       }},
      {"param", 0, true, applyParameter},
      {"overwrite", 0, false,
       [](Options& o, const std::string&) {
         o.overwrite = true;
         return std::string();
       }},
      {"list-params", 0, false,
       [](Options& o, const std::string&) {
         o.listParameters = true;
         return std::string();
       }},
      {"list-programs", 0, false,
       [](Options& o, const std::string&) {
         o.listPrograms = true;
         return std::string();
       }},
      {"help", 'h', false,
       [](Options& o, const std::string&) {
         o.help = true;
         return std::string();
       }},
  };
  return table;
}

const OptionEntry* findLong(const std::string& name) {
  for (const OptionEntry& entry : optionTable())
    if (name == entry.longName) return &entry;
  return nullptr;
}

const OptionEntry* findShort(char name) {
  for (const OptionEntry& entry : optionTable())
    if (entry.shortName != 0 && entry.shortName == name) return &entry;
  return nullptr;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Options& options = parsed.options;
  bool midiFromPosition = false;
  auto fail = [&parsed](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const OptionEntry* entry = nullptr;
    std::string shown;  // the option as the user wrote it
    std::optional<std::string> attached;

    if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
      const size_t equals = arg.find('=');
      const std::string name =
          arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      if (equals != std::string::npos) attached = arg.substr(equals + 1);
      shown = "--" + name;
      entry = findLong(name);
    } else if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-') {
      shown = arg.substr(0, 2);
      entry = findShort(arg[1]);
      if (arg.size() > 2) attached = arg.substr(2);
    } else if (arg == "--") {
      return fail("unexpected argument '--'");
    } else {
      // A bare file name is the MIDI file, as with most renderers.
      if (!options.midiFile.empty() || midiFromPosition)
        return fail("unexpected argument '" + arg + "'; only one MIDI file can be rendered");
      options.midiFile = arg;
      midiFromPosition = true;
      continue;
    }

    if (entry == nullptr) return fail("unknown option '" + shown + "' (see --help)");
    std::string value;
    if (entry->takesValue) {
      if (attached) {
        value = *attached;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return fail("option " + shown + " needs a value");
      }
    } else if (attached) {
      return fail("option " + shown + " takes no value");
    }
    std::string error = entry->apply(options, value);
    if (!error.empty()) return fail(error);
  }
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
  return "Usage: " + programName + R"( [options] [MIDI-FILE]

Renders a Standard MIDI File (format 0 or 1) through the VelaOrin plug-in into a WAV file.
Without a MIDI file it plays a built-in demo song.

  -m, --midi-file FILE   MIDI file to render (default: the demo song)
  -o, --output FILE      WAV file to write (default: out.wav)
  -p, --plugin FILE      plug-in binary (default: VelaOrin.so beside this program)
  -r, --sample-rate HZ   sample rate, 8000 to 384000 (default: 44100)
  -b, --blocksize N      samples per render call, 1 to 16384 (default: 512)
      --tail-time MS     milliseconds rendered after the song ends (default: 1500)
      --bit-depth D      16, 24 or 32f (default: 16)
      --program N        select program N before rendering
      --param NAME=VALUE set a parameter by name to a value from 0 to 1, after --program;
                         may be given several times (e.g. --param CutOff=0.8)
      --overwrite        replace the output file if it exists
      --list-params      print the plug-in's parameters and exit
      --list-programs    print the plug-in's programs and exit
  -h, --help             print this help and exit
)";
}
