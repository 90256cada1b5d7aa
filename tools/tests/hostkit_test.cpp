// hostkit on its own, without the renderer: the plug-in host, event lists, the plug-in search,
// the start-up settings and the file writer the tools share.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "FileOutput.h"
#include "HostEventList.h"
#include "PluginHost.h"
#include "PluginSearch.h"
#include "PluginStart.h"
#include "ToolError.h"
#include "ToolTestSupport.h"

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

}  // namespace

TEST(HostEventList, BuildsTheListHostsHandToProcessEvents) {
  HostEventList list(3);
  EXPECT_TRUE(list.addMidi(5, 0x90, 60, 100));
  EXPECT_TRUE(list.addMidi(7, 0xE0, 0, 127));
  EXPECT_TRUE(list.addMidi(9, 0x80, 60, 0));
  EXPECT_FALSE(list.addMidi(11, 0x80, 61, 0));  // full: never written past the allocation
  VstEvents* events = list.events();
  ASSERT_EQ(events->numEvents, 3);
  VstEvent* const* slots = reinterpret_cast<VstEvent* const*>(
      reinterpret_cast<const char*>(events) + offsetof(VstEvents, events));
  const int32_t deltas[] = {5, 7, 9};
  for (int i = 0; i < 3; ++i) {
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(slots[i]);
    EXPECT_EQ(midi->type, kVstMidiType);
    EXPECT_EQ(midi->byteSize, 24);
    EXPECT_EQ(midi->deltaFrames, deltas[i]);
  }
  EXPECT_EQ(static_cast<uint8_t>(reinterpret_cast<const VstMidiEvent*>(slots[1])->midiData[2]),
            127);
  list.clear();
  EXPECT_EQ(events->numEvents, 0);
}

TEST(PluginHost, FindsParametersByNameIgnoringCaseWhenUnambiguous) {
  PluginHost host(VELA_PROBE_PLUGIN, 44100, 64);
  EXPECT_EQ(host.findParameter("Level"), 0);
  EXPECT_EQ(host.findParameter("offset"), 1);
  EXPECT_EQ(host.findParameter("LEVEL"), 0);
  EXPECT_EQ(host.findParameter("Lev"), -1);
  EXPECT_EQ(host.findParameter(""), -1);
  EXPECT_EQ(host.programName(2), "Two");
  EXPECT_THROW(host.selectProgram(3), ToolError);
  EXPECT_THROW(host.selectProgram(-1), ToolError);
}

TEST(PluginHost, RefusesWhatIsNotAPlugin) {
  ScratchDir dir;
  writeBytes(dir.file("text.so"), {'n', 'o', 't', '\n'});
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&sf_version_string), &info),
            0);  // a library with no entry
  const struct {
    std::string path;
    const char* message;
  } rows[] = {
      {dir.file("absent.so"), "not found"},
      {dir.file("text.so"), "cannot load plug-in"},
      {info.dli_fname, "no VSTPluginMain or main entry point"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    try {
      PluginHost host(row.path, 44100, 64);
      ADD_FAILURE() << "accepted";
    } catch (const ToolError& error) {
      EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
    }
  }
}

