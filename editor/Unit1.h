// TForm1: the editor panel's logic. It keeps one stored value per parameter, writes user edits
// through its ParameterLink as automated changes inside edit gestures and follows the link's
// values on every timer tick.
//
// Contract with the platform layer (editor/win32/, editor/x11/, see PanelControls.h):
// - Construct after the native controls exist with their designed positions (PanelConstants.h);
//   the constructor sets the knobs' designed positions, connects their events, runs FormCreate
//   and attaches itself to the controls. Then bind a native window to each knob(n)
//   (TTsumami::setWindow).
// - The owner sets the link right after construction; until then nothing is written or read.
// - Route notifications: slider scroll -> TrackBarChange(n); radio selection change ->
//   RadioGroup1Click(); check box change -> CheckBoxClick(n); poll timer -> Timer1Timer();
//   paint of the panel's own surface -> FormPaint() (it draws nothing, it only moves controls).
// - Gestures: a slider's thumb taken by the mouse -> beginGesture(TrackBar, n), let go ->
//   endGesture(TrackBar, n); a drag cut short (capture lost) -> endGesture as well. Knobs report
//   their own drags. A change outside a gesture (a click, a page or wheel step, a key) is
//   bracketed by the handler itself: begin, automate, end. Changes the panel causes itself (the
//   poll moving controls) write nothing, so they open no gesture either.
// All calls on the panel window's thread.
#pragma once

#include <array>
#include <cstdint>

#include "PanelConstants.h"
#include "PanelControls.h"
#include "ParameterLink.h"
#include "Tsumami.h"
#include "VelaParameters.h"

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
  ~TForm1();  // closes the gestures still open
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Not owned; set by the editor bridge. A new link (or none) first closes the gestures still
  // open on the old one.
  void setLink(ParameterLink* newLink);
  ParameterLink* link() const { return parameterLink; }

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
  // link; the control itself is moved by the next FormPaint.
  void pullParameter(int32_t index);

  // The user takes hold of a control and lets it go (see the contract above). Both are safe to
  // repeat: a gesture opens once and closes once.
  void beginGesture(ControlKind kind, int32_t number);
  void endGesture(ControlKind kind, int32_t number);
  // Closes every open gesture: the panel loses the mouse, or goes away.
  void endGestures();

 private:
  struct Binding;
  static const std::array<Binding, kSlotCount>& bindings();
  const Binding& bindingOf(int32_t index) const;
  const Binding& bindingOf(ControlKind kind, int32_t number) const;

  int32_t controlPosition(const Binding& binding);
  void setControlPosition(const Binding& binding, int32_t position);
  void controlChanged(const Binding& binding);

  void openGesture(int32_t index);
  void closeGesture(int32_t index);

  PanelControls& controls;
  ParameterLink* parameterLink = nullptr;
  std::array<bool, kSlotCount> gestureOpen{};  // by host index: begun on parameterLink
};
