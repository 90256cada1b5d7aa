#include "Unit1.h"

#include <algorithm>
#include <cassert>

#include "EditorMath.h"

using ControlKind = TForm1::ControlKind;

// How one parameter meets its control. A position p stands for p / grid, or (grid - p) / grid
// for the envelope sliders whose top is the value 1; a check box has the grid 1.
struct TForm1::Binding {
  int32_t index;  // host parameter index
  ControlKind kind;
  int32_t number;  // TrackBar<n>, Tsumami<n>, CheckBox<n>
  int32_t grid;
  bool topIsOne;
};

const std::array<TForm1::Binding, kSlotCount>& TForm1::bindings() {
  using K = ControlKind;
  static const std::array<Binding, kSlotCount> table = {{
      {kMod1, K::TrackBar, 1, 24, false},
      {kMod2, K::TrackBar, 2, 24, false},
      {kFB1, K::Knob, 1, 100, false},
      {kFB2, K::Knob, 2, 100, false},
      {kA, K::TrackBar, 3, 50, true},
      {kD, K::TrackBar, 4, 50, true},
      {kS, K::TrackBar, 5, 50, true},
      {kR, K::TrackBar, 6, 50, true},
      {kCutOff, K::Knob, 3, 100, false},
      {kQ, K::Knob, 4, 100, false},
      {kType, K::RadioGroup, 1, 2, false},
      {kEnv, K::Knob, 5, 100, false},
      {kM1S, K::CheckBox, 1, 1, false},
      {kM2S, K::CheckBox, 2, 1, false},
  }};
  return table;
}

namespace {

// Control position (check box: 1 checked, 0 not) that `value` stands for. Sliders and the radio
// group span exactly their grid and can show nothing beyond it, so a value outside 0..1 maps to
// the nearer end; storing that end's value keeps the panel from writing the clamped value back
// when the control's notification arrives. A knob takes any position.
int32_t positionFor(ControlKind kind, int32_t grid, bool topIsOne, double value) {
  if (kind == ControlKind::CheckBox) return roundTiesEven(value) == 1 ? 1 : 0;
  const int32_t steps = roundTiesEven(value * grid);
  const int32_t position = topIsOne ? grid - steps : steps;
  return kind == ControlKind::Knob ? position : std::clamp(position, 0, grid);
}

// Value on the control's grid for a position.
float gridValue(int32_t grid, bool topIsOne, int32_t position) {
  const double steps = topIsOne ? static_cast<double>(grid) - position : position;
  return static_cast<float>(steps / grid);
}

// Stored values of a new panel, in PanelSlot order: what the designed positions stand for,
// which are the values of a new program.
constexpr std::array<float, kSlotCount> kInitialValues =
    valuesInRecordOrder<&ParameterInfo::initial>();

// Position of a binding's parameter in panelValue.
size_t slotOf(int32_t index) { return static_cast<size_t>(kParameters[index].recordSlot); }

// FormPaint's order of controls, by host index.
constexpr std::array<int32_t, kSlotCount> kPaintOrder = {kMod1, kMod2, kFB1,    kFB2, kA,   kD,   kS,
                                                          kR,    kType, kCutOff, kQ,   kEnv, kM1S, kM2S};

}  // namespace

TForm1::TForm1(PanelControls& panelControls) : controls(panelControls) {
  // Designed positions first, handlers after: building the layout notifies nobody.
  for (int32_t n = 1; n <= kKnobCount; ++n) knob(n).SetPosition(kKnobDesigned[n - 1]);
  Tsumami1.OnChange = [this](TTsumami& sender) { Tsumami1Change(sender); };
  Tsumami2.OnChange = [this](TTsumami& sender) { Tsumami2Change(sender); };
  Tsumami3.OnChange = [this](TTsumami& sender) { Tsumami3Change(sender); };
  Tsumami4.OnChange = [this](TTsumami& sender) { Tsumami4Change(sender); };
  Tsumami5.OnChange = [this](TTsumami& sender) { Tsumami5Change(sender); };
  for (int32_t n = 1; n <= kKnobCount; ++n) {
    knob(n).OnDragStart = [this, n](TTsumami&) { beginGesture(ControlKind::Knob, n); };
    knob(n).OnDragEnd = [this, n](TTsumami&) { endGesture(ControlKind::Knob, n); };
  }
  FormCreate();
  controls.attach(this);
}

TForm1::~TForm1() {
  controls.attach(nullptr);
  endGestures();
}

void TForm1::setLink(ParameterLink* newLink) {
  if (newLink == parameterLink) return;
  endGestures();
  parameterLink = newLink;
}

void TForm1::openGesture(int32_t index) {
  auto& open = gestureOpen[static_cast<size_t>(index)];
  if (open || parameterLink == nullptr) return;
  open = true;
  parameterLink->beginEdit(index);
}

void TForm1::closeGesture(int32_t index) {
  auto& open = gestureOpen[static_cast<size_t>(index)];
  if (!open) return;
  open = false;
  if (parameterLink != nullptr) parameterLink->endEdit(index);
}

void TForm1::beginGesture(ControlKind kind, int32_t number) {
  openGesture(bindingOf(kind, number).index);
}

void TForm1::endGesture(ControlKind kind, int32_t number) {
  closeGesture(bindingOf(kind, number).index);
}

void TForm1::endGestures() {
  for (int32_t index = 0; index < kSlotCount; ++index) closeGesture(index);
}

TTsumami& TForm1::knob(int32_t n) {
  assert(n >= 1 && n <= kKnobCount);
  switch (n) {
    case 1: return Tsumami1;
    case 2: return Tsumami2;
    case 3: return Tsumami3;
    case 4: return Tsumami4;
    default: return Tsumami5;
  }
}