// Without -p: the first VelaOrin.so in the order wins; a folder of that name or a dangling link is
// passed over; when none is found, the error names every folder looked in.
TEST(PluginLookup, FirstFileInTheOrderWinsAndTheErrorNamesEveryFolder) {
  namespace fs = std::filesystem;
  ScratchDir dir;
  const std::string bin = dir.file("prefix/bin"), lib = dir.file("prefix/lib/vst"),
                    user = dir.file("home/.vst");
  for (const std::string& folder : {bin, lib, user}) fs::create_directories(folder);
  const std::vector<std::string> folders = pluginFolders(bin, dir.file("home"));
  ASSERT_EQ(folders, (std::vector<std::string>{bin, dir.file("prefix/lib/vst"), user,
                                               "/usr/local/lib/vst", "/usr/lib/vst"}));
  // An installed /usr/bin program reaches /usr/lib/vst first, and only once.
  EXPECT_EQ(pluginFolders("/usr/bin", ""),
            (std::vector<std::string>{"/usr/bin", "/usr/lib/vst", "/usr/local/lib/vst"}));
  // The machine's own folders may hold a plug-in: the search here covers ours only.
  const std::vector<std::string> ours(folders.begin(), folders.begin() + 3);

  enum Kind { None, File, Folder, DanglingLink };
  const struct {
    Kind inBin, inLib, inUser;
    std::string found;  // empty: not found
  } rows[] = {
      {File, File, File, bin},
      {None, File, File, lib},
      {None, None, File, user},
      {Folder, DanglingLink, File, user},
      {None, None, None, ""},
      {Folder, DanglingLink, None, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.found);
    const std::pair<Kind, std::string> places[] = {
        {row.inBin, bin}, {row.inLib, lib}, {row.inUser, user}};
    for (const auto& [kind, folder] : places) {
      const std::string path = folder + "/VelaOrin.so";
      fs::remove_all(path);
      if (kind == File) writeBytes(path, {0x7f, 'E', 'L', 'F'});
      if (kind == Folder) fs::create_directory(path);
      if (kind == DanglingLink) fs::create_symlink(folder + "/gone.so", path);
    }
    const PluginSearch search = searchPluginFolders(ours);
    if (row.found.empty()) {
      EXPECT_EQ(search.path, "");
      EXPECT_EQ(search.error, "plug-in VelaOrin.so not found; looked in " + bin + ", " + lib +
                                  ", " + user + " (give its path with -p FILE)");
    } else {
      EXPECT_EQ(search.path, row.found + "/VelaOrin.so");
      EXPECT_EQ(search.error, "");
    }
  }
  // -p is taken as it is, unchecked: loading it says what is wrong with it.
  EXPECT_EQ(findPlugin("absent.so").path, "absent.so");
}

// The command line's settings reach the plug-in program first, then each parameter in the order
// given; every fault stops the start with the error both tools report.
TEST(StartSettings, ProgramThenParametersInOrderAndEachFaultNamed) {
  ScratchDir dir;
  const std::string log = dir.file("calls.log");
  setenv("VELA_PROBE_LOG", log.c_str(), 1);
  {
    PluginHost host(VELA_PROBE_PLUGIN, 44100, 64);
    applyStartSettings(host, {}, 2, {{"offset", 0.5f}, {"Level", 0.25f}, {"Offset", 0.125f}});
    EXPECT_EQ(host.currentProgram(), 2);
  }
  unsetenv("VELA_PROBE_LOG");
  std::vector<std::string> calls;
  for (const std::string& line : readLines(log))
    if (line.rfind("program", 0) == 0 || line.rfind("param", 0) == 0) calls.push_back(line);
  EXPECT_EQ(calls, (std::vector<std::string>{"program 2", "param 1 0.500000", "param 0 0.250000",
                                             "param 1 0.125000"}));

  // The probe is not VelaOrin: bank and preset files are refused before any value is set.
  StartFiles bank, preset;
  bank.bank = LoadedBank{};
  preset.preset = ProgramImage{};
  const struct {
    const StartFiles* files;
    std::optional<int32_t> program;
    std::vector<ParameterSetting> parameters;
    std::string error;
    bool usage;  // exit code 2 in the renderer
  } rows[] = {
      {&bank, {}, {}, "bank and preset files are VelaOrin's; the plug-in is Probe", false},
      {&preset, {}, {}, "bank and preset files are VelaOrin's; the plug-in is Probe", false},
      {nullptr, 3, {}, "program 3 does not exist; the plug-in has 3 (0 to 2)", false},
      {nullptr, {}, {{"Lev", 0.5f}}, "unknown parameter 'Lev' (Probe has: Level, Offset)", true},
  };
  const StartFiles none;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error);
    PluginHost host(VELA_PROBE_PLUGIN, 44100, 64);
    try {
      applyStartSettings(host, row.files != nullptr ? *row.files : none, row.program,
                         row.parameters);
      ADD_FAILURE() << "accepted";
    } catch (const ToolError& error) {
      EXPECT_EQ(error.what(), row.error);
      EXPECT_EQ(dynamic_cast<const UsageError*>(&error) != nullptr, row.usage);
    }
  }

  // The files are read, and refused, before any plug-in is opened.
  writeBytes(dir.file("short.fxp"), {'C', 'c', 'n', 'K'});
  std::vector<std::string> warnings;
  EXPECT_FALSE(readStartFiles("", "", warnings).bank);
  const struct {
    std::string bank, preset, error;
  } files[] = {
      {dir.file("absent.fxb"), "", "cannot open bank '" + dir.file("absent.fxb") + "'"},
      {"", dir.file("short.fxp"), "cannot read preset '" + dir.file("short.fxp") + "'"},
  };
  for (const auto& row : files) {
    SCOPED_TRACE(row.error);
    try {
      readStartFiles(row.bank, row.preset, warnings);
      ADD_FAILURE() << "accepted";
    } catch (const ToolError& failure) {
      EXPECT_NE(std::string(failure.what()).find(row.error), std::string::npos) << failure.what();
    }
  }
  EXPECT_TRUE(warnings.empty());
}

