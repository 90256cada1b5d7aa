// A small X11 host: a top-level window of its own as the parent, the plug-in loaded through
// VSTPluginMain, the editor opcodes sent as hosts send them and idle calls. Runs under the Xvfb
// that its CTest entry starts; XTest moves the pointer and presses buttons.
// No wait depends on the machine's speed: the panel's idle starts with a round trip to the
// server, so input sent (and synced) before an idle call is handled by that call, and the panel
// polls the parameters at the first idle call at least one poll interval after a change.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include <cairo.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../../../editor/PanelConstants.h"
#include "DAEffectX.h"
#include "PluginLoader.h"
#include "RecordingHost.h"

namespace {

int hostErrors = 0;
int countingHandler(Display*, XErrorEvent*) {
  ++hostErrors;
  return 0;
}

size_t openFileDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

struct Click {
  const char* what;
  int x, y;        // panel pixels where the button goes down
  int dx, dy;      // drag before the release (0, 0: a plain click)
  unsigned button;  // 1 left, 4 wheel up
  int32_t index;   // parameter of the one gesture expected
  float value;     // its one write
};

struct X11Host : testing::Test {
  void SetUp() override {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "the CTest entry runs this under scripts/x11-test.sh";
    hostErrors = 0;
    previousHandler = XSetErrorHandler(&countingHandler);
    top = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, 600, 400, 0, 0,
                              WhitePixel(display, DefaultScreen(display)));
    XMapWindow(display, top);
    XSync(display, False);
    RecordingHost::instance().reset();
    effect = builtPlugin().entry("VSTPluginMain")(&RecordingHost::callback);
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect != nullptr) dispatch(effect, effClose);
    if (display != nullptr) {
      XDestroyWindow(display, top);
      XSync(display, False);
      EXPECT_EQ(hostErrors, 0) << "an X error reached the host's handler";
      XSetErrorHandler(previousHandler);
      XCloseDisplay(display);
    }
  }

  void* parent() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(top)); }
  intptr_t open() { return dispatch(effect, effEditOpen, 0, 0, parent()); }

  // One idle call: handles everything sent to the panel so far.
  void settle() { dispatch(effect, effEditIdle); }
  // Idle calls every 10 ms until one that starts a poll interval after now, which polls.
  void idleThroughAPoll() {
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollIntervalMs);
    for (;;) {
      const bool last = std::chrono::steady_clock::now() >= due;
      dispatch(effect, effEditIdle);
      if (last) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::vector<Window> children(Window window) {
    XSync(display, False);
    Window root = 0, parentWindow = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, window, &root, &parentWindow, &list, &count) != 0) {
      out.assign(list, list + count);
      if (list != nullptr) XFree(list);
    }
    return out;
  }

  // Pointer input at panel pixel (x, y).
  void moveTo(int x, int y) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, top, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, 0);
    XSync(display, False);
    settle();
  }
  void button(unsigned number, bool down) {
    XTestFakeButtonEvent(display, number, down ? True : False, 0);
    XSync(display, False);
    settle();
  }
  void perform(const Click& c) {
    moveTo(c.x, c.y);
    button(c.button, true);
    if (c.dx != 0 || c.dy != 0) moveTo(c.x + c.dx, c.y + c.dy);
    button(c.button, false);
  }

  std::string edits() { return RecordingHost::instance().edits(); }

  Display* display = nullptr;
  XErrorHandler previousHandler = nullptr;
  Window top = 0;
  AEffect* effect = nullptr;
};

TEST_F(X11Host, PanelIsAMappedChildOfTheHostWindowAndItsSizeIsKnownBeforeOpen) {
  EXPECT_NE(effect->flags & effFlagsHasEditor, 0);
  ERect* rect = nullptr;
  ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 481);
  EXPECT_EQ(rect->bottom, 281);

  ASSERT_EQ(open(), 1);
  settle();
  const std::vector<Window> panel = children(top);
  ASSERT_EQ(panel.size(), 1u);
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(display, panel[0], &a), 0);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(a.width, 481);
  EXPECT_EQ(a.height, 281);
  EXPECT_EQ(a.map_state, IsViewable);
  ERect* after = nullptr;
  ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &after), 1);
  EXPECT_EQ(after->right, 481);
  EXPECT_EQ(after->bottom, 281);

  // What the window shows; scripts/show-panel.sh keeps it as a picture.
  XImage* image = XGetImage(display, panel[0], 0, 0, 481, 281, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(XGetPixel(image, 2, 100) & 0xFFFFFF, 0xF0F0F0u) << "button face, opaque";
  if (const char* png = std::getenv("VELA_PANEL_PNG")) {
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 481, 281);
    auto* rows = cairo_image_surface_get_data(shot);
    const int stride = cairo_image_surface_get_stride(shot);
    for (int y = 0; y < 281; ++y)
      for (int x = 0; x < 481; ++x)
        reinterpret_cast<uint32_t*>(rows + y * stride)[x] =
            static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    cairo_surface_mark_dirty(shot);
    EXPECT_EQ(cairo_surface_write_to_png(shot, png), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(shot);
  }
  XDestroyImage(image);
  EXPECT_EQ(dispatch(effect, effEditClose), 0);
  EXPECT_TRUE(children(top).empty());
}

