// Stand-ins for the native panel: they behave like the platform layer promises to (see
// editor/PanelControls.h), so the portable editor logic can be driven without a window system.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "PanelControls.h"
#include "Unit1.h"

// Sliders clamp and notify only when the clamped position differs; radio and check boxes notify
// on change. `user...` calls model the user's hand: every scroll notifies.
class FakeControls : public PanelControls {
 public:
  FakeControls() {
    trackBars = kTrackBarDesigned;
    checks = kCheckBoxDesigned;
  }

  int32_t trackBarPosition(int32_t trackBar) const override { return trackBars[slot(trackBar)]; }
  void setTrackBarPosition(int32_t trackBar, int32_t position) override {
    ++programmaticSets;
    const int32_t clamped = std::clamp(position, 0, kTrackBarMax[slot(trackBar)]);
    if (clamped == trackBars[slot(trackBar)]) return;
    trackBars[slot(trackBar)] = clamped;
    if (form != nullptr) form->TrackBarChange(trackBar);
  }
  int32_t radioIndex() const override { return radio; }
  void setRadioIndex(int32_t index) override {
    ++programmaticSets;
    const int32_t clamped = std::clamp(index, 0, kRadioItemCount - 1);
    if (clamped == radio) return;
    radio = clamped;
    if (form != nullptr) form->RadioGroup1Click();
  }
  bool checked(int32_t checkBox) const override { return checks[slot(checkBox)]; }
  void setChecked(int32_t checkBox, bool state) override {
    ++programmaticSets;
    if (state == checks[slot(checkBox)]) return;
    checks[slot(checkBox)] = state;
    if (form != nullptr) form->CheckBoxClick(checkBox);
  }
  void repaintNow() override {
    ++repaints;
    if (form != nullptr) form->FormPaint();
  }

  void userMoveTrackBar(int32_t trackBar, int32_t position) {
    trackBars[slot(trackBar)] = std::clamp(position, 0, kTrackBarMax[slot(trackBar)]);
    form->TrackBarChange(trackBar);
  }
  void userSelectRadio(int32_t index) { setRadioIndex(index); }
  void userCheck(int32_t checkBox, bool state) { setChecked(checkBox, state); }

  TForm1* form = nullptr;
  std::array<int32_t, kTrackBarCount> trackBars{};
  int32_t radio = kRadioDesigned;
  std::array<bool, kCheckBoxCount> checks{};
  int32_t repaints = 0;
  int32_t programmaticSets = 0;

 private:
  static size_t slot(int32_t number) { return static_cast<size_t>(number - 1); }
};

// What a fake panel went through, kept outside it so it can be read after destruction.
struct PanelJournal {
  int32_t created = 0;
  int32_t destroyed = 0;
  int32_t shows = 0;
  int32_t repaints = 0;
  std::vector<void*> parents;  // parent of each creation
};

class FakePanelWindow : public PanelWindow {
 public:
  explicit FakePanelWindow(PanelJournal& journalOut) : journal(journalOut), panelForm(controls) {
    controls.form = &panelForm;
    ++journal.created;
  }
  ~FakePanelWindow() override { ++journal.destroyed; }

  TForm1& form() override { return panelForm; }
  void show() override { ++journal.shows; }
  void repaint() override {
    ++journal.repaints;
    controls.repaintNow();
  }
  int32_t outerWidth() const override { return kPanelWidth; }
  int32_t outerHeight() const override { return kPanelHeight; }

  PanelJournal& journal;
  FakeControls controls;
  TForm1 panelForm;
};

// A factory that treats every non-null parent except `invalidParent` as a window.
inline PanelFactory fakePanelFactory(PanelJournal& journal, void* invalidParent = nullptr) {
  return [&journal, invalidParent](void* parent) -> std::unique_ptr<PanelWindow> {
    if (parent == nullptr || parent == invalidParent) return nullptr;
    journal.parents.push_back(parent);
    return std::make_unique<FakePanelWindow>(journal);
  };
}