// Whatever sits at the path, the writer either puts the whole new file there or refuses and
// leaves the path as it was; no temporary file is ever left behind. The player's state and banks
// and the renderer's banks, presets and audio all go through it.
TEST(FileOutput, ReplacesOnlyWhatItMayAndLeavesNothingBehind) {
  namespace fs = std::filesystem;
  ScratchDir dir;
  const mode_t mask = umask(0);
  umask(mask);
  const std::vector<uint8_t> bytes = {'n', 'e', 'w'};
  writeBytes(dir.file("old"), {'o', 'l', 'd'});
  ASSERT_EQ(chmod(dir.file("old").c_str(), 0604), 0);
  writeBytes(dir.file("input"), {'i', 'n'});
  writeBytes(dir.file("locked"), {'l'});
  ASSERT_EQ(chmod(dir.file("locked").c_str(), 0444), 0);
  writeBytes(dir.file("target"), {'t'});
  fs::create_symlink("target", dir.file("link"));
  fs::create_symlink("nowhere", dir.file("dangling"));
  fs::create_directory(dir.file("folder"));
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);

  const struct {
    std::string name;  // in the scratch folder, or absolute
    bool overwrite;
    std::vector<std::string> inputs;
    std::string error;    // empty: written
    std::string landsIn;  // where the bytes land
    mode_t mode;          // of that file then
  } rows[] = {
      {"new", false, {}, "", "new", static_cast<mode_t>(0666 & ~mask)},
      {"old", false, {}, "output '@old' already exists (use --overwrite to replace it)", "", 0},
      {"old", true, {"input"}, "", "old", 0604},
      {"input", true, {"old", "input"}, "output '@input' is the MIDI file being read", "", 0},
      {"locked", true, {}, "output '@locked' is read-only", "", 0},
      {"link", true, {}, "", "target", static_cast<mode_t>(0666 & ~mask)},
      {"dangling", true, {}, "output '@dangling' is a symbolic link to nothing", "", 0},
      {"folder", true, {}, "output '@folder' is a folder", "", 0},
      {"fifo", true, {}, "output '@fifo' is a FIFO", "", 0},
      {"/dev/null", true, {}, "output '/dev/null' is a device", "", 0},
      {"absent/file", true, {}, "cannot write output '@absent/file' in '@absent'", "", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto inDir = [&](const std::string& name) {
      return name.empty() || name[0] == '/' ? name : dir.file(name);
    };
    std::vector<std::string> inputs;
    for (const std::string& input : row.inputs) inputs.push_back(inDir(input));
    std::vector<std::string> before = dir.entries();
    try {
      writeWholeFile(inDir(row.name), bytes, row.overwrite, inputs);
      EXPECT_EQ(row.error, "") << "accepted";
      EXPECT_EQ(contents(inDir(row.landsIn)), "new");
      EXPECT_EQ(modeOf(inDir(row.landsIn)), row.mode);
      if (row.name == "link") {
        EXPECT_TRUE(fs::is_symlink(dir.file("link"))) << "written through";
      }
      if (row.name == "new") before.push_back("new");
    } catch (const ToolError& error) {
      EXPECT_NE(row.error, "") << error.what();
      std::string expected = row.error;
      for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
        expected.replace(at, 1, dir.path() + "/");
      EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
    }
    std::vector<std::string> after = dir.entries();
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before) << "no temporary file left";
  }
  EXPECT_EQ(contents(dir.file("input")), "in");
  EXPECT_EQ(contents(dir.file("locked")), "l");
  EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
}