const TForm1::Binding& TForm1::bindingOf(int32_t index) const {
  return bindings()[static_cast<size_t>(index)];
}

const TForm1::Binding& TForm1::bindingOf(ControlKind kind, int32_t number) const {
  for (const Binding& binding : bindings())
    if (binding.kind == kind && binding.number == number) return binding;
  assert(false && "every control has a binding");
  return bindings()[0];
}

int32_t TForm1::controlPosition(const Binding& binding) {
  switch (binding.kind) {
    case ControlKind::TrackBar: return controls.trackBarPosition(binding.number);
    case ControlKind::Knob: return knob(binding.number).Position();
    case ControlKind::RadioGroup: return controls.radioIndex();
    case ControlKind::CheckBox: return controls.checked(binding.number) ? 1 : 0;
  }
  return 0;
}

void TForm1::setControlPosition(const Binding& binding, int32_t position) {
  switch (binding.kind) {
    case ControlKind::TrackBar: controls.setTrackBarPosition(binding.number, position); break;
    case ControlKind::Knob: knob(binding.number).SetPosition(position); break;
    case ControlKind::RadioGroup: controls.setRadioIndex(position); break;
    case ControlKind::CheckBox: controls.setChecked(binding.number, position == 1); break;
  }
}

// Every control's change handler: store and write the control's grid value unless the panel
// already holds it, so notifications caused by the panel's own moves write nothing. A write
// outside a drag is a gesture of its own.
void TForm1::controlChanged(const Binding& binding) {
  float& stored = panelValue[slotOf(binding.index)];
  const int32_t position = controlPosition(binding);
  if (binding.kind == ControlKind::CheckBox) {
    const bool isChecked = position == 1;
    if (isChecked == (roundTiesEven(stored) == 1)) return;
    stored = isChecked ? 1.0f : 0.0f;
  } else {
    const float value = gridValue(binding.grid, binding.topIsOne, position);
    if (value == stored) return;
    stored = value;
  }
  if (parameterLink == nullptr) return;
  const bool ownGesture = !gestureOpen[static_cast<size_t>(binding.index)];
  if (ownGesture) openGesture(binding.index);
  parameterLink->automate(binding.index, stored);
  if (ownGesture) closeGesture(binding.index);
}

void TForm1::pullParameter(int32_t index) {
  if (parameterLink == nullptr || index < 0 || index >= kSlotCount) return;
  const Binding& binding = bindingOf(index);
  const float value = parameterLink->value(index);
  const int32_t position = positionFor(binding.kind, binding.grid, binding.topIsOne, value);
  if (position == controlPosition(binding)) return;
  panelValue[slotOf(binding.index)] = gridValue(binding.grid, binding.topIsOne, position);
}

void TForm1::FormCreate() { panelValue = kInitialValues; }

void TForm1::FormPaint() {
  for (const int32_t index : kPaintOrder) {
    const Binding& binding = bindingOf(index);
    // The user's hand wins over the host while a knob is held.
    if (binding.kind == ControlKind::Knob && knob(binding.number).isDragging()) continue;
    const float stored = panelValue[slotOf(binding.index)];
    const int32_t position = positionFor(binding.kind, binding.grid, binding.topIsOne, stored);
    if (position != controlPosition(binding)) setControlPosition(binding, position);
  }
}

void TForm1::Timer1Timer() {
  for (int32_t index = 0; index < kSlotCount; ++index) pullParameter(index);
  controls.repaintNow();
}

void TForm1::TrackBar1Change() { controlChanged(bindingOf(ControlKind::TrackBar, 1)); }
void TForm1::TrackBar2Change() { controlChanged(bindingOf(ControlKind::TrackBar, 2)); }
void TForm1::TrackBar3Change() { controlChanged(bindingOf(ControlKind::TrackBar, 3)); }
void TForm1::TrackBar4Change() { controlChanged(bindingOf(ControlKind::TrackBar, 4)); }
void TForm1::TrackBar5Change() { controlChanged(bindingOf(ControlKind::TrackBar, 5)); }
void TForm1::TrackBar6Change() { controlChanged(bindingOf(ControlKind::TrackBar, 6)); }
void TForm1::RadioGroup1Click() { controlChanged(bindingOf(ControlKind::RadioGroup, 1)); }
void TForm1::CheckBox1Click() { controlChanged(bindingOf(ControlKind::CheckBox, 1)); }
void TForm1::CheckBox2Click() { controlChanged(bindingOf(ControlKind::CheckBox, 2)); }
void TForm1::Tsumami1Change(TTsumami&) { controlChanged(bindingOf(ControlKind::Knob, 1)); }
void TForm1::Tsumami2Change(TTsumami&) { controlChanged(bindingOf(ControlKind::Knob, 2)); }
void TForm1::Tsumami3Change(TTsumami&) { controlChanged(bindingOf(ControlKind::Knob, 3)); }
void TForm1::Tsumami4Change(TTsumami&) { controlChanged(bindingOf(ControlKind::Knob, 4)); }
void TForm1::Tsumami5Change(TTsumami&) { controlChanged(bindingOf(ControlKind::Knob, 5)); }

void TForm1::TrackBarChange(int32_t trackBar) {
  switch (trackBar) {
    case 1: TrackBar1Change(); break;
    case 2: TrackBar2Change(); break;
    case 3: TrackBar3Change(); break;
    case 4: TrackBar4Change(); break;
    case 5: TrackBar5Change(); break;
    case 6: TrackBar6Change(); break;
    default: break;
  }
}

void TForm1::CheckBoxClick(int32_t checkBox) {
  if (checkBox == 1) CheckBox1Click();
  if (checkBox == 2) CheckBox2Click();
}
