// The state file, version 2. UTF-8 text, one item per line, '#' starts a comment line:
//
//   velaorin-state 2
//   program 3                  current program, 0-based
//   name 0 init1               one line per program; the name runs to the end of the line,
//                              bytes below 0x20, 0x7f and '\' written as \xHH
//   values 0 Mod1=0.5 Mod2=0.5 ...   one line per program: every parameter by name, value 0..1
//                                    (shortest float text)
//   end
//
// Every program's name and values, and every parameter in each, must appear exactly once and
// "end" must close the file, so a file cut short by a crash or a full disk is recognised as
// damaged and ignored as a whole. Version 1 had "param NAME VALUE" lines, one per parameter, for
// the current program only, instead of "values" lines; it is still read.
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
#include <sstream>

#include "FileOutput.h"
#include "ToolError.h"

namespace {

constexpr const char* kMagic = "velaorin-state";
constexpr int kVersion = 2;

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
  std::string out = std::string(kMagic) + " " + std::to_string(kVersion) + "\n";
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
  out += "end\n";
  return out;
}

StateParse parseState(const std::string& text, const std::vector<std::string>& parameterNames,
                      size_t programCount) {
  StateParse result;
  PlayerState& state = result.state;
  state.values.assign(programCount, std::vector<float>(parameterNames.size(), 0.0f));
  state.names.assign(programCount, {});
  // Version 1 keeps one program's values (row 0 until its "program" line is known).
  std::vector<bool> haveValue(parameterNames.size()), haveName(programCount), haveValues(programCount);
  std::vector<float> currentValues(parameterNames.size());
  bool haveHeader = false, haveProgram = false, ended = false;
  int version = 0;
  const auto parameterIndex = [&](const std::string& name) {
    size_t index = 0;
    while (index < parameterNames.size() && parameterNames[index] != name) ++index;
    return index;
  };
  const auto goodValue = [](const std::string& digits, float& value) {
    return parseNumber(digits, value) && value >= 0.0f && value <= 1.0f;
  };

  std::istringstream lines(text);
  std::string line;
  size_t number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (ended) {
      if (line.empty()) continue;
      return fail(number, "text after \"end\"");
    }
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (!haveHeader) {
      if (key != kMagic) return fail(number, "not a VelaOrin state file");
      if (!parseNumber(rest, version) || version < 1 || version > kVersion)
        return fail(number, "unknown version '" + rest + "'");
      haveHeader = true;
    } else if (key == "program") {
      if (haveProgram) return fail(number, "second \"program\" line");
      if (!parseNumber(rest, state.program) || state.program < 0 ||
          static_cast<size_t>(state.program) >= programCount)
        return fail(number, "bad program number '" + rest + "'");
      haveProgram = true;
    } else if (key == "param" && version == 1) {
      const size_t gap = rest.find(' ');
      const std::string name = rest.substr(0, gap);
      const size_t index = parameterIndex(name);
      if (index == parameterNames.size()) return fail(number, "unknown parameter '" + name + "'");
      if (haveValue[index]) return fail(number, "parameter '" + name + "' given twice");
      if (gap == std::string::npos || !goodValue(rest.substr(gap + 1), currentValues[index]))
        return fail(number, "bad value for '" + name + "'");
      haveValue[index] = true;
    } else if (key == "values" && version >= 2) {
      std::istringstream items(rest);
      std::string item;
      size_t program = 0;
      if (!(items >> item) || !parseNumber(item, program) || program >= programCount)
        return fail(number, "bad program number in \"values\"");
      if (haveValues[program]) return fail(number, "values of program " + item + " given twice");
      std::fill(haveValue.begin(), haveValue.end(), false);
      while (items >> item) {
        const size_t equals = item.find('=');
        const std::string name = item.substr(0, equals);
        const size_t index = parameterIndex(name);
        if (index == parameterNames.size()) return fail(number, "unknown parameter '" + name + "'");
        if (haveValue[index]) return fail(number, "parameter '" + name + "' given twice");
        if (equals == std::string::npos ||
            !goodValue(item.substr(equals + 1), state.values[program][index]))
          return fail(number, "bad value for '" + name + "'");
        haveValue[index] = true;
      }
      for (size_t i = 0; i < parameterNames.size(); ++i)
        if (!haveValue[i])
          return fail(number, "no value for '" + parameterNames[i] + "' in program " + std::to_string(program));
      haveValues[program] = true;
    } else if (key == "name") {
      const size_t gap = rest.find(' ');
      size_t index = 0;
      if (!parseNumber(rest.substr(0, gap), index) || index >= programCount)
        return fail(number, "bad program number in \"name\"");
      if (haveName[index]) return fail(number, "program " + std::to_string(index) + " named twice");
      if (!unescapeName(gap == std::string::npos ? "" : rest.substr(gap + 1), state.names[index]))
        return fail(number, "bad escape in a program name");
      haveName[index] = true;
    } else if (key == "end") {
      ended = true;
    } else {
      return fail(number, "unknown line '" + key + "'");
    }
  }
  if (!haveHeader) return fail(0, "empty file");
  if (!ended) return fail(0, "cut short (no \"end\" line)");
  if (!haveProgram) return fail(0, "no \"program\" line");
  if (version == 1) {
    for (size_t i = 0; i < parameterNames.size(); ++i)
      if (!haveValue[i]) return fail(0, "no value for '" + parameterNames[i] + "'");
    for (size_t n = 0; n < programCount; ++n)
      state.values[n] = n == static_cast<size_t>(state.program) ? currentValues : std::vector<float>{};
    state.onlyCurrentValues = true;
  }
  for (size_t n = 0; n < programCount && version >= 2; ++n)
    if (!haveValues[n]) return fail(0, "no values for program " + std::to_string(n));
  for (size_t i = 0; i < programCount; ++i)
    if (!haveName[i]) return fail(0, "no name for program " + std::to_string(i));
  result.ok = true;
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
