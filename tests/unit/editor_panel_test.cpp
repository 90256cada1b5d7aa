#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "DAEffectX.h"
#include "RecordingHost.h"
#include "Unit1.h"
#include "editor_fakes.h"
#include "uVSTXSynth.h"

namespace {

// A panel on a real synthesizer whose host records the automation it receives.
struct PanelFixture : testing::Test {
  PanelFixture() {
    controls.form = &form;
    form.synth = &synth;
    host.reset();
  }

  std::vector<HostCall> automation() const { return host.callsWith(audioMasterAutomate); }
  int32_t knobPosition(int32_t n) { return form.knob(n).Position(); }

  RecordingHost& host = RecordingHost::instance();
  AVstXSynth synth{&RecordingHost::callback};
  FakeControls controls;
  TForm1 form{controls};
};

TEST_F(PanelFixture, NewPanelShowsTheDesignedPositionsUntilTheFirstTick) {
  EXPECT_EQ(controls.trackBars, kTrackBarDesigned);
  for (int32_t n = 1; n <= kKnobCount; ++n) EXPECT_EQ(knobPosition(n), kKnobDesigned[n - 1]);
  EXPECT_EQ(form.panelValue, (std::array<float, kSlotCount>{0.5f, 0.0f, 0.0f, 0.5f, 0.5f, 0.0f,
                                                            0.0f, 0.1f, 0.1f, 0.5f, 0.1f, 0.5f,
                                                            1.0f, 1.0f}));

  synth.setProgram(1);  // "Eth Drm"
  form.FormPaint();     // a repaint alone does not look at the synthesizer
  EXPECT_EQ(controls.trackBars, kTrackBarDesigned);
  EXPECT_EQ(knobPosition(1), 0);

  form.Timer1Timer();
  EXPECT_EQ(controls.repaints, 1);
  // Eth Drm: Mod1 5/24, Mod2 1, FB1 1, FB2 0, A 0, D 0.6, S 0, R 0.24, CutOff 0.8, Q 0, Type 0,
  // Env 1, M1S 0, M2S 1.
  EXPECT_EQ(controls.trackBars, (std::array<int32_t, kTrackBarCount>{5, 24, 50, 20, 50, 38}));
  EXPECT_EQ(knobPosition(1), 100);
  EXPECT_EQ(knobPosition(2), 0);
  EXPECT_EQ(knobPosition(3), 80);
  EXPECT_EQ(knobPosition(4), 0);
  EXPECT_EQ(knobPosition(5), 100);
  EXPECT_EQ(controls.radio, 0);
  EXPECT_EQ(controls.checks, (std::array<bool, kCheckBoxCount>{false, true}));
  EXPECT_TRUE(automation().empty()) << "following the synthesizer writes nothing back";
}

TEST_F(PanelFixture, IdlePanelWritesNothing) {
  for (int tick = 0; tick < 3; ++tick) form.Timer1Timer();
  EXPECT_TRUE(automation().empty());
  EXPECT_EQ(controls.trackBars, kTrackBarDesigned);
}

struct EditRow {
  const char* name;
  std::function<void(FakeControls&, TForm1&)> edit;
  int32_t index;
  float value;
};

TEST_F(PanelFixture, UserEditsWriteTheGridValueOnce) {
  const std::vector<EditRow> rows = {
      {"Mod1 slider to 7", [](FakeControls& c, TForm1&) { c.userMoveTrackBar(1, 7); }, 0,
       static_cast<float>(7.0 / 24.0)},
      {"Mod2 slider to 24", [](FakeControls& c, TForm1&) { c.userMoveTrackBar(2, 24); }, 1, 1.0f},
      {"S slider to its top", [](FakeControls& c, TForm1&) { c.userMoveTrackBar(5, 0); }, 6, 1.0f},
      {"S slider to its bottom", [](FakeControls& c, TForm1&) { c.userMoveTrackBar(5, 50); }, 6,
       0.0f},
      {"A slider to 10", [](FakeControls& c, TForm1&) { c.userMoveTrackBar(3, 10); }, 4, 0.8f},
      {"R slider to 49", [](FakeControls& c, TForm1&) { c.userMoveTrackBar(6, 49); }, 7, 0.02f},
      {"HiPass", [](FakeControls& c, TForm1&) { c.userSelectRadio(2); }, 10, 1.0f},
      {"BandPass", [](FakeControls& c, TForm1&) { c.userSelectRadio(1); }, 10, 0.5f},
      {"Sync Carr off", [](FakeControls& c, TForm1&) { c.userCheck(1, false); }, 12, 0.0f},
      {"Sync Mod1 off", [](FakeControls& c, TForm1&) { c.userCheck(2, false); }, 13, 0.0f},
      {"Sync Mod1 on again", [](FakeControls& c, TForm1&) { c.userCheck(2, true); }, 13, 1.0f},
      {"FB1 knob to 33", [](FakeControls&, TForm1& f) { f.Tsumami1.SetPosition(33); }, 2, 0.33f},
      {"FB2 knob to 100", [](FakeControls&, TForm1& f) { f.Tsumami2.SetPosition(100); }, 3, 1.0f},
      {"CutOff knob to 7", [](FakeControls&, TForm1& f) { f.Tsumami3.SetPosition(7); }, 8, 0.07f},
      {"Q knob to 99", [](FakeControls&, TForm1& f) { f.Tsumami4.SetPosition(99); }, 9, 0.99f},
      {"Env knob to 0", [](FakeControls&, TForm1& f) { f.Tsumami5.SetPosition(0); }, 11, 0.0f},
  };
  for (const EditRow& row : rows) {
    SCOPED_TRACE(row.name);
    host.reset();
    row.edit(controls, form);
    ASSERT_EQ(automation().size(), 1u);
    EXPECT_EQ(automation()[0].index, row.index);
    EXPECT_EQ(automation()[0].opt, row.value);
    EXPECT_EQ(synth.getParameter(row.index), row.value);

    // The same position notified again, and the next tick, write nothing.
    row.edit(controls, form);
    form.Timer1Timer();
    EXPECT_EQ(automation().size(), 1u);
  }
}

struct FollowRow {
  const char* name;
  int32_t index;
  float hostValue;
  std::function<int32_t(FakeControls&, TForm1&)> shown;
  int32_t expected;
};

TEST_F(PanelFixture, HostChangesAppearAfterATickWithoutWritingBack) {
  auto bar = [](int32_t n) {
    return [n](FakeControls& c, TForm1&) { return c.trackBarPosition(n); };
  };
  auto knob = [](int32_t n) { return [n](FakeControls&, TForm1& f) { return f.knob(n).Position(); }; };
  auto radio = [](FakeControls& c, TForm1&) { return c.radioIndex(); };
  auto check = [](int32_t n) {
    return [n](FakeControls& c, TForm1&) { return c.checked(n) ? 1 : 0; };
  };
  const std::vector<FollowRow> rows = {
      {"Mod1 0.3 -> round(7.2)", 0, 0.3f, bar(1), 7},
      {"Mod1 0.5 -> 12", 0, 0.5f, bar(1), 12},
      {"S 0.5 -> 25", 6, 0.5f, bar(5), 25},
      {"A 0.3 -> 50 - 15", 4, 0.3f, bar(3), 35},
      {"FB2 0.42 -> 42", 3, 0.42f, knob(2), 42},
      {"Type 0.3 -> BandPass", 10, 0.3f, radio, 1},
      {"Type 0.8 -> HiPass", 10, 0.8f, radio, 2},
      {"Type 0.25 ties down to LowPass", 10, 0.25f, radio, 0},
      {"Type 0.75 ties up to HiPass", 10, 0.75f, radio, 2},
      {"M1S 0.5 ties to unchecked", 12, 0.5f, check(1), 0},
      {"M1S 0.7 checked", 12, 0.7f, check(1), 1},
      {"M2S 0.2 unchecked", 13, 0.2f, check(2), 0},
  };
  for (const FollowRow& row : rows) {
    SCOPED_TRACE(row.name);
    host.reset();
    synth.setParameter(row.index, row.hostValue);
    form.Timer1Timer();
    EXPECT_EQ(row.shown(controls, form), row.expected);
    EXPECT_TRUE(automation().empty());
    EXPECT_EQ(synth.getParameter(row.index), row.hostValue) << "the host's exact value stays";
  }
}

TEST_F(PanelFixture, HeldKnobIgnoresTheHostAndTheNextMoveWritesAgain) {
  form.Tsumami3.MouseDown({200, 200});
  synth.setParameter(8, 0.8f);
  form.Timer1Timer();
  EXPECT_EQ(knobPosition(3), 50) << "a knob in the user's hand is not moved";
  EXPECT_EQ(form.panelValue[kSlotCutOff], 0.8f);
  EXPECT_TRUE(automation().empty());

  form.Tsumami3.MouseMove({201, 200});  // still 50
  ASSERT_EQ(automation().size(), 1u);
  EXPECT_EQ(automation()[0].index, 8);
  EXPECT_EQ(automation()[0].opt, 0.5f);
  EXPECT_EQ(synth.getParameter(8), 0.5f);

  form.Tsumami3.MouseUp();
  form.Timer1Timer();
  EXPECT_EQ(knobPosition(3), 50);
  EXPECT_EQ(automation().size(), 1u);
}

TEST_F(PanelFixture, PanelMovesControlsInTheDesignedOrder) {
  std::vector<int32_t> order;
  struct Spy : FakeControls {
    std::vector<int32_t>* log = nullptr;
    void setTrackBarPosition(int32_t n, int32_t p) override {
      log->push_back(n <= 2 ? n - 1 : n + 1);  // host index of TrackBar<n>
      FakeControls::setTrackBarPosition(n, p);
    }
    void setRadioIndex(int32_t i) override {
      log->push_back(10);
      FakeControls::setRadioIndex(i);
    }
    void setChecked(int32_t n, bool s) override {
      log->push_back(11 + n);
      FakeControls::setChecked(n, s);
    }
  } spy;
  spy.log = &order;
  TForm1 spied(spy);
  spy.form = &spied;
  spied.synth = &synth;
  const int32_t knobIndex[kKnobCount] = {2, 3, 8, 9, 11};
  for (int32_t n = 1; n <= kKnobCount; ++n)
    spied.knob(n).OnChange = [&order, i = knobIndex[n - 1]](TTsumami&) { order.push_back(i); };

  synth.setProgram(1);
  synth.setParameter(10, 1.0f);
  synth.setParameter(9, 0.5f);
  synth.setParameter(12, 1.0f);  // already shown: not moved
  synth.setParameter(13, 0.0f);
  synth.setParameter(3, 0.5f);
  spied.Timer1Timer();
  EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 10, 8, 9, 11, 13}));
}

