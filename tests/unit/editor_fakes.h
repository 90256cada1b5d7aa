// Stand-ins for the native panel: they behave like the platform layer promises to (see
// editor/PanelControls.h), so the portable editor logic can be driven without a window system.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "PanelControls.h"
#include "ParameterLink.h"
#include "RecordingHost.h"
#include "Unit1.h"

// Controls that hold their state in plain arrays; the contract (clamp, compare, notify) is
// PanelControls' own. The user's hand: userMoveTrackBar for a slider step or a thumb's move,
// setRadioIndex and setChecked for clicks.
class FakeControls : public PanelControls {
 public:
  int32_t trackBarPosition(int32_t trackBar) const override { return trackBars[slot(trackBar)]; }
  int32_t radioIndex() const override { return radio; }
  bool checked(int32_t checkBox) const override { return checks[slot(checkBox)]; }
  void repaintNow() override {
    ++repaints;
    if (attached() != nullptr) attached()->FormPaint();
  }

  std::array<int32_t, kTrackBarCount> trackBars = kTrackBarDesigned;
  int32_t radio = kRadioDesigned;
  std::array<bool, kCheckBoxCount> checks = kCheckBoxDesigned;
  int32_t repaints = 0;

 protected:
  void showTrackBarPosition(int32_t trackBar, int32_t position) override {
    trackBars[slot(trackBar)] = position;
  }
  void showRadioIndex(int32_t index) override { radio = index; }
  void showChecked(int32_t checkBox, bool state) override { checks[slot(checkBox)] = state; }

 private:
  static size_t slot(int32_t number) { return static_cast<size_t>(number - 1); }
};

// A parameter link that holds the values itself (a new program's to begin with) and records
// every request in the terms a VST 2 host would see, for editText.
class RecordingLink : public ParameterLink {
 public:
  RecordingLink() {
    for (const ParameterInfo& p : kParameters) values[static_cast<size_t>(p.index)] = p.initial;
  }
  float value(int32_t index) override { return values[static_cast<size_t>(index)]; }
  void automate(int32_t index, float value) override {
    values[static_cast<size_t>(index)] = value;
    record(audioMasterAutomate, index, value);
  }
  void beginEdit(int32_t index) override { record(audioMasterBeginEdit, index, 0.0f); }
  void endEdit(int32_t index) override { record(audioMasterEndEdit, index, 0.0f); }

  std::string text() const { return editText(calls); }

  std::array<float, kNumParams> values{};
  std::vector<HostCall> calls;

 private:
  void record(int32_t opcode, int32_t index, float value) {
    calls.push_back({nullptr, opcode, index, 0, nullptr, value});
  }
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
