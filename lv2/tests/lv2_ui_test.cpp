// VelaOrin.lv2's UI in a small X11 host of ours (no toolkit), under the Xvfb that its CTest entry
// starts: the UI binary opened from the build tree's bundle through lv2ui_descriptor, a top-level
// window as ui:parent, idle calls as suil makes them; XTest moves the pointer and presses buttons.
// No wait depends on the machine's speed: the panel's idle starts with a round trip to the
// server, so input sent (and synced) before an idle call is handled by that call, and the panel
// polls the port values at the first idle call at least one poll interval after a change.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Lv2Bundle.h"
#include "PanelConstants.h"

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

const LV2UI_Descriptor* uiDescriptor() {
  static void* library = dlopen(VELA_LV2_DIR "/VelaOrin.lv2/velaorin_ui.so", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
  return entry != nullptr ? entry(0) : nullptr;
}

// What the UI told the host, in order: "touch 2 on", "write 2 0.05", "touch 2 off", "size 481x281".
struct Recorder {
  std::vector<std::string> calls;
  static void write(LV2UI_Controller self, uint32_t port, uint32_t size, uint32_t protocol,
                    const void* buffer) {
    char text[64];
    float value = 0.0f;
    if (size == sizeof value) std::memcpy(&value, buffer, sizeof value);
    std::snprintf(text, sizeof text, "write %u %.9g size %u protocol %u", port,
                  static_cast<double>(value), size, protocol);
    static_cast<Recorder*>(self)->calls.emplace_back(text);
  }
  static void touch(LV2UI_Feature_Handle self, uint32_t port, bool grabbed) {
    static_cast<Recorder*>(self)->calls.push_back("touch " + std::to_string(port) +
                                                  (grabbed ? " on" : " off"));
  }
  static int resize(LV2UI_Feature_Handle self, int width, int height) {
    static_cast<Recorder*>(self)->calls.push_back("size " + std::to_string(width) + "x" +
                                                  std::to_string(height));
    return 0;
  }
};

std::string gesture(int32_t port, float value, bool touched) {
  char write[64];
  std::snprintf(write, sizeof write, "write %d %.9g size 4 protocol 0", port,
                static_cast<double>(value));
  const std::string p = std::to_string(port);
  return touched ? "touch " + p + " on|" + write + "|touch " + p + " off|" : std::string(write) + "|";
}

struct Click {
  const char* what;
  int x, y;        // panel pixels where the button goes down
  int dx, dy;      // drag before the release (0, 0: a plain click)
  int32_t port;    // the one port written
  float value;     // its one value
};

struct Lv2UiHost : testing::Test {
  void SetUp() override {
    descriptor = uiDescriptor();
    ASSERT_NE(descriptor, nullptr) << dlerror();
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "the CTest entry runs this under scripts/x11-test.sh";
    hostErrors = 0;
    previousHandler = XSetErrorHandler(&countingHandler);
    top = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, 600, 400, 0, 0,
                              WhitePixel(display, DefaultScreen(display)));
    XMapWindow(display, top);
    XSync(display, False);
    idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
  }
  void TearDown() override {
    close();
    if (display != nullptr) {
      XDestroyWindow(display, top);
      XSync(display, False);
      EXPECT_EQ(hostErrors, 0) << "an X error reached the host's handler";
      XSetErrorHandler(previousHandler);
      XCloseDisplay(display);
    }
  }

  // As suil passes them (ui:touch only from hosts that wire it: Ardour, Qtractor; not jalv).
  LV2UI_Handle instantiate(uintptr_t parent, bool withTouch = true, bool withParent = true) {
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resizer};
    const LV2_Feature touchFeature{LV2_UI__touch, &toucher};
    const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
    std::vector<const LV2_Feature*> features = {&resizeFeature, &idleFeature};
    if (withParent) features.push_back(&parentFeature);
    if (withTouch) features.push_back(&touchFeature);
    features.push_back(nullptr);
    widget = nullptr;
    return descriptor->instantiate(descriptor, velalv2::kPluginUri, VELA_LV2_DIR "/VelaOrin.lv2/",
                                   &Recorder::write, &recorder, &widget, features.data());
  }
  void open(bool withTouch = true) {
    ui = instantiate(top, withTouch);
    ASSERT_NE(ui, nullptr);
    settle();
  }
  void close() {
    if (ui != nullptr) descriptor->cleanup(ui);
    ui = nullptr;
  }

  void settle() { EXPECT_EQ(idle->idle(ui), 0); }
  void idleThroughAPoll() {
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollIntervalMs);
    for (;;) {
      const bool last = std::chrono::steady_clock::now() >= due;
      settle();
      if (last) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void portEvent(uint32_t port, float value) {
    descriptor->port_event(ui, port, sizeof value, 0, &value);
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

  void moveTo(int x, int y) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, top, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, 0);
    XSync(display, False);
    settle();
  }
  void button(bool down) {
    XTestFakeButtonEvent(display, 1, down ? True : False, 0);
    XSync(display, False);
    settle();
  }
  void perform(const Click& c) {
    moveTo(c.x, c.y);
    button(true);
    if (c.dx != 0 || c.dy != 0) moveTo(c.x + c.dx, c.y + c.dy);
    button(false);
  }
  std::string calls() {
    std::string text;
    for (const std::string& c : recorder.calls) text += c + "|";
    recorder.calls.clear();
    return text;
  }

  const LV2UI_Descriptor* descriptor = nullptr;
  const LV2UI_Idle_Interface* idle = nullptr;
  Display* display = nullptr;
  XErrorHandler previousHandler = nullptr;
  Window top = 0;
  Recorder recorder;
  LV2UI_Resize resizer{&recorder, &Recorder::resize};
  LV2UI_Touch toucher{&recorder, &Recorder::touch};
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = nullptr;
};

