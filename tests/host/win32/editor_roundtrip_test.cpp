// Edits travel both ways: a user's edit on a control reaches the synthesizer and the host as one
// whole gesture (begin edit, automation, end edit); the host's changes reach the controls within
// a poll tick and write nothing back.
#include "GuiSupport.h"

#include <commctrl.h>

#include "../../../editor/win32/VelaWindows.h"

namespace {

class Win32EditorRoundTrip : public EditorWindowTest {
 protected:
  void SetUp() override {
    EditorWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(openEditor(host), 1);
    ASSERT_NE(panel, nullptr);
    waitForTick();  // the first tick settles the panel on the synthesizer's values
    clearCalls();
  }

  // What a drag of the thumb looks like to the panel: the slider moves, then tells its parent.
  void userDragsSlider(HWND slider, int position) {
    const UINT message =
        (GetWindowLongPtrW(slider, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(GetParent(slider), message, MAKEWPARAM(TB_THUMBTRACK, position),
                 reinterpret_cast<LPARAM>(slider));
    SendMessageW(GetParent(slider), message, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(slider));
    SendMessageW(GetParent(slider), message, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(slider));
  }

  // Exactly one gesture on `index` writing `value`, and the synthesizer holds it.
  void expectOneWrite(int32_t index, float value) {
    EXPECT_EQ(edits(), gestureText(index, {value}));
    EXPECT_EQ(parameter(index), value);
  }
  std::string edits() const { return RecordingHost::instance().edits(); }

  LRESULT knobPosition(const char* name) {
    return SendMessageW(control(name), velawin::TKM_GETPOS, 0, 0);
  }

  POINT centreOnScreen(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
};

TEST_F(Win32EditorRoundTrip, SliderDragsWriteTheirGridValueOnce) {
  struct Case {
    const char* slider;
    int32_t index;
    int position;
    float value;
  };
  const Case cases[] = {
      {"TrackBar1", 0, 7, static_cast<float>(7.0 / 24.0)},
      {"TrackBar2", 1, 24, 1.0f},
      {"TrackBar3", 4, 0, 1.0f},   // top of an envelope slider
      {"TrackBar4", 5, 50, 0.0f},  // bottom
      {"TrackBar5", 6, 0, 1.0f},
      {"TrackBar6", 7, 20, 0.6f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slider);
    clearCalls();
    userDragsSlider(control(c.slider), c.position);
    expectOneWrite(c.index, c.value);
    // A drag that ends where it started is a gesture without a write; the tick writes nothing.
    userDragsSlider(control(c.slider), c.position);
    waitForTick();
    EXPECT_EQ(edits(), gestureText(c.index, {c.value}) + gestureText(c.index, {}));
    EXPECT_EQ(SendMessageW(control(c.slider), TBM_GETPOS, 0, 0), c.position);
  }
}

TEST_F(Win32EditorRoundTrip, KeyboardStepsComeFromTheSliderItself) {
  HWND mod1 = control("TrackBar1");
  SendMessageW(mod1, TBM_SETPOS, TRUE, 12);
  SendMessageW(mod1, WM_KEYDOWN, VK_RIGHT, 0);  // one line: +1
  SendMessageW(mod1, WM_KEYUP, VK_RIGHT, 0);
  expectOneWrite(0, static_cast<float>(13.0 / 24.0));

  clearCalls();
  HWND attack = control("TrackBar3");
  const LRESULT before = SendMessageW(attack, TBM_GETPOS, 0, 0);
  SendMessageW(attack, WM_KEYDOWN, VK_NEXT, 0);  // one page down: +1, towards the value 0
  SendMessageW(attack, WM_KEYUP, VK_NEXT, 0);
  EXPECT_EQ(SendMessageW(attack, TBM_GETPOS, 0, 0), before + 1);
  expectOneWrite(4, static_cast<float>((50.0 - static_cast<double>(before + 1)) / 50.0));
}

TEST_F(Win32EditorRoundTrip, CheckBoxAndRadioClicksWriteTheirValues) {
  struct Case {
    const char* button;
    int32_t index;
    float value;
  };
  const Case cases[] = {
      {"CheckBox2", 13, 0.0f},         {"CheckBox2", 13, 1.0f},
      {"CheckBox1", 12, 0.0f},         {"RadioGroup1.Item2", 10, 1.0f},
      {"RadioGroup1.Item1", 10, 0.5f}, {"RadioGroup1.Item0", 10, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.button) + " -> " + std::to_string(c.value));
    clearCalls();
    SendMessageW(control(c.button), BM_CLICK, 0, 0);
    expectOneWrite(c.index, c.value);
    waitForTick();
    EXPECT_EQ(edits(), gestureText(c.index, {c.value})) << "the tick must not write it back";
  }
  // Clicking the radio item that is already selected changes nothing.
  clearCalls();
  SendMessageW(control("RadioGroup1.Item0"), BM_CLICK, 0, 0);
  EXPECT_EQ(edits(), "");
}

TEST_F(Win32EditorRoundTrip, KnobDragWithTheMouseWritesEveryStep) {
  HWND knob = control("Tsumami1");  // FB1, index 2
  ASSERT_NE(knob, nullptr);
  const LRESULT start = knobPosition("Tsumami1");
  const POINT c = centreOnScreen(knob);
  ASSERT_TRUE(SetCursorPos(c.x, c.y));
  SendMessageW(knob, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 12));
  EXPECT_EQ(GetCapture(), knob);
  EXPECT_EQ(SendMessageW(knob, velawin::TKM_GETDRAGGING, 0, 0), 1);
  EXPECT_EQ(edits(), "begin 2; ") << "a press opens the gesture and writes nothing";

  // 20 right and 10 up: +10 and +5.
  const float moved = static_cast<float>(static_cast<double>(start + 15) / 100.0);
  ASSERT_TRUE(SetCursorPos(c.x + 20, c.y - 10));
  SendMessageW(knob, WM_MOUSEMOVE, MK_LBUTTON, 0);
  EXPECT_EQ(knobPosition("Tsumami1"), start + 15);
  EXPECT_EQ(parameter(2), moved);

  // The cursor leaves the knob far to the left and below: the value stops at 0.
  ASSERT_TRUE(SetCursorPos(c.x - 300, c.y + 300));
  SendMessageW(knob, WM_MOUSEMOVE, MK_LBUTTON, 0);
  EXPECT_EQ(knobPosition("Tsumami1"), 0);
  EXPECT_EQ(parameter(2), 0.0f);

  SendMessageW(knob, WM_LBUTTONUP, 0, 0);
  EXPECT_NE(GetCapture(), knob);
  EXPECT_EQ(SendMessageW(knob, velawin::TKM_GETDRAGGING, 0, 0), 0);
  EXPECT_EQ(edits(), gestureText(2, {moved, 0.0f}));
  // Moves after the release do nothing.
  clearCalls();
  ASSERT_TRUE(SetCursorPos(c.x + 40, c.y));
  SendMessageW(knob, WM_MOUSEMOVE, 0, 0);
  waitForTick();
  EXPECT_EQ(edits(), "");
  EXPECT_EQ(knobPosition("Tsumami1"), 0);
}

TEST_F(Win32EditorRoundTrip, KnobDragFromPostedMessagesAndADoubleClick) {
  HWND knob = control("Tsumami5");  // Env, index 11
  ASSERT_NE(knob, nullptr);
  const LRESULT start = knobPosition("Tsumami5");
  const POINT c = centreOnScreen(knob);
  ASSERT_TRUE(SetCursorPos(c.x, c.y));
  // The second press of a double-click starts a drag as well.
  PostMessageW(knob, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(16, 16));
  pumpMessages(30);
  ASSERT_EQ(GetCapture(), knob);
  ASSERT_TRUE(SetCursorPos(c.x - 6, c.y));
  PostMessageW(knob, WM_MOUSEMOVE, MK_LBUTTON, 0);
  pumpMessages(30);
  EXPECT_EQ(knobPosition("Tsumami5"), start - 3);
  PostMessageW(knob, WM_LBUTTONUP, 0, 0);
  pumpMessages(30);
  EXPECT_NE(GetCapture(), knob);
  const float moved = static_cast<float>(static_cast<double>(start - 3) / 100.0);
  EXPECT_EQ(parameter(11), moved);
  EXPECT_EQ(edits(), gestureText(11, {moved}));
}

TEST_F(Win32EditorRoundTrip, HostChangesMoveTheControlsAndWriteNothingBack) {
  struct Case {
    int32_t index;
    float value;
    const char* control;
    LRESULT shown;  // slider or knob position; check state 1/0; selected radio item
  };
  const Case cases[] = {
      {0, 0.3f, "TrackBar1", 7},  // round(7.2)
      {1, 1.0f, "TrackBar2", 24},   {2, 0.37f, "Tsumami1", 37},
      {3, 0.125f, "Tsumami2", 12},  // round(12.5), ties to even
      {4, 0.3f, "TrackBar3", 35},   // 50 - 15
      {5, 0.25f, "TrackBar4", 38},  // 50 - round(12.5), ties to even
      {6, 0.5f, "TrackBar5", 25},   {7, 0.0f, "TrackBar6", 50},
      {8, 0.8f, "Tsumami3", 80},    {9, 1.0f, "Tsumami4", 100},
      {10, 0.3f, "RadioGroup1", 1},                              // round(0.6): BandPass
      {11, 0.02f, "Tsumami5", 2},   {12, 0.5f, "CheckBox1", 0},  // round(0.5) = 0
      {13, 0.2f, "CheckBox2", 0},
  };
  for (const Case& c : cases) hostSets(c.index, c.value);
  waitForTick();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    HWND hwnd = control(c.control);
    if (hwnd == nullptr) continue;
    const std::string kind = className(hwnd);
    LRESULT shown = -1;
    if (kind == "msctls_trackbar32") {
      shown = SendMessageW(hwnd, TBM_GETPOS, 0, 0);
    } else if (kind == velawin::kKnobClassName) {
      shown = SendMessageW(hwnd, velawin::TKM_GETPOS, 0, 0);
    } else if (std::string(c.control) == "RadioGroup1") {
      const std::vector<HWND> items = childrenInZOrder(hwnd);
      for (size_t i = 0; i < items.size(); ++i)
        if (SendMessageW(items[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
          shown = static_cast<LRESULT>(i);
    } else {
      shown = SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    }
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(parameter(c.index), c.value) << "the host's exact value stays";
  }
  EXPECT_EQ(edits(), "") << "following the host must not automate or touch";

  // A checked value shows checked again.
  hostSets(12, 0.7f);
  waitForTick();
  EXPECT_EQ(SendMessageW(control("CheckBox1"), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(edits(), "");
}

TEST_F(Win32EditorRoundTrip, NewPanelShowsDesignedPositionsUntilItsFirstTick) {
  dispatch(effect, effEditClose);
  hostSets(0, 0.3f);
  // No messages pumped in between: a tick must not sneak in before the first look.
  ASSERT_EQ(dispatch(effect, effEditOpen, 0, 0, host), 1);
  panel = findPanel(host);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(SendMessageW(control("TrackBar1"), TBM_GETPOS, 0, 0), 12);
  waitForTick();
  EXPECT_EQ(SendMessageW(control("TrackBar1"), TBM_GETPOS, 0, 0), 7);
  EXPECT_EQ(parameter(0), 0.3f);
  EXPECT_EQ(edits(), "");
}

TEST_F(Win32EditorRoundTrip, AKnobBeingDraggedIgnoresTheHost) {
  HWND knob = control("Tsumami3");  // CutOff, index 8
  ASSERT_NE(knob, nullptr);
  const LRESULT start = knobPosition("Tsumami3");
  const POINT c = centreOnScreen(knob);
  ASSERT_TRUE(SetCursorPos(c.x, c.y));
  SendMessageW(knob, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(16, 16));

  hostSets(8, 0.9f);
  waitForTick();
  EXPECT_EQ(knobPosition("Tsumami3"), start) << "held knobs stay where the user holds them";
  EXPECT_EQ(parameter(8), 0.9f);
  EXPECT_EQ(edits(), "begin 8; ");

  // The next move writes the knob's own value again.
  ASSERT_TRUE(SetCursorPos(c.x + 2, c.y));
  SendMessageW(knob, WM_MOUSEMOVE, MK_LBUTTON, 0);
  SendMessageW(knob, WM_LBUTTONUP, 0, 0);
  expectOneWrite(8, static_cast<float>(static_cast<double>(start + 1) / 100.0));

  // Released, it follows the host again.
  clearCalls();
  hostSets(8, 0.9f);
  waitForTick();
  EXPECT_EQ(knobPosition("Tsumami3"), 90);
  EXPECT_EQ(edits(), "");
}

TEST_F(Win32EditorRoundTrip, LosingTheMouseOrTheEditorEndsTheDrag) {
  HWND knob = control("Tsumami2");
  ASSERT_NE(knob, nullptr);
  const POINT c = centreOnScreen(knob);
  ASSERT_TRUE(SetCursorPos(c.x, c.y));
  SendMessageW(knob, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 12));
  ASSERT_EQ(SendMessageW(knob, velawin::TKM_GETDRAGGING, 0, 0), 1);
  SetCapture(host);  // a menu or a dialog of the host takes the mouse
  EXPECT_EQ(SendMessageW(knob, velawin::TKM_GETDRAGGING, 0, 0), 0);
  ReleaseCapture();
  EXPECT_EQ(edits(), gestureText(3, {}));
  // So the host can move it again.
  hostSets(3, 0.64f);
  waitForTick();
  EXPECT_EQ(knobPosition("Tsumami2"), 64);

  // A slider's thumb dragged with the mouse, then the mouse taken away: the slider ends the
  // drag, and with it the gesture.
  clearCalls();
  HWND mod1 = control("TrackBar1");
  RECT thumb{};
  SendMessageW(mod1, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const int y = (thumb.top + thumb.bottom) / 2;
  SendMessageW(mod1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((thumb.left + thumb.right) / 2, y));
  SendMessageW(mod1, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(thumb.right + 30, y));
  const LRESULT dragged = SendMessageW(mod1, TBM_GETPOS, 0, 0);
  EXPECT_GT(dragged, 12);
  SetCapture(host);
  ReleaseCapture();
  EXPECT_EQ(edits(), gestureText(0, {static_cast<float>(static_cast<double>(dragged) / 24.0)}));

  // The editor closed in the middle of a knob drag: the gesture ends with it.
  clearCalls();
  SendMessageW(knob, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 12));
  dispatch(effect, effEditClose);
  panel = nullptr;
  EXPECT_EQ(edits(), gestureText(3, {}));
}

}  // namespace
