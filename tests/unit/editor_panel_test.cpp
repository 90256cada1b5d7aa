#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Unit1.h"
#include "editor_fakes.h"

namespace {

// A panel on a link that records what it is asked.
struct PanelFixture : testing::Test {
  PanelFixture() { form.setLink(&link); }

  int32_t knobPosition(int32_t n) { return form.knob(n).Position(); }

  RecordingLink link;
  FakeControls controls;
  TForm1 form{controls};
};

TEST_F(PanelFixture, NewPanelShowsTheDesignedPositionsUntilTheFirstTick) {
  EXPECT_EQ(controls.trackBars, kTrackBarDesigned);
  for (int32_t n = 1; n <= kKnobCount; ++n) EXPECT_EQ(knobPosition(n), kKnobDesigned[n - 1]);
  EXPECT_EQ(form.panelValue, (std::array<float, kSlotCount>{0.5f, 0.0f, 0.0f, 0.5f, 0.5f, 0.0f,
                                                            0.0f, 0.1f, 0.1f, 0.5f, 0.1f, 0.5f,
                                                            1.0f, 1.0f}));

  for (const ParameterInfo& p : kParameters) link.values[p.index] = p.ethDrm;  // program 1
  form.FormPaint();  // a repaint alone does not look at the link
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
  EXPECT_EQ(link.text(), "") << "following the link writes nothing back and touches nothing";
}

TEST_F(PanelFixture, IdlePanelWritesNothing) {
  for (int tick = 0; tick < 3; ++tick) form.Timer1Timer();
  EXPECT_EQ(link.text(), "");
  EXPECT_EQ(controls.trackBars, kTrackBarDesigned);
}

struct EditRow {
  const char* name;
  std::function<void(FakeControls&, TForm1&)> edit;
  int32_t index;
  std::vector<float> written;  // inside one gesture; none: the gesture writes nothing
  bool click = false;          // done again, it writes and begins nothing
};

// A press at (500, 400), the moves (offsets from it), the release.
std::function<void(FakeControls&, TForm1&)> knobDrag(int32_t n, std::vector<KnobPoint> moves) {
  return [n, moves](FakeControls&, TForm1& f) {
    f.knob(n).MouseDown({500, 400});
    for (const KnobPoint& m : moves) f.knob(n).MouseMove({500 + m.x, 400 + m.y});
    f.knob(n).MouseUp();
  };
}
// The thumb taken, moved to each position, let go.
std::function<void(FakeControls&, TForm1&)> thumbDrag(int32_t n, std::vector<int32_t> positions) {
  return [n, positions](FakeControls& c, TForm1& f) {
    f.beginGesture(TForm1::ControlKind::TrackBar, n);
    for (int32_t p : positions) c.userMoveTrackBar(n, p);
    f.endGesture(TForm1::ControlKind::TrackBar, n);
  };
}
std::function<void(FakeControls&, TForm1&)> step(int32_t n, int32_t position) {
  return [n, position](FakeControls& c, TForm1&) { c.userMoveTrackBar(n, position); };
}

// A drag is one gesture from press to release with a write for each new grid value, in order; a
// click or a step is a gesture of its own. The next tick writes nothing back.
TEST_F(PanelFixture, UserEditsAreWholeGesturesWithTheGridValues) {
  const auto f = [](double v) { return static_cast<float>(v); };
  const std::vector<EditRow> rows = {
      {"FB1 knob up 33 steps, then one more", knobDrag(1, {{0, -66}, {0, -68}}), 2,
       {0.33f, 0.34f}},
      {"FB2 knob past its end holds 1", knobDrag(2, {{300, 0}, {302, 0}}), 3, {1.0f}},
      {"CutOff knob down to 7", knobDrag(3, {{-86, 0}}), 8, {0.07f}},
      {"Q knob to 99", knobDrag(4, {{198, 0}}), 9, {0.99f}},
      {"Env knob to 0", knobDrag(5, {{0, 100}}), 11, {0.0f}},
      {"CutOff knob held without moving", knobDrag(3, {}), 8, {}},
      {"Mod1 thumb through 10 and 7", thumbDrag(1, {10, 7, 7}), 0, {f(10.0 / 24), f(7.0 / 24)}},
      {"A thumb to 10", thumbDrag(3, {10}), 4, {0.8f}},
      {"R thumb to 49", thumbDrag(6, {49}), 7, {0.02f}},
      {"Mod2 slider stepped to 24", step(2, 24), 1, {1.0f}, true},
      {"S slider stepped to its top", step(5, 0), 6, {1.0f}, true},
      {"S slider stepped to its bottom", step(5, 50), 6, {0.0f}, true},
      {"HiPass", [](FakeControls& c, TForm1&) { c.setRadioIndex(2); }, 10, {1.0f}, true},
      {"BandPass", [](FakeControls& c, TForm1&) { c.setRadioIndex(1); }, 10, {0.5f}, true},
      {"Sync Carr off", [](FakeControls& c, TForm1&) { c.setChecked(1, false); }, 12, {0.0f},
       true},
      {"Sync Mod1 off", [](FakeControls& c, TForm1&) { c.setChecked(2, false); }, 13, {0.0f},
       true},
      {"Sync Mod1 on again", [](FakeControls& c, TForm1&) { c.setChecked(2, true); }, 13, {1.0f},
       true},
  };
  for (const EditRow& row : rows) {
    SCOPED_TRACE(row.name);
    link.calls.clear();
    row.edit(controls, form);
    EXPECT_EQ(link.text(), gestureText(row.index, row.written));
    if (!row.written.empty()) {
      EXPECT_EQ(link.values[static_cast<size_t>(row.index)], row.written.back());
    }
    link.calls.clear();
    if (row.click) row.edit(controls, form);
    form.Timer1Timer();
    EXPECT_EQ(link.text(), "");
  }
}

// However a drag is cut short, its gesture ends, once.
TEST(PanelGestures, InterruptedDragsStillEndTheirGesture) {
  using Interrupt = void (*)(std::unique_ptr<TForm1>&);
  const std::pair<const char*, Interrupt> rows[] = {
      {"the panel goes away", [](std::unique_ptr<TForm1>& f) { f.reset(); }},
      {"the mouse is lost", [](std::unique_ptr<TForm1>& f) { f->endGestures(); }},
      {"the link is replaced", [](std::unique_ptr<TForm1>& f) { f->setLink(nullptr); }},
  };
  for (const auto& [name, interrupt] : rows) {
    SCOPED_TRACE(name);
    RecordingLink link;
    FakeControls controls;
    auto form = std::make_unique<TForm1>(controls);
    form->setLink(&link);
    form->Tsumami3.MouseDown({0, 0});
    form->Tsumami3.MouseMove({10, 0});
    form->beginGesture(TForm1::ControlKind::TrackBar, 2);
    controls.userMoveTrackBar(2, 20);
    interrupt(form);
    if (form) form->Tsumami3.MouseUp();  // the knob's own release, late, ends nothing twice
    EXPECT_EQ(link.text(), "begin 8; automate 8 0.550000012; begin 1; automate 1 0.833333313; "
                           "end 1; end 8; ");
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
    link.values[static_cast<size_t>(row.index)] = row.hostValue;
    form.Timer1Timer();
    EXPECT_EQ(row.shown(controls, form), row.expected);
    EXPECT_EQ(link.text(), "");
    EXPECT_EQ(link.values[static_cast<size_t>(row.index)], row.hostValue)
        << "the host's exact value stays";
  }
}

TEST_F(PanelFixture, HeldKnobIgnoresTheHostAndTheNextMoveWritesAgain) {
  form.Tsumami3.MouseDown({200, 200});
  EXPECT_EQ(link.text(), "begin 8; ") << "the press opens the gesture";
  link.values[8] = 0.8f;
  form.Timer1Timer();
  EXPECT_EQ(knobPosition(3), 50) << "a knob in the user's hand is not moved";
  EXPECT_EQ(form.panelValue[kSlotCutOff], 0.8f);
  EXPECT_EQ(link.text(), "begin 8; ");

  form.Tsumami3.MouseMove({201, 200});  // still 50
  EXPECT_EQ(link.values[8], 0.5f);

  form.Tsumami3.MouseUp();
  form.Timer1Timer();
  EXPECT_EQ(knobPosition(3), 50);
  EXPECT_EQ(link.text(), gestureText(8, {0.5f}));
}

TEST_F(PanelFixture, PanelMovesControlsInTheDesignedOrder) {
  std::vector<int32_t> order;
  struct Spy : FakeControls {
    std::vector<int32_t>* log = nullptr;
    void showTrackBarPosition(int32_t n, int32_t p) override {
      log->push_back(n <= 2 ? n - 1 : n + 1);  // host index of TrackBar<n>
      FakeControls::showTrackBarPosition(n, p);
    }
    void showRadioIndex(int32_t i) override {
      log->push_back(10);
      FakeControls::showRadioIndex(i);
    }
    void showChecked(int32_t n, bool s) override {
      log->push_back(11 + n);
      FakeControls::showChecked(n, s);
    }
  } spy;
  spy.log = &order;
  TForm1 spied(spy);
  spied.setLink(&link);
  const int32_t knobIndex[kKnobCount] = {2, 3, 8, 9, 11};
  for (int32_t n = 1; n <= kKnobCount; ++n)
    spied.knob(n).OnChange = [&order, i = knobIndex[n - 1]](TTsumami&) { order.push_back(i); };

  for (const ParameterInfo& p : kParameters) link.values[p.index] = p.ethDrm;
  link.values[10] = 1.0f;
  link.values[9] = 0.5f;
  link.values[12] = 1.0f;  // already shown: not moved
  link.values[13] = 0.0f;
  link.values[3] = 0.5f;
  spied.Timer1Timer();
  EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 10, 8, 9, 11, 13}));
}

