// The state file, version 3. UTF-8 text, one item per line, '#' starts a comment line:
//
//   velaorin-state 3
//   program 3                  current program, 0-based
//   name 0 init1               one line per program; the name runs to the end of the line,
//                              bytes below 0x20, 0x7f and '\' written as \xHH
//   values 0 Mod1=0.5 Mod2=0.5 ...   one line per program: every parameter by name, value 0..1
//                                    (shortest float text)
//   scale-name 19edo.scl       the tuning, when there is one: a file's name, escaped as names
//   scale ! 19edo.scl\x0A...   are, and its whole contents on one line the same way;
//   keymap-name, keymap        likewise the keyboard mapping; each kind of line at most once
//   end
//
// Every program's name and values, and every parameter in each, must appear exactly once and
// "end" must close the file, so a file cut short by a crash or a full disk is recognised as
// damaged and ignored as a whole; so is a tuning the instrument would refuse. A file without a
// tuning is written as version 2, which has no tuning lines, so older players still read it.
// Version 1 had "param NAME VALUE" lines, one per parameter, for the current program only,
// instead of "values" lines; it is still read.
#include "StateFile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <utility>

#include "FileOutput.h"
#include "ToolError.h"

namespace {

constexpr const char* kMagic = "velaorin-state";
constexpr int kVersion = 3;
constexpr int kVersionWithoutTuning = 2;

std::string escapeName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool unescapeName(const std::string& text, std::string& name) {
  name.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    unsigned value = 0;
    if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
    const char* first = text.data() + i + 2;
    if (std::from_chars(first, first + 2, value, 16).ptr != first + 2) return false;
    name += static_cast<char>(value);
    i += 3;
  }
  return true;
}

template <typename T>
bool parseNumber(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

StateParse fail(size_t line, const std::string& why) {
  StateParse result;
  result.error = (line > 0 ? "line " + std::to_string(line) + ": " : "") + why;
  return result;
}

std::string mkdirs(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
      return "cannot create " + part + ": " + std::strerror(errno);
    if (slash == std::string::npos) return {};
  }
}

}  // namespace

std::string formatState(const PlayerState& state, const std::vector<std::string>& parameterNames) {
  const int version = state.tuning.isDefault() ? kVersionWithoutTuning : kVersion;
  std::string out = std::string(kMagic) + " " + std::to_string(version) + "\n";
  out += "program " + std::to_string(state.program) + "\n";
  for (size_t n = 0; n < state.names.size(); ++n) {
    out += "name " + std::to_string(n) + " " + escapeName(state.names[n]) + "\n";
    out += "values " + std::to_string(n);
    for (size_t i = 0; n < state.values.size() && i < state.values[n].size() && i < parameterNames.size(); ++i) {
      char number[32];
      auto result = std::to_chars(number, number + sizeof number, state.values[n][i]);
      out += " " + parameterNames[i] + "=" + std::string(number, result.ptr);
    }
    out += "\n";
  }
  const std::pair<const char*, const std::optional<ScalaText>*> files[] = {
      {"scale", &state.tuning.scale}, {"keymap", &state.tuning.keyboardMapping}};
  for (const auto& [key, file] : files) {
    if (!file->has_value()) continue;
    out += std::string(key) + "-name " + escapeName((*file)->name) + "\n";
    out += std::string(key) + " " + escapeName((*file)->text) + "\n";
  }
  out += "end\n";
  return out;
}

namespace {

// parseState's steps: one per kind of line, then the checks of the whole file. Each answers why
// the file is refused, empty when it is not.
class StateReader {
 public:
  StateReader(const std::vector<std::string>& parameterNames, size_t programCount)
      : parameterNames_(parameterNames),
        programCount_(programCount),
        haveValue_(parameterNames.size()),
        haveName_(programCount),
        haveValues_(programCount),
        currentValues_(parameterNames.size()) {
    state_.values.assign(programCount, std::vector<float>(parameterNames.size(), 0.0f));
    state_.names.assign(programCount, {});
  }

  bool ended() const { return ended_; }
  PlayerState& state() { return state_; }

