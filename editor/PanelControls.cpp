#include "PanelControls.h"

#include <algorithm>

#include "PanelConstants.h"
#include "Unit1.h"

namespace {

bool isTrackBar(int32_t n) { return n >= 1 && n <= kTrackBarCount; }
bool isCheckBox(int32_t n) { return n >= 1 && n <= kCheckBoxCount; }
int32_t clampToTrackBar(int32_t n, int32_t position) {
  return std::clamp(position, 0, kTrackBarMax[static_cast<size_t>(n - 1)]);
}

}  // namespace

void PanelControls::setTrackBarPosition(int32_t trackBar, int32_t position) {
  if (!isTrackBar(trackBar)) return;
  const int32_t clamped = clampToTrackBar(trackBar, position);
  if (clamped == trackBarPosition(trackBar)) return;
  showTrackBarPosition(trackBar, clamped);
  if (notified != nullptr) notified->TrackBarChange(trackBar);
}

void PanelControls::userMoveTrackBar(int32_t trackBar, int32_t position) {
  if (!isTrackBar(trackBar)) return;
  const int32_t clamped = clampToTrackBar(trackBar, position);
  if (clamped != trackBarPosition(trackBar)) showTrackBarPosition(trackBar, clamped);
  if (notified != nullptr) notified->TrackBarChange(trackBar);
}

void PanelControls::setRadioIndex(int32_t index) {
  const int32_t clamped = std::clamp(index, 0, kRadioItemCount - 1);
  if (clamped == radioIndex()) return;
  showRadioIndex(clamped);
  if (notified != nullptr) notified->RadioGroup1Click();
}

void PanelControls::setChecked(int32_t checkBox, bool state) {
  if (!isCheckBox(checkBox) || state == checked(checkBox)) return;
  showChecked(checkBox, state);
  if (notified != nullptr) notified->CheckBoxClick(checkBox);
}
