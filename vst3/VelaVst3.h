// What VelaOrin.vst3 is to hosts beyond the interfaces: its class identifiers, its parameter ids
// and its program list. Hosts store sessions and presets by these: none of them ever changes.
//
// The component (audio processor) and the edit controller are two objects that share nothing but
// what the host hands between them: the component's state (the bank's checked byte form), edits
// and parameter changes, and messages through their connection points.
#pragma once

#include <cstdint>

#include "Vst3Interfaces.h"
#include "VelaParameters.h"

namespace velavst3 {

// Text form 0E01F32F09D14E73A83068E6F6E5FE31 and 95353AC009FD4833B661856DD9F9104C.
inline constexpr vst3::Uid kProcessorCid = vst3::makeUid(0x0E01F32F, 0x09D14E73, 0xA83068E6, 0xF6E5FE31);
inline constexpr vst3::Uid kControllerCid = vst3::makeUid(0x95353AC0, 0x09FD4833, 0xB661856D, 0xD9F9104C);

inline constexpr char kSubCategories[] = "Instrument|Synth";
inline constexpr char kControllerName[] = "VelaOrin Controller";

// Parameters 0..13 are the instrument's, by index. Then the program selector, and the parameters
// that carry MIDI messages VST 3 hosts hand to an instrument only through the controller's MIDI
// mapping: hidden, not automatable, acting at their offsets as the MIDI messages would.
inline constexpr vst3::ParamID kProgramId = 100;
inline constexpr vst3::ParamID kPitchBendId = 101;
inline constexpr vst3::ParamID kAllSoundOffId = 102;
inline constexpr vst3::ParamID kResetControllersId = 103;
inline constexpr vst3::ParamID kAllNotesOffId = 104;
inline constexpr vst3::ParamID kMonoModeId = 105;

struct MidiParameter {
  vst3::ParamID id;
  int16_t controller;  // the controller number of the MIDI mapping
  const char* title;
  int32_t stepCount;
  double defaultValue;
};
inline constexpr MidiParameter kMidiParameters[] = {
    {kPitchBendId, vst3::kPitchBend, "Pitch Bend", 16383, 8192.0 / 16383.0},
    {kAllSoundOffId, vst3::kCtrlAllSoundsOff, "All Sound Off", 127, 0.0},
    {kResetControllersId, vst3::kCtrlResetAllCtrlers, "Reset All Controllers", 127, 0.0},
    {kAllNotesOffId, vst3::kCtrlAllNotesOff, "All Notes Off", 127, 0.0},
    {kMonoModeId, vst3::kCtrlMonoModeOn, "Mono Mode On", 127, 0.0},
};
inline constexpr int32_t kMidiParameterCount = static_cast<int32_t>(std::size(kMidiParameters));
// In getParameterInfo order: the 14, the program selector, the MIDI ones.
inline constexpr int32_t kParameterCount = kNumParams + 1 + kMidiParameterCount;

// The root unit holds every parameter and the one program list of the 32 programs.
inline constexpr vst3::ProgramListID kProgramListId = 1;
inline constexpr int32_t kLastProgram = 31;

// The component sends its bank to the controller after a state restore, for hosts that do not
// hand the controller the component's state themselves.
inline constexpr char kBankMessage[] = "VelaOrinBank";
inline constexpr char kBankAttribute[] = "bank";

}  // namespace velavst3
