// Writes the bundle's Turtle from the tables the binaries are built from: the ports from the
// parameter table (symbols, names, defaults), the filter type's scale points from the panel's
// radio buttons, one preset per distinct program of a new instance and the factory library as
// the bank "Factory". So the LV2 data cannot drift from the VST 2 texts, the panel or the library.
//   make_turtle BUNDLE_DIR DSP_BINARY [UI_BINARY]
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "FactoryLibrary.h"
#include "Lv2Bundle.h"
#include "PanelLayout.h"
#include "VelaParameters.h"

namespace {

using namespace velalv2;

constexpr char kPrefixes[] =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix log: <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";

// The shortest decimal that reads back as the same float, always with a point or an exponent
// so Turtle reads a number with a fraction.
std::string number(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  std::string s(text, result.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string narrow(const wchar_t* text) {
  std::string out;
  for (; *text != L'\0'; ++text) out += static_cast<char>(*text);  // the captions are ASCII
  return out;
}

// A symbol is a C identifier; the parameter names must be usable as one.
bool isSymbol(const std::string& s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

const std::string kProjectUri = std::string(kPluginUri) + "#project";
const std::string kFactoryBankUri = std::string(kPluginUri) + "#factory";

struct Preset {
  std::string uri, label;
  std::array<float, kNumParams> values;  // by parameter index
  const char* file;
  bool inFactoryBank;
};

std::string numbered(const char* stem, size_t n) {
  char text[64];
  std::snprintf(text, sizeof text, "%s#%s%02zu", kPluginUri, stem, n);
  return text;
}

// The programs a new instance has that differ ("init1", as the 30 like it, and "Eth Drm"), then
// the factory library as the bank "Factory", in its order. URIs are numbered: hosts that keep
// presets by URI list them in that order.
std::vector<Preset> presets() {
  std::vector<Preset> list;
  const std::pair<const char*, float ParameterInfo::*> programs[] = {
      {"init1", &ParameterInfo::initial}, {"Eth Drm", &ParameterInfo::ethDrm}};
  for (const auto& [name, column] : programs) {
    Preset preset{numbered("preset", list.size() + 1), name, {}, "presets.ttl", false};
    for (const ParameterInfo& p : kParameters) preset.values[p.index] = p.*column;
    list.push_back(preset);
  }
  for (size_t n = 0; n < kFactorySounds.size(); ++n) {
    Preset preset{numbered("factory", n + 1), kFactorySounds[n].name, {}, "factory.ttl", true};
    std::copy(std::begin(kFactorySounds[n].values), std::end(kFactorySounds[n].values),
              preset.values.begin());
    list.push_back(preset);
  }
  return list;
}

std::string pluginTurtle(bool withUi) {
  std::ostringstream t;
  t << kPrefixes;
  t << "<" << kPluginUri << "#" << kOutputGroupSymbol << ">\n"
    << "    a pg:StereoGroup , pg:OutputGroup ;\n"
    << "    lv2:symbol \"" << kOutputGroupSymbol << "\" ;\n"
    << "    rdfs:label \"Output\" .\n\n";
  // The tuning's two files: hosts show a file chooser for each.
  const std::pair<const char*, const char*> files[] = {{kScaleUri, "Scale"},
                                                       {kKeyboardMappingUri, "Keyboard mapping"}};
  for (const auto& [uri, label] : files)
    t << "<" << uri << ">\n"
      << "    a lv2:Parameter ;\n"
      << "    rdfs:label \"" << label << "\" ;\n"
      << "    rdfs:range atom:Path .\n\n";
  t << "<" << kProjectUri << ">\n"
    << "    a doap:Project ;\n"
    << "    doap:name \"" << vela::identity::kName << "\" ;\n"
    << "    doap:maintainer [ a foaf:Person ; foaf:name \"" << vela::identity::kVendor
    << "\" ] .\n\n";
  t << "<" << kPluginUri << ">\n"
    << "    a lv2:Plugin , lv2:InstrumentPlugin ;\n"
    << "    lv2:project <" << kProjectUri << "> ;\n"
    << "    doap:name \"" << vela::identity::kName << "\" ;\n"
    << "    doap:license <https://spdx.org/licenses/MIT> ;\n"
    << "    rdfs:comment \"A small FM synthesizer: two sine modulators with feedback and sync "
       "into a sine carrier, an ADSR envelope and a state-variable filter.\" ;\n"
    << "    lv2:minorVersion " << kMinorVersion << " ;\n"
    << "    lv2:microVersion " << kMicroVersion << " ;\n"
    << "    lv2:requiredFeature urid:map ;\n"
    << "    lv2:optionalFeature lv2:hardRTCapable , work:schedule , log:log ;\n"
    << "    lv2:extensionData state:interface , work:interface ;\n"
    << "    patch:writable <" << kScaleUri << "> , <" << kKeyboardMappingUri << "> ;\n"
    << "    pg:mainOutput <" << kPluginUri << "#" << kOutputGroupSymbol << "> ;\n";
  if (withUi) t << "    ui:ui <" << kUiUri << "> ;\n";
  t << "    lv2:port";
  for (const ParameterInfo& p : kParameters) {
    t << " [\n"
      << "        a lv2:InputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << p.index << " ;\n"
      << "        lv2:symbol \"" << p.name << "\" ;\n"
      << "        lv2:name \"" << p.name << "\" ;\n"
      << "        lv2:default " << number(p.initial) << " ;\n"
      << "        lv2:minimum 0.0 ;\n"
      << "        lv2:maximum 1.0";
    // The engine takes type n at n / 2 (rounding to the nearest), the panel's radio item n.
    // The two sync switches are not toggles: LV2 counts a toggle as on above 0, the engine a
    // switch only above 0.5.
    if (p.index == kType) {
      t << " ;\n        lv2:portProperty lv2:enumeration";
      for (int32_t n = 0; n < 3; ++n)
        t << " ;\n        lv2:scalePoint [ rdfs:label " << quoted(narrow(velapanel::kRadioItems[n]))
          << " ; rdf:value " << number(static_cast<float>(n) / 2.0f) << " ]";
    }
    t << "\n    ] ,";
  }
  t << " [\n"
    << "        a lv2:InputPort , atom:AtomPort ;\n"
    << "        atom:bufferType atom:Sequence ;\n"
    << "        atom:supports midi:MidiEvent , patch:Message ;\n"
    << "        lv2:designation lv2:control ;\n"
    << "        lv2:index " << kMidiInPort << " ;\n"
    << "        lv2:symbol \"" << kMidiInSymbol << "\" ;\n"
    << "        lv2:name \"MIDI In\"\n"
    << "    ]";
  const struct {
    uint32_t index;
    const char* symbol;
    const char* name;
    const char* side;
  } outputs[] = {{kLeftOutPort, kLeftOutSymbol, "Left", "left"},
                 {kRightOutPort, kRightOutSymbol, "Right", "right"}};
  for (const auto& o : outputs)
    t << " , [\n"
      << "        a lv2:OutputPort , lv2:AudioPort ;\n"
      << "        lv2:index " << o.index << " ;\n"
      << "        lv2:symbol \"" << o.symbol << "\" ;\n"
      << "        lv2:name \"" << o.name << "\" ;\n"
      << "        pg:group <" << kPluginUri << "#" << kOutputGroupSymbol << "> ;\n"
      << "        lv2:designation pg:" << o.side << "\n"
      << "    ]";
  t << " .\n";
  return t.str();
}

// The presets kept in one file; the factory file also describes the bank.
std::string presetsTurtle(const std::string& file) {
  std::ostringstream t;
  t << kPrefixes;
  if (file == "factory.ttl")
    t << "<" << kFactoryBankUri << ">\n    a pset:Bank ;\n    rdfs:label \"Factory\" .\n\n";
  for (const Preset& preset : presets()) {
    if (preset.file != file) continue;
    t << "<" << preset.uri << ">\n"
      << "    a pset:Preset ;\n"
      << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
      << "    rdfs:label " << quoted(preset.label) << " ;\n";
    if (preset.inFactoryBank) t << "    pset:bank <" << kFactoryBankUri << "> ;\n";
    t << "    lv2:port";
    for (const ParameterInfo& p : kParameters)
      t << (p.index == 0 ? "" : " ,") << " [\n        lv2:symbol \"" << p.name
        << "\" ;\n        pset:value " << number(preset.values[p.index]) << "\n    ]";
    t << " .\n\n";
  }
  return t.str();
}

std::string manifestTurtle(const std::string& dsp, const std::string& ui) {
  std::ostringstream t;
  t << kPrefixes;
  t << "<" << kPluginUri << ">\n"
    << "    a lv2:Plugin , lv2:InstrumentPlugin ;\n"
    << "    lv2:binary <" << dsp << "> ;\n"
    << "    rdfs:seeAlso <VelaOrin.ttl> .\n\n";
  if (!ui.empty())
    t << "<" << kUiUri << ">\n"
      << "    a ui:X11UI ;\n"
      << "    lv2:binary <" << ui << "> ;\n"
      << "    rdfs:seeAlso <VelaOrin_ui.ttl> .\n\n";
  for (const Preset& preset : presets())
    t << "<" << preset.uri << ">\n"
      << "    a pset:Preset ;\n"
      << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
      << "    rdfs:seeAlso <" << preset.file << "> .\n\n";
  return t.str();
}

std::string uiTurtle() {
  std::ostringstream t;
  t << kPrefixes;
  // ui:scaleFactor through the options feature (urid:map names it) and the options interface.
  t << "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n\n";
  t << "<" << kUiUri << ">\n"
    << "    a ui:X11UI ;\n"
    << "    lv2:optionalFeature ui:parent , ui:resize , ui:idleInterface , ui:touch , "
       "ui:noUserResize , urid:map , opts:options ;\n"
    << "    lv2:extensionData ui:idleInterface , opts:interface ;\n"
    << "    opts:supportedOption ui:scaleFactor .\n";
  return t.str();
}

bool write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "make_turtle: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: make_turtle BUNDLE_DIR DSP_BINARY [UI_BINARY]\n";
    return 2;
  }
  std::set<std::string> symbols = {kMidiInSymbol, kLeftOutSymbol, kRightOutSymbol,
                                   kOutputGroupSymbol};
  for (const ParameterInfo& p : kParameters) {
    if (!isSymbol(p.name) || !symbols.insert(p.name).second) {
      std::cerr << "make_turtle: parameter name \"" << p.name
                << "\" is not a unique LV2 symbol (a C identifier)\n";
      return 1;
    }
  }
  const std::string dir = argv[1];
  const std::string ui = argc == 4 ? argv[3] : "";
  bool ok = write(dir + "/manifest.ttl", manifestTurtle(argv[2], ui)) &&
            write(dir + "/VelaOrin.ttl", pluginTurtle(!ui.empty())) &&
            write(dir + "/presets.ttl", presetsTurtle("presets.ttl")) &&
            write(dir + "/factory.ttl", presetsTurtle("factory.ttl"));
  if (ok && !ui.empty()) ok = write(dir + "/VelaOrin_ui.ttl", uiTurtle());
  return ok ? 0 : 1;
}