// Values a host may send outside 0..1, through a stand-in effect that returns them untouched.
struct ValueEffect : AudioEffect {
  ValueEffect() : AudioEffect(nullptr, 1, kNumParams) {}
  void process(float**, float**, int32_t) override {}
  float getParameter(int32_t index) override { return values[static_cast<size_t>(index)]; }
  void setParameter(int32_t index, float value) override {
    values[static_cast<size_t>(index)] = value;
    ++writes;
  }
  std::array<float, kNumParams> values{0.5f, 0.5f, 0.0f, 0.0f, 0.1f, 0.1f, 0.5f,
                                       0.1f, 0.5f, 0.0f, 0.0f, 0.5f, 1.0f, 1.0f};
  int writes = 0;
};

TEST(PanelRange, ValuesOutsideTheRangeAreShownClampedOrStoredAndNeverWrittenBack) {
  FakeControls controls;
  TForm1 form(controls);
  controls.form = &form;
  ValueEffect effect;
  form.synth = &effect;

  effect.values[0] = 1.5f;    // Mod1 beyond the slider's end
  effect.values[6] = -2.0f;   // S below the bottom
  effect.values[2] = 1.5f;    // FB1: the knob keeps what it is given
  effect.values[10] = 9.0f;   // Type: beyond the last item
  effect.values[9] = std::numeric_limits<float>::quiet_NaN();
  effect.values[8] = std::numeric_limits<float>::infinity();
  for (int tick = 0; tick < 3; ++tick) form.Timer1Timer();

  EXPECT_EQ(controls.trackBarPosition(1), 24);
  EXPECT_EQ(controls.trackBarPosition(5), 50);
  EXPECT_EQ(form.knob(1).Position(), 150);
  EXPECT_EQ(controls.radioIndex(), 2);
  EXPECT_EQ(form.knob(4).Position(), 0) << "NaN shows as 0";
  EXPECT_GT(form.knob(3).Position(), 1000000) << "infinity saturates far beyond the end";
  EXPECT_EQ(effect.writes, 0);
  EXPECT_EQ(effect.values[0], 1.5f);
}

TEST(PanelRange, NoSynthesizerMeansNothingIsReadOrWritten) {
  FakeControls controls;
  TForm1 form(controls);
  controls.form = &form;
  controls.userMoveTrackBar(1, 3);
  form.Timer1Timer();
  EXPECT_EQ(form.panelValue[kSlotMod1], 0.125f) << "the edit is still stored";
  EXPECT_EQ(controls.trackBarPosition(1), 3);
}

}  // namespace