TEST_F(Lv2UiHost, PanelIsTheWidgetAMappedChildOfTheParentOfFixedSize) {
  EXPECT_EQ(descriptor->extension_data("urn:velaorin:no-such-extension"), nullptr);
  open();
  EXPECT_EQ(calls(), "size 481x281|") << "ui:resize once, then nothing written";
  const std::vector<Window> panel = children(top);
  ASSERT_EQ(panel.size(), 1u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(widget), panel[0]) << "the widget is the window id";
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(display, panel[0], &a), 0);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(a.width, 481);
  EXPECT_EQ(a.height, 281);
  EXPECT_EQ(a.map_state, IsViewable);
  // Embedding hosts (suil) size their socket from these.
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(display, panel[0], &hints, &supplied), 0);
  ASSERT_EQ(hints.flags & (PMinSize | PMaxSize), PMinSize | PMaxSize);
  EXPECT_EQ(hints.min_width, 481);
  EXPECT_EQ(hints.min_height, 281);
  EXPECT_EQ(hints.max_width, 481);
  EXPECT_EQ(hints.max_height, 281);
}

// Pointer input on each kind of control reaches the port as one write of the mapped value, inside
// ui:touch where the host offers it. Places as in the VST 2 panel's X11 test.
TEST_F(Lv2UiHost, PointerInputWritesTheMappedValueInsideATouch) {
  const Click clicks[] = {
      {"knob drag", 100, 100, 10, 0, kFB1, 0.05f},
      {"slider page", 30, 66, 0, 0, kMod1, static_cast<float>(10.0 / 24.0)},
      {"check box", 40, 128, 0, 0, kM1S, 0.0f},
      {"radio HiPass", 30, 250, 0, 0, kType, 1.0f},
  };
  for (const bool withTouch : {true, false}) {
    SCOPED_TRACE(withTouch ? "host with ui:touch" : "host without ui:touch");
    open(withTouch);
    idleThroughAPoll();
    calls();
    for (const Click& c : clicks) {
      SCOPED_TRACE(c.what);
      perform(c);
      EXPECT_EQ(calls(), gesture(c.port, c.value, withTouch));
    }
    close();
  }
}

TEST_F(Lv2UiHost, PortEventsMoveTheControlsAndWriteNothingBack) {
  open();
  calls();
  portEvent(kMod1, 0.3f);  // the slider goes to round(7.2) = 7
  for (uint32_t port : {velalv2::kMidiInPort, velalv2::kLeftOutPort, 99u}) portEvent(port, 0.9f);
  idleThroughAPoll();
  EXPECT_EQ(calls(), "");
  // A page click left of the thumb now starts from 7.
  perform({"", 30, 66, 0, 0, kMod1, 0.0f});
  EXPECT_EQ(calls(), gesture(kMod1, static_cast<float>(5.0 / 24.0), true));
}

TEST_F(Lv2UiHost, BadParentsMissingParentAndNoDisplayGiveNullQuietly) {
  Window gone = XCreateSimpleWindow(display, top, 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(display, gone);
  XSync(display, False);
  const size_t fds = openFileDescriptors();
  for (uintptr_t bad : {static_cast<uintptr_t>(gone), uintptr_t{0x7FFFFF0}, uintptr_t{0}}) {
    EXPECT_EQ(instantiate(bad), nullptr) << bad;
    EXPECT_EQ(XSetErrorHandler(&countingHandler), &countingHandler) << "host's handler is back";
  }
  EXPECT_EQ(instantiate(top, true, false), nullptr) << "no ui:parent";

  const std::string saved = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  EXPECT_EQ(instantiate(top), nullptr) << "no DISPLAY";
  char socket[64], name[16];
  for (int n = 1;; ++n) {  // a display number no server listens on
    std::snprintf(socket, sizeof socket, "/tmp/.X11-unix/X%d", n);
    std::snprintf(name, sizeof name, ":%d", n);
    if (!std::filesystem::exists(socket)) break;
  }
  setenv("DISPLAY", name, 1);
  EXPECT_EQ(instantiate(top), nullptr) << "no server";
  setenv("DISPLAY", saved.c_str(), 1);

  EXPECT_EQ(calls(), "");
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children(top).empty());
}

TEST_F(Lv2UiHost, InstantiateCleanupCyclesLeaveNothingBehind) {
  // The first cycle loads fonts and caches for good; count from the second.
  open();
  close();
  const size_t fds = openFileDescriptors();
  for (int i = 0; i < 100; ++i) {
    ui = instantiate(top);
    ASSERT_NE(ui, nullptr) << "cycle " << i;
    settle();
    close();
  }
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children(top).empty());
}

}  // namespace