  // A line that is neither empty nor a comment.
  std::string readLine(const std::string& line) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (!haveHeader_) return readHeader(key, rest);
    if (key == "program") return readProgram(rest);
    if (key == "param" && version_ == 1) return readParam(rest);
    if (key == "values" && version_ >= 2) return readValues(rest);
    if (key == "name") return readName(rest);
    if (version_ >= 3) {
      if (key == "scale-name") return readTuningText(rest, scaleName_, "scale-name");
      if (key == "scale") return readTuningText(rest, scaleText_, "scale");
      if (key == "keymap-name") return readTuningText(rest, keymapName_, "keymap-name");
      if (key == "keymap") return readTuningText(rest, keymapText_, "keymap");
    }
    if (key == "end") {
      ended_ = true;
      return {};
    }
    return "unknown line '" + key + "'";
  }

  // Once every line is read: what must appear at least once. Version 1's values become the
  // current program's.
  std::string finish() {
    if (!haveHeader_) return "empty file";
    if (!ended_) return "cut short (no \"end\" line)";
    if (!haveProgram_) return "no \"program\" line";
    if (version_ == 1) {
      for (size_t i = 0; i < parameterNames_.size(); ++i)
        if (!haveValue_[i]) return "no value for '" + parameterNames_[i] + "'";
      for (size_t n = 0; n < programCount_; ++n)
        state_.values[n] =
            n == static_cast<size_t>(state_.program) ? currentValues_ : std::vector<float>{};
      state_.onlyCurrentValues = true;
    }
    for (size_t n = 0; n < programCount_ && version_ >= 2; ++n)
      if (!haveValues_[n]) return "no values for program " + std::to_string(n);
    for (size_t i = 0; i < programCount_; ++i)
      if (!haveName_[i]) return "no name for program " + std::to_string(i);
    return finishTuning();
  }

 private:
  std::string readHeader(const std::string& key, const std::string& rest) {
    if (key != kMagic) return "not a VelaOrin state file";
    if (!parseNumber(rest, version_) || version_ < 1 || version_ > kVersion)
      return "unknown version '" + rest + "'";
    haveHeader_ = true;
    return {};
  }

  std::string readProgram(const std::string& rest) {
    if (haveProgram_) return "second \"program\" line";
    if (!parseNumber(rest, state_.program) || state_.program < 0 ||
        static_cast<size_t>(state_.program) >= programCount_)
      return "bad program number '" + rest + "'";
    haveProgram_ = true;
    return {};
  }

  // Version 1: "param NAME VALUE", the current program's (row unknown until "program").
  std::string readParam(const std::string& rest) {
    const size_t gap = rest.find(' ');
    const std::string name = rest.substr(0, gap);
    const size_t index = parameterIndex(name);
    if (index == parameterNames_.size()) return "unknown parameter '" + name + "'";
    if (haveValue_[index]) return "parameter '" + name + "' given twice";
    if (gap == std::string::npos || !goodValue(rest.substr(gap + 1), currentValues_[index]))
      return "bad value for '" + name + "'";
    haveValue_[index] = true;
    return {};
  }

  // "values N NAME=VALUE ...": every parameter of program N, once each.
  std::string readValues(const std::string& rest) {
    std::istringstream items(rest);
    std::string item;
    size_t program = 0;
    if (!(items >> item) || !parseNumber(item, program) || program >= programCount_)
      return "bad program number in \"values\"";
    if (haveValues_[program]) return "values of program " + item + " given twice";
    std::fill(haveValue_.begin(), haveValue_.end(), false);
    while (items >> item) {
      const size_t equals = item.find('=');
      const std::string name = item.substr(0, equals);
      const size_t index = parameterIndex(name);
      if (index == parameterNames_.size()) return "unknown parameter '" + name + "'";
      if (haveValue_[index]) return "parameter '" + name + "' given twice";
      if (equals == std::string::npos ||
          !goodValue(item.substr(equals + 1), state_.values[program][index]))
        return "bad value for '" + name + "'";
      haveValue_[index] = true;
    }
    for (size_t i = 0; i < parameterNames_.size(); ++i)
      if (!haveValue_[i])
        return "no value for '" + parameterNames_[i] + "' in program " + std::to_string(program);
    haveValues_[program] = true;
    return {};
  }