// Values a host may send outside 0..1 reach the panel untouched through the link.
TEST(PanelRange, ValuesOutsideTheRangeAreShownClampedOrStoredAndNeverWrittenBack) {
  FakeControls controls;
  TForm1 form(controls);
  RecordingLink link;
  form.setLink(&link);

  link.values[0] = 1.5f;    // Mod1 beyond the slider's end
  link.values[6] = -2.0f;   // S below the bottom
  link.values[2] = 1.5f;    // FB1: the knob keeps what it is given
  link.values[10] = 9.0f;   // Type: beyond the last item
  link.values[9] = std::numeric_limits<float>::quiet_NaN();
  link.values[8] = std::numeric_limits<float>::infinity();
  for (int tick = 0; tick < 3; ++tick) form.Timer1Timer();

  EXPECT_EQ(controls.trackBarPosition(1), 24);
  EXPECT_EQ(controls.trackBarPosition(5), 50);
  EXPECT_EQ(form.knob(1).Position(), 150);
  EXPECT_EQ(controls.radioIndex(), 2);
  EXPECT_EQ(form.knob(4).Position(), 0) << "NaN shows as 0";
  EXPECT_GT(form.knob(3).Position(), 1000000) << "infinity saturates far beyond the end";
  EXPECT_EQ(link.text(), "");
  EXPECT_EQ(link.values[0], 1.5f);
}

TEST(PanelRange, NoLinkMeansNothingIsReadOrWritten) {
  FakeControls controls;
  TForm1 form(controls);
  form.beginGesture(TForm1::ControlKind::TrackBar, 1);
  controls.userMoveTrackBar(1, 3);
  form.endGesture(TForm1::ControlKind::TrackBar, 1);
  form.Timer1Timer();
  EXPECT_EQ(form.panelValue[kSlotMod1], 0.125f) << "the edit is still stored";
  EXPECT_EQ(controls.trackBarPosition(1), 3);
}

}  // namespace