// Pointer input on each kind of control reaches the host as one whole gesture (begin edit, the
// automation with the mapped value, end edit). Places are panel pixels worked out by hand from
// the nested group boxes.
TEST_F(X11Host, PointerInputReachesTheHostAsAGestureWithTheMappedValue) {
  const Click clicks[] = {
      // FB1 knob at (88, 88): 10 px right is +5, then far outside the window (the drag keeps
      // going while the button is held) is the top of the range.
      {"knob drag", 100, 100, 10, 0, 1, 2, 0.05f},
      {"knob drag leaving the panel", 100, 100, 700, -50, 1, 2, 1.0f},
      // Mod1 slider at (24, 48): a click left of the thumb pages from 12 to 10.
      {"slider page", 30, 66, 0, 0, 1, 0, static_cast<float>(10.0 / 24.0)},
      // S slider at (400, 32), thumb at 25: dragging it to the top is the value 1.
      {"slider thumb drag", 416, 88, 0, -200, 1, 6, 1.0f},
      // A slider at (336, 32), position 45: the wheel steps one line up.
      {"slider wheel", 352, 60, 0, 0, 4, 4, 0.12f},
      {"check box", 40, 128, 0, 0, 1, 12, 0.0f},
      {"radio HiPass", 30, 250, 0, 0, 1, 10, 1.0f},
      {"radio BandPass", 30, 229, 0, 0, 1, 10, 0.5f},
  };
  ASSERT_EQ(open(), 1);
  idleThroughAPoll();
  ASSERT_EQ(edits(), "") << "an idle panel writes nothing";
  for (const Click& c : clicks) {
    SCOPED_TRACE(c.what);
    RecordingHost::instance().calls.clear();
    perform(c);
    EXPECT_EQ(edits(), gestureText(c.index, {c.value}));
    EXPECT_EQ(effect->getParameter(effect, c.index), c.value);
  }
}

// A knob drag whose release never reaches the panel (unmapped, it loses the pointer grab and the
// release goes elsewhere) ends its gesture once the button is up. The host destroying its window
// mid-drag: below.
TEST_F(X11Host, ADragWhoseReleaseIsLostStillEndsItsGesture) {
  ASSERT_EQ(open(), 1);
  settle();
  moveTo(100, 100);  // the FB1 knob
  button(1, true);
  moveTo(110, 100);
  XUnmapWindow(display, top);
  XSync(display, False);
  settle();
  button(1, false);
  XMapWindow(display, top);
  XSync(display, False);
  settle();
  EXPECT_EQ(edits(), gestureText(2, {effect->getParameter(effect, 2)}));
}

TEST_F(X11Host, HostChangesMoveTheControlsWithinOnePollAndWriteNothingBack) {
  ASSERT_EQ(open(), 1);
  settle();
  effect->setParameter(effect, 0, 0.3f);  // Mod1: the slider goes to round(7.2) = 7
  RecordingHost::instance().calls.clear();
  idleThroughAPoll();
  EXPECT_EQ(edits(), "");
  EXPECT_EQ(effect->getParameter(effect, 0), 0.3f) << "the host's exact value stays";
  // A page click left of the thumb now starts from 7.
  perform({"", 30, 66, 0, 0, 1, 0, 0.0f});
  EXPECT_EQ(edits(), gestureText(0, {static_cast<float>(5.0 / 24.0)}));
}

TEST_F(X11Host, InvalidParentsAndMissingDisplaysAnswerZeroQuietly) {
  Window gone = XCreateSimpleWindow(display, top, 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(display, gone);
  XSync(display, False);
  const size_t fds = openFileDescriptors();
  for (uintptr_t bad : {static_cast<uintptr_t>(gone), uintptr_t{0x7FFFFF0}}) {
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(bad)), 0);
    EXPECT_EQ(XSetErrorHandler(&countingHandler), &countingHandler) << "host's handler is back";
  }

  const std::string saved = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  EXPECT_EQ(open(), 0) << "no DISPLAY";
  char socket[64], name[16];
  for (int n = 1;; ++n) {  // a display number no server listens on
    std::snprintf(socket, sizeof socket, "/tmp/.X11-unix/X%d", n);
    std::snprintf(name, sizeof name, ":%d", n);
    if (!std::filesystem::exists(socket)) break;
  }
  setenv("DISPLAY", name, 1);
  EXPECT_EQ(open(), 0) << "no server";
  setenv("DISPLAY", saved.c_str(), 1);

  EXPECT_EQ(dispatch(effect, effEditIdle), 0) << "idle with no editor";
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children(top).empty());
}

TEST_F(X11Host, OpenCloseCyclesLeaveNothingBehind) {
  // The first cycle loads fonts and caches for good; count from the second.
  ASSERT_EQ(open(), 1);
  settle();
  dispatch(effect, effEditClose);
  const size_t fds = openFileDescriptors();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(open(), 1) << "cycle " << i;
    dispatch(effect, effEditIdle);
    dispatch(effect, effEditClose);
  }
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children(top).empty());

  // Closing the plug-in with the editor open takes the panel and its connection away first.
  ASSERT_EQ(open(), 1);
  settle();
  EXPECT_EQ(children(top).size(), 1u);
  EXPECT_EQ(dispatch(effect, effClose), 1);
  effect = nullptr;
  EXPECT_TRUE(children(top).empty());
  EXPECT_EQ(openFileDescriptors(), fds);
}

TEST_F(X11Host, HostDestroyingItsWindowUnderAnOpenPanelRaisesNoErrorAndEndsTheDrag) {
  ASSERT_EQ(open(), 1);
  settle();
  moveTo(100, 100);
  button(1, true);
  moveTo(110, 100);
  XDestroyWindow(display, top);
  XSync(display, False);
  idleThroughAPoll();  // events, a poll and a repaint with the window gone
  EXPECT_EQ(edits(), gestureText(2, {effect->getParameter(effect, 2)}));
  button(1, false);
  dispatch(effect, effEditClose);
  top = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
}

}  // namespace