  std::string readName(const std::string& rest) {
    const size_t gap = rest.find(' ');
    size_t index = 0;
    if (!parseNumber(rest.substr(0, gap), index) || index >= programCount_)
      return "bad program number in \"name\"";
    if (haveName_[index]) return "program " + std::to_string(index) + " named twice";
    if (!unescapeName(gap == std::string::npos ? "" : rest.substr(gap + 1), state_.names[index]))
      return "bad escape in a program name";
    haveName_[index] = true;
    return {};
  }

  // "scale-name", "scale", "keymap-name", "keymap": each at most once.
  std::string readTuningText(const std::string& rest, std::optional<std::string>& into,
                             const char* key) {
    if (into) return std::string("second \"") + key + "\" line";
    std::string text;
    if (!unescapeName(rest, text)) return std::string("bad escape in \"") + key + "\"";
    into = std::move(text);
    return {};
  }

  // A file's name and contents come together, and the instrument must take the tuning.
  std::string finishTuning() {
    const struct {
      const char* key;
      std::optional<std::string>& name;
      std::optional<std::string>& text;
      std::optional<ScalaText>& file;
    } files[] = {{"scale", scaleName_, scaleText_, state_.tuning.scale},
                 {"keymap", keymapName_, keymapText_, state_.tuning.keyboardMapping}};
    for (const auto& f : files) {
      if (f.name.has_value() != f.text.has_value())
        return std::string("\"") + f.key + "\" and \"" + f.key + "-name\" must come together";
      if (f.name) f.file = ScalaText{*f.name, *f.text};
    }
    TuningTable table;
    std::string error;
    if (!buildTuning(state_.tuning, table, error)) return "the tuning is refused: " + error;
    return {};
  }

  size_t parameterIndex(const std::string& name) const {
    size_t index = 0;
    while (index < parameterNames_.size() && parameterNames_[index] != name) ++index;
    return index;
  }

  static bool goodValue(const std::string& digits, float& value) {
    return parseNumber(digits, value) && value >= 0.0f && value <= 1.0f;
  }

  const std::vector<std::string>& parameterNames_;
  const size_t programCount_;
  PlayerState state_;
  int version_ = 0;
  bool haveHeader_ = false, haveProgram_ = false, ended_ = false;
  std::vector<bool> haveValue_;  // per parameter: of the "values" line being read, or version 1's
  std::vector<bool> haveName_, haveValues_;  // per program
  std::vector<float> currentValues_;         // version 1
  std::optional<std::string> scaleName_, scaleText_, keymapName_, keymapText_;  // version 3
};

}  // namespace

StateParse parseState(const std::string& text, const std::vector<std::string>& parameterNames,
                      size_t programCount) {
  StateReader reader(parameterNames, programCount);
  std::istringstream lines(text);
  std::string line;
  size_t number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Only blank lines may follow "end", not even comments.
    if (reader.ended() && !line.empty()) return fail(number, "text after \"end\"");
    if (line.empty() || line[0] == '#') continue;
    const std::string problem = reader.readLine(line);
    if (!problem.empty()) return fail(number, problem);
  }
  const std::string problem = reader.finish();
  if (!problem.empty()) return fail(0, problem);
  StateParse result;
  result.ok = true;
  result.state = std::move(reader.state());
  return result;
}

namespace {

// An XDG base folder: the variable when it holds an absolute path, else `fallback` under home.
std::string xdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : "/tmp";
  }
  return std::string(home) + fallback;
}

}  // namespace

std::string defaultStatePath() { return xdgFolder("XDG_CONFIG_HOME", "/.config") + "/velaorin/state"; }

std::string defaultBanksFolder() {
  return xdgFolder("XDG_DATA_HOME", "/.local/share") + "/velaorin/banks/";
}

std::string makeFolders(const std::string& folder) { return mkdirs(folder); }

bool readTextFile(const std::string& path, std::string& text, std::string& error, bool& missing) {
  missing = false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    missing = errno == ENOENT;
    error = std::strerror(errno);
    return false;
  }
  text.clear();
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) error = "read error";
  return !failed;
}

bool replaceFile(const std::string& path, const std::string& text, std::string& error) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    error = mkdirs(path.substr(0, slash));
    if (!error.empty()) return false;
  }
  try {
    // A file named "-", not standard output.
    writeWholeFile(path == "-" ? "./-" : path, std::vector<uint8_t>(text.begin(), text.end()),
                   true, {});
    return true;
  } catch (const ToolError& failure) {
    error = failure.what();
    return false;
  }
}
