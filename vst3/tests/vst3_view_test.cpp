// VelaOrin.vst3's view in our host on a private Xvfb (scripts/x11-test.sh), as Ardour 7.3 drives
// it: created, framed, sized before it is attached, embedded in the host's window by its id,
// woken only through the run loop the frame offers (the panel's X connection and a timer), and
// removed. XTest moves the pointer; every wait is for a condition, bounded.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../../editor/PanelConstants.h"
#include "VelaVst3.h"
#include "Vst3TestHost.h"
#include "X11HostWindow.h"

namespace {

using namespace vst3host;
using namespace velavst3;

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

struct Vst3View : testing::Test, X11HostWindow {
  void SetUp() override {
    ASSERT_TRUE(synth.ok()) << synth.error();
    ASSERT_TRUE(openWindow()) << "the CTest entry runs this under scripts/x11-test.sh";
  }
  void TearDown() override {
    EXPECT_EQ(closeWindow(), 0) << "an X error reached the host's handler";
  }

  Ref<IPlugView> makeView() {
    Ref<IPlugView> view(synth.controller()->createView("editor"));
    if (view) view->setFrame(static_cast<IPlugFrame*>(&synth.handler()));
    return view;
  }

  // The host's run loop until `done`, for at most ten seconds.
  bool pumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      synth.handler().pump(10);
    }
    return true;
  }
  std::string& edits() { return synth.handler().edits; }

  Synth synth;
};

TEST_F(Vst3View, SizedBeforeAttachEmbeddedAndRemovedTwice) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const int32_t resizesBefore = synth.handler().resizes;
    Ref<IPlugView> view = makeView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultOk);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
    EXPECT_EQ(view->isPlatformTypeSupported(nullptr), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, 481);
    EXPECT_EQ(size.bottom - size.top, 281);
    EXPECT_EQ(view->canResize(), kResultFalse);
    ViewRect asked{10, 20, 900, 700};
    ASSERT_EQ(view->checkSizeConstraint(&asked), kResultOk);
    EXPECT_EQ(asked.right - asked.left, 481);
    EXPECT_EQ(asked.bottom - asked.top, 281);
    ViewRect fits{0, 0, 481, 281}, other{0, 0, 500, 300};
    EXPECT_EQ(view->onSize(&fits), kResultOk);
    EXPECT_EQ(view->onSize(&other), kResultFalse);
    // The content scale factor sizes the panel before it is attached, without asking the host.
    Ref<IPlugViewContentScaleSupport> scale = query<IPlugViewContentScaleSupport>(view.get());
    ASSERT_TRUE(scale);
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultOk);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right, 962);
    EXPECT_EQ(size.bottom, 562);
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultOk);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right, 481);
    EXPECT_EQ(synth.handler().resizes, resizesBefore);

    EXPECT_EQ(view->attached(parent(), "HWND"), kResultFalse);
    ASSERT_EQ(view->attached(parent(), "X11EmbedWindowID"), kResultOk);
    EXPECT_EQ(synth.handler().handlers(), 1u) << "the panel's X connection";
    EXPECT_EQ(synth.handler().timers(), 1u);
    ASSERT_TRUE(pumpUntil([&] {
      const std::vector<Window> panel = children();
      XWindowAttributes a{};
      return panel.size() == 1 && XGetWindowAttributes(display, panel[0], &a) != 0 &&
             a.map_state == IsViewable && a.width == 481 && a.height == 281;
    }));
    // A new factor while attached goes to the host's resizeView, and the panel follows.
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultOk);
    EXPECT_EQ(synth.handler().resizes, resizesBefore + 1);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right, 722);
    EXPECT_EQ(size.bottom, 422);
    ASSERT_TRUE(pumpUntil([&] {
      const std::vector<Window> panel = children();
      XWindowAttributes a{};
      return panel.size() == 1 && XGetWindowAttributes(display, panel[0], &a) != 0 &&
             a.width == 722 && a.height == 422;
    }));
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultOk);
    EXPECT_EQ(synth.handler().resizes, resizesBefore + 2);
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(synth.handler().handlers(), 0u);
    EXPECT_EQ(synth.handler().timers(), 0u);
    EXPECT_TRUE(children().empty());
    view->setFrame(nullptr);
  }
  // Hosts also create a view only to ask what it supports, and release it unattached.
  Ref<IPlugView> asked = makeView();
  EXPECT_EQ(asked->isPlatformTypeSupported("X11EmbedWindowID"), kResultOk);
}

// A drag on the FB1 knob reaches the host as one whole gesture through the component handler,
// and the controller holds the value; a host's change moves the panel, which writes nothing.
TEST_F(Vst3View, ADragIsOneGestureAndHostChangesAreNotWrittenBack) {
  Ref<IPlugView> view = makeView();
  ASSERT_EQ(view->attached(parent(), "X11EmbedWindowID"), kResultOk);
  ASSERT_TRUE(pumpUntil([&] { return children().size() == 1; }));
  moveTo(100, 100);  // the FB1 knob at (88, 88): 10 px right is +5 steps of 100
  button(1, true);
  moveTo(110, 100);
  button(1, false);
  ASSERT_TRUE(pumpUntil([&] { return edits().find("end") != std::string::npos; })) << edits();
  EXPECT_EQ(edits(), "begin 2; perform 2 " + number(0.05f) + "; end 2; ");
  EXPECT_EQ(synth.controller()->getParamNormalized(kFB1), 0.05f);

  // Mod1 set by the host: the slider follows at the panel's next poll; a page click left of the
  // thumb then starts from round(0.3 × 24) = 7.
  edits().clear();
  synth.controller()->setParamNormalized(kMod1, 0.3);
  const auto pollDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * kPollIntervalMs);
  pumpUntil([&] { return std::chrono::steady_clock::now() >= pollDue; });
  EXPECT_EQ(edits(), "");
  moveTo(30, 66);
  button(1, true);
  button(1, false);
  ASSERT_TRUE(pumpUntil([&] { return edits().find("end") != std::string::npos; })) << edits();
  EXPECT_EQ(edits(), "begin 0; perform 0 " + number(static_cast<float>(5.0 / 24.0)) + "; end 0; ");
  view->removed();
}

// A program change on the controller asks the host to re-read the values, but only later, from
// the view's timer: never inside the host's call (Ardour 7.3 holds a lock there).
TEST_F(Vst3View, TheRestartAfterAProgramChangeComesFromTheTimer) {
  Ref<IPlugView> view = makeView();
  ASSERT_EQ(view->attached(parent(), "X11EmbedWindowID"), kResultOk);
  synth.controller()->setParamNormalized(kProgramId, 1 / 31.0);
  EXPECT_TRUE(synth.handler().restarts.empty());
  ASSERT_TRUE(pumpUntil([&] { return !synth.handler().restarts.empty(); }));
  EXPECT_EQ(synth.handler().restarts, std::vector<int32_t>{kParamValuesChanged});
  EXPECT_EQ(synth.controller()->getParamNormalized(kCutOff), kParameters[kCutOff].ethDrm);
  view->removed();
}

}  // namespace
