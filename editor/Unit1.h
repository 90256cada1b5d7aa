// TForm1: the editor panel's logic. It keeps one stored value per parameter, writes user edits
// to the synthesizer as automated changes and follows the synthesizer on every timer tick.
//
// Contract with the platform layer (editor/win32/, see PanelControls.h):
// - Construct after the native controls exist with their designed positions (the k... tables
//   below); the constructor sets the knobs' designed positions, connects their OnChange and runs
//   FormCreate. Then bind a native window to each knob(n) (TTsumami::setWindow).
// - The owner sets `synth` right after construction; until then nothing is written or read.
// - Route notifications: slider scroll -> TrackBarChange(n); radio selection change ->
//   RadioGroup1Click(); check box change -> CheckBoxClick(n); 100 ms timer -> Timer1Timer();
//   paint of the panel's own surface -> FormPaint() (it draws nothing, it only moves controls).
// All calls on the panel window's thread.
#pragma once

#include <array>
#include <cstdint>

#include "PanelControls.h"
#include "Tsumami.h"
#include "VelaParameters.h"

class AudioEffect;

// Designed panel: outer size, slider ranges and positions, knob sizes and positions.
constexpr int32_t kPanelWidth = 481;
constexpr int32_t kPanelHeight = 281;
constexpr int32_t kTrackBarCount = 6;
constexpr int32_t kCheckBoxCount = 2;
constexpr int32_t kKnobCount = 5;
constexpr int32_t kRadioItemCount = 3;  // "LowPass", "BandPass", "HiPass"
// Index n - 1 for TrackBar<n>; every range starts at 0. TrackBar3..6 have 0 at the top.
constexpr std::array<int32_t, kTrackBarCount> kTrackBarMax = {24, 24, 50, 50, 50, 50};
constexpr std::array<int32_t, kTrackBarCount> kTrackBarDesigned = {12, 12, 45, 45, 25, 45};
constexpr int32_t kRadioDesigned = 0;
constexpr std::array<bool, kCheckBoxCount> kCheckBoxDesigned = {true, true};
// Index n - 1 for Tsumami<n>.
constexpr std::array<int32_t, kKnobCount> kKnobDesigned = {0, 0, 50, 0, 50};
constexpr std::array<int32_t, kKnobCount> kKnobSize = {25, 25, 33, 33, 33};  // square

// Positions in the stored values: the program record order of the parameter table.
enum PanelSlot : int32_t {
  kSlotCutOff = kParameters[kCutOff].recordSlot,
  kSlotQ = kParameters[kQ].recordSlot,
  kSlotType = kParameters[kType].recordSlot,
  kSlotMod1 = kParameters[kMod1].recordSlot,
  kSlotMod2 = kParameters[kMod2].recordSlot,
  kSlotFB1 = kParameters[kFB1].recordSlot,
  kSlotFB2 = kParameters[kFB2].recordSlot,
  kSlotA = kParameters[kA].recordSlot,
  kSlotD = kParameters[kD].recordSlot,
  kSlotS = kParameters[kS].recordSlot,
  kSlotR = kParameters[kR].recordSlot,
  kSlotEnv = kParameters[kEnv].recordSlot,
  kSlotM1S = kParameters[kM1S].recordSlot,
  kSlotM2S = kParameters[kM2S].recordSlot,
  kSlotCount = kNumParams
};

class TForm1 {
 public:
  enum class ControlKind : int32_t { TrackBar, Knob, RadioGroup, CheckBox };

  explicit TForm1(PanelControls& controls);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  AudioEffect* synth = nullptr;  // not owned; set by the editor bridge

  // The stored value of each parameter, in PanelSlot order.
  std::array<float, kSlotCount> panelValue{};

  TTsumami Tsumami1, Tsumami2, Tsumami3, Tsumami4, Tsumami5;
  TTsumami& knob(int32_t n);  // n = 1..5

  // Event handlers.
  void FormCreate();
  void FormPaint();
  void Timer1Timer();
  void TrackBar1Change();
  void TrackBar2Change();
  void TrackBar3Change();
  void TrackBar4Change();
  void TrackBar5Change();
  void TrackBar6Change();
  void RadioGroup1Click();
  void CheckBox1Click();
  void CheckBox2Click();
  void Tsumami1Change(TTsumami& sender);
  void Tsumami2Change(TTsumami& sender);
  void Tsumami3Change(TTsumami& sender);
  void Tsumami4Change(TTsumami& sender);
  void Tsumami5Change(TTsumami& sender);
  // The same handlers by control number, for platform code that loops over controls.
  void TrackBarChange(int32_t trackBar);
  void CheckBoxClick(int32_t checkBox);

  // Brings the stored value of parameter `index` (0..13, host numbering) up to date with the
  // synthesizer; the control itself is moved by the next FormPaint.
  void pullParameter(int32_t index);

 private:
  struct Binding;
  static const std::array<Binding, kSlotCount>& bindings();
  const Binding& bindingOf(int32_t index) const;
  const Binding& bindingOf(ControlKind kind, int32_t number) const;

  int32_t controlPosition(const Binding& binding);
  void setControlPosition(const Binding& binding, int32_t position);
  void controlChanged(const Binding& binding);

  PanelControls& controls;
};
