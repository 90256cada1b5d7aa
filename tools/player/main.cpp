// velaorin: plays VelaOrin.so as a JACK client, with its panel and an on-screen keyboard, or
// headless.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "JackPlayer.h"
#include "MessageWindow.h"
#include "PlayerOptions.h"
#include "PlayerWindow.h"
#include "PluginHost.h"
#include "PluginSearch.h"
#include "PluginStart.h"
#include "StateFile.h"
#include "ToolError.h"
#include "VelaIdentity.h"

namespace {

int wakePipe[2] = {-1, -1};

// [any thread] A signal handler: async-signal-safe calls only.
void onSignal(int) {
  const int saved = errno;
  const char byte = 's';
  [[maybe_unused]] ssize_t ignored = write(wakePipe[1], &byte, 1);
  errno = saved;
}

void say(const std::string& line) { std::cerr << "velaorin: " << line << std::endl; }

std::string pluginPathOf(const PlayerOptions& options) {
  const PluginSearch search = findPlugin(options.pluginPath);
  if (search.path.empty()) throw ToolError(search.error);
  return search.path;
}

std::vector<std::string> parameterNames(const PluginHost& host) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < host.numParameters(); ++i) names.push_back(host.parameter(i).name);
  return names;
}

// [UI thread] Steps through the programs, so only once the audio has stopped.
PlayerState captureState(PluginHost& host) {
  PlayerState state;
  state.program = host.currentProgram();
  for (int32_t n = 0; n < host.numPrograms(); ++n) {
    host.selectProgram(n);
    state.values.emplace_back();
    for (int32_t i = 0; i < host.numParameters(); ++i) state.values.back().push_back(host.parameterValue(i));
    state.names.push_back(host.programName(n));
  }
  if (host.numPrograms() > 0) host.selectProgram(state.program);
  return state;
}

// [UI thread] Before the client is active, so the audio thread hears none of the intermediate
// programs.
void restoreState(PluginHost& host, const PlayerState& state) {
  for (int32_t n = 0; n < host.numPrograms(); ++n) {
    host.setProgramName(n, state.names[static_cast<size_t>(n)]);  // selects program n
    for (size_t i = 0; i < state.values[static_cast<size_t>(n)].size(); ++i)
      host.setParameter(static_cast<int32_t>(i), state.values[static_cast<size_t>(n)][i]);
  }
  host.selectProgram(state.program);
}

// The saved state, when there is a good one; why not is said (a missing file silently).
std::optional<PlayerState> readState(const PluginHost& host, const std::string& path) {
  std::string text, error;
  bool missing = false;
  if (!readTextFile(path, text, error, missing)) {
    if (!missing) say("cannot read " + path + " (" + error + "); starting from the factory programs");
    return std::nullopt;
  }
  StateParse parsed = parseState(text, parameterNames(host), static_cast<size_t>(host.numPrograms()));
  if (!parsed.ok) {
    say(path + " is damaged (" + parsed.error + "); ignored, factory programs used; it is "
        "replaced when the player next saves");
    return std::nullopt;
  }
  return std::move(parsed.state);
}

// The programs saved, and the tuning: the one given on the command line, else the saved one.
// Returns the tuning in force.
TuningFiles loadState(PluginHost& host, const PlayerOptions& options, const StartFiles& files,
                      const std::string& path) {
  const std::optional<PlayerState> saved =
      options.reset ? std::nullopt : readState(host, path);
  if (saved) restoreState(host, *saved);
  const TuningFiles tuning = files.tuning ? *files.tuning : saved ? saved->tuning : TuningFiles{};
  if (!tuning.isDefault()) host.setTuning(tuning);
  return tuning;
}

bool saveState(PluginHost& host, const std::string& path, const TuningFiles& tuning) {
  std::string error;
  PlayerState state = captureState(host);
  state.tuning = tuning;
  if (replaceFile(path, formatState(state, parameterNames(host)), error)) return true;
  say("state not saved: " + error);
  return false;
}

