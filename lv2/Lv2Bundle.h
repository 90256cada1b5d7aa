// The LV2 plug-in's identity and ports, shared by the DSP binary, the UI binary, the Turtle
// generator and the tests. URIs and symbols are what hosts store sessions and presets by: they
// never change. A new port needs lv2:connectionOptional and a higher minor version.
#pragma once

#include <cstdint>

#include "VelaIdentity.h"
#include "VelaParameters.h"

namespace velalv2 {

inline constexpr const char* kPluginUri = vela::identity::kLv2Uri;
inline constexpr char kUiUri[] = "urn:velaorin:VelaOrin#ui";  // kPluginUri + "#ui"
inline constexpr int32_t kMinorVersion = vela::identity::kLv2MinorVersion;
inline constexpr int32_t kMicroVersion = vela::identity::kLv2MicroVersion;

// Ports 0..13 are the parameters in host index order, then MIDI in and the two outputs.
inline constexpr uint32_t kMidiInPort = kNumParams;
inline constexpr uint32_t kLeftOutPort = kNumParams + 1;
inline constexpr uint32_t kRightOutPort = kNumParams + 2;
inline constexpr uint32_t kPortCount = kNumParams + 3;
// The JACK player names its ports the same way.
inline constexpr const char* kMidiInSymbol = "midi_in";
inline constexpr const char* kLeftOutSymbol = "out_L";
inline constexpr const char* kRightOutSymbol = "out_R";
inline constexpr const char* kOutputGroupSymbol = "out";

// The tuning: two files a host shows choosers for (patch:writable parameters of range
// atom:Path, set by patch:Set on the MIDI input), and the state key that keeps their contents.
inline constexpr char kScaleUri[] = "urn:velaorin:VelaOrin#scale";
inline constexpr char kKeyboardMappingUri[] = "urn:velaorin:VelaOrin#keyboardMapping";
inline constexpr char kTuningStateUri[] = "urn:velaorin:VelaOrin#tuning";

}  // namespace velalv2
