#include "PlayerOptions.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <utility>

#include "PluginSearch.h"
#include "VelaIdentity.h"

namespace {

std::string parseParameter(const std::string& text, ParameterSetting& parameter) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0)
    return "--param wants NAME=VALUE, got '" + text + "'";
  parameter.name = text.substr(0, equals);
  const std::string number = text.substr(equals + 1);
  const char* end = number.data() + number.size();
  auto [ptr, ec] = std::from_chars(number.data(), end, parameter.value);
  if (ec != std::errc() || ptr != end || !(parameter.value >= 0.0f && parameter.value <= 1.0f))
    return "--param " + parameter.name + ": value '" + number + "' is not a number from 0 to 1";
  return {};
}

}  // namespace

PlayerCommandLine parsePlayerCommandLine(const std::vector<std::string>& args) {
  PlayerCommandLine result;
  PlayerOptions& options = result.options;
  CLI::App app{"velaorin: plays the VelaOrin synthesizer as a JACK client, with its panel and an "
               "on-screen keyboard", "velaorin"};
  app.set_version_flag("--version", std::string("velaorin ") + vela::identity::kVersion);
  bool noGui = false, noConnect = false;
  std::vector<std::string> parameters;
  std::string audio;
  int32_t program = -1;
  app.add_flag("--no-gui", noGui, "Run without a window (headless)");
  app.add_option("--bank", options.bankFile, "Load a bank file (.fxb) at start, before --program")
      ->type_name("FILE");
  app.add_option("--preset", options.presetFile,
                 "Load a program file (.fxp) into the current program, before --param")
      ->type_name("FILE");
  app.add_option("--program", program, "Program to select at start, 0 to 31")
      ->check(CLI::Range(0, 31))
      ->option_text("N");
  app.add_option("--param", parameters, "Set a parameter after the program, NAME=VALUE (0..1)")
      ->type_name("NAME=VALUE");
  app.add_option("--connect-midi", options.midiSources, "Connect this MIDI output port to ours")
      ->type_name("PORT");
  app.add_option("--connect-audio", audio,
                 "Connect our outputs to these two ports (default: the system playback ports)")
      ->type_name("PORT_L,PORT_R");
  app.add_flag("--no-connect", noConnect, "Make no connections at all");
  app.add_option("--name", options.clientName, "JACK client name")->capture_default_str();
  app.add_flag("--reset", options.reset,
               "Start from the factory programs and no tuning, ignoring saved state");
  app.add_option("--scale", options.scaleFile,
                 "Play in the tuning of a Scala scale file (.scl), in place of the\n"
                 "saved tuning; it is saved with the state")
      ->type_name("FILE.scl");
  app.add_option("--keymap", options.keymapFile,
                 "Map the keys with a Scala keyboard mapping (.kbm); without --scale,\n"
                 "onto 12-tone equal temperament")
      ->type_name("FILE.kbm");
  app.add_flag("--list-tuning", options.listTuning,
               "Print each MIDI note's frequency and its distance in cents from\n"
               "12-tone equal temperament in the tuning it would start with, and exit");
  app.add_option("-p,--plugin", options.pluginPath,
                 "Plug-in binary, by path or by name in the current folder\n"
                 "(default: the first VelaOrin.so found, see below)")->type_name("FILE");
  app.add_option("--state-file", options.statePath,
                 "State file (default: $XDG_CONFIG_HOME/velaorin/state)")->type_name("FILE");
  app.add_option("--panel-scale", options.scale,
                 "Draw the window and the panel at this scale, 1 to 3, whatever the panel\n"
                 "would choose (default: the panel's scale: its menu, Xft.dpi)")
      ->check(CLI::Range(1.0, 3.0))
      ->option_text("SCALE");
  app.add_flag("--desktop", options.desktop,
               "Started from the desktop menu: try PipeWire's JACK (pw-jack) when no\n"
               "JACK server answers; show why the player could not start in a window too");
  app.footer(kPluginLookupHelp);
  app.get_formatter()->column_width(34);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    result.exitCode = 0;
    result.message = app.help();
    return result;
  } catch (const CLI::CallForVersion&) {
    result.exitCode = 0;
    result.message = app.version() + "\n";
    return result;
  } catch (const CLI::ParseError& error) {
    result.exitCode = 2;
    result.message = std::string("velaorin: ") + error.what();
    return result;
  }

  std::string error;
  if (noConnect && (!options.midiSources.empty() || !audio.empty()))
    error = "--no-connect cannot be combined with --connect-midi or --connect-audio";
  if (!audio.empty()) {
    const size_t comma = audio.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 == audio.size() ||
        audio.find(',', comma + 1) != std::string::npos)
      error = "--connect-audio wants two ports, PORT_L,PORT_R; got '" + audio + "'";
    else
      options.audioTargets = {audio.substr(0, comma), audio.substr(comma + 1)};
  }
  if (options.clientName.empty()) error = "--name must not be empty";
  for (const auto& [name, file] :
       {std::pair{"--scale", &options.scaleFile}, std::pair{"--keymap", &options.keymapFile}})
    if (app.count(name) > 0 && file->empty()) error = std::string(name) + " needs a file name";
  for (const std::string& text : parameters) {
    ParameterSetting parameter;
    if (error.empty()) error = parseParameter(text, parameter);
    options.parameters.push_back(parameter);
  }
  if (!error.empty()) {
    result.exitCode = 2;
    result.message = "velaorin: " + error;
    return result;
  }
  options.gui = !noGui;
  options.connect = !noConnect;
  if (program >= 0) options.program = program;
  return result;
}