// [UI thread] Plays until a signal, the window closing or the server going away; a failure to
// start is thrown.
int run(const PlayerOptions& options) {
  if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) throw ToolError("cannot create a pipe");
  struct sigaction action {};
  action.sa_handler = &onSignal;
  action.sa_flags = SA_RESTART;  // libjack's socket reads fail on EINTR
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const std::string statePath = options.statePath.empty() ? defaultStatePath() : options.statePath;
  if (options.listTuning) {
    // The saved state's tuning is read as the player would read it, with the plug-in's names.
    const std::optional<TuningFiles> given = readTuningFiles(options.scaleFile, options.keymapFile);
    std::optional<TuningFiles> tuning = given;
    if (!given && !options.reset) {
      const PluginHost host(pluginPathOf(options), 44100, 512, HostIdentity{"velaorin", true});
      if (const std::optional<PlayerState> saved = readState(host, statePath))
        tuning = saved->tuning;
    }
    std::cout << tuningListing(tuning);
    return 0;
  }
  // Bank and preset files are read before anything starts.
  std::vector<std::string> warnings;
  StartFiles files = readStartFiles(options.bankFile, options.presetFile, warnings);
  for (const std::string& warning : warnings) say("warning: " + warning);
  files.tuning = readTuningFiles(options.scaleFile, options.keymapFile);
  JackPlayer jack(options.clientName);
  jack.setWakeFd(wakePipe[1]);
  PluginHost host(pluginPathOf(options), jack.sampleRate(), jack.bufferSize(),
                  HostIdentity{"velaorin", true});
  const TuningFiles tuning = loadState(host, options, files, statePath);
  files.tuning.reset();  // in force already
  applyStartSettings(host, files, options.program, options.parameters);

  std::unique_ptr<PlayerWindow> window;
  if (options.gui)
    window = std::make_unique<PlayerWindow>(
        host, [&jack](uint8_t status, uint8_t note, uint8_t velocity) {
          jack.queueNote(status, note, velocity);
        }, jack.clientName(), options.scale);

  // Whatever ends this scope, the audio thread stops before the plug-in is closed.
  struct StopAudio {
    JackPlayer& jack;
    ~StopAudio() { jack.close(); }
  } stopAudio{jack};
  jack.start(host);
  if (options.connect) {
    for (const std::string& port : options.midiSources) jack.connectMidiFrom(port);
    if (options.audioTargets.size() == 2)
      jack.connectAudioTo(options.audioTargets[0], options.audioTargets[1]);
    else
      jack.connectSystemPlayback();
  }
  std::cout << "velaorin: running as JACK client '" << jack.clientName() << "' at "
            << jack.sampleRate() << " Hz, period " << jack.bufferSize() << std::endl;

  if (window) {
    window->run(wakePipe[0]);
  } else {
    pollfd fd{wakePipe[0], POLLIN, 0};
    while (poll(&fd, 1, -1) < 0 && errno == EINTR) {
    }
  }

  const bool serverGone = jack.serverGone();
  if (serverGone) say("the JACK server went away (" + jack.shutdownReason() + ")");
  jack.close();  // stops the audio thread and releases the ports
  window.reset();
  host.suspend();
  const bool saved = saveState(host, statePath, tuning);
  return serverGone || !saved ? 1 : 0;
}  // effClose as `host` goes

// Set in the environment of the player that runs under pw-jack, so it tries only once.
constexpr const char* kUnderPwJack = "VELAORIN_UNDER_PW_JACK";

// Started from the menu there is no terminal to start a server from, and PipeWire's JACK library
// often serves where no jackd runs (scripts/player.sh does the same). Returns only when pw-jack
// cannot be run.
void runUnderPwJack(char** argv) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return;
  self[length] = '\0';
  std::vector<char*> args = {const_cast<char*>("pw-jack"), self};
  for (char** arg = argv + 1; *arg != nullptr; ++arg) args.push_back(*arg);
  args.push_back(nullptr);
  setenv(kUnderPwJack, "1", 1);
  execvp("pw-jack", args.data());
  unsetenv(kUnderPwJack);
}

int cannotStart(const PlayerOptions& options, const std::string& reason) {
  say(reason);
  if (options.desktop) {
    std::string sentence = reason;
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    showMessageWindow(std::string(vela::identity::kName) + " could not start", sentence);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const PlayerCommandLine line = parsePlayerCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (line.exitCode >= 0) {
    (line.exitCode == 0 ? std::cout : std::cerr) << line.message << (line.exitCode == 0 ? "" : "\n");
    return line.exitCode;
  }
  try {
    return run(line.options);
  } catch (const NoJackServer& error) {
    if (!line.options.desktop) return cannotStart(line.options, error.what());
    if (std::getenv(kUnderPwJack) != nullptr)
      return cannotStart(line.options, "no JACK server answered, nor PipeWire's JACK (pw-jack): "
                                       "start jackd (e.g. from QjackCtl) or PipeWire");
    runUnderPwJack(argv);
    return cannotStart(line.options, error.what());
  } catch (const ToolError& error) {
    return cannotStart(line.options, error.what());
  }
}
