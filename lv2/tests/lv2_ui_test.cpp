// VelaOrin.lv2's UI in a small X11 host of ours (no toolkit), under the Xvfb that its CTest entry
// starts: the binary from the build tree's bundle, a top-level window as ui:parent, idle calls as
// suil makes them, XTest input. The panel's own behaviour is the VST 2 panel's X11 test; here,
// what the LV2 wiring adds. Waits as there: the panel's idle starts with a round trip to the
// server, and it polls at the first idle call one poll interval after a change.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Lv2Bundle.h"
#include "PanelConstants.h"
#include "X11HostWindow.h"

namespace {

// What the UI tells the host, in order: "touch 2 on|write 2 0.05|touch 2 off|".
std::string said;
void write(LV2UI_Controller, uint32_t port, uint32_t size, uint32_t protocol, const void* data) {
  float value = 0.0f;
  std::memcpy(&value, data, std::min<size_t>(size, 4));
  char text[64];
  std::snprintf(text, sizeof text, "write %u %.9g%s|", port, static_cast<double>(value),
                size == 4 && protocol == 0 ? "" : " (not a float)");
  said += text;
}
void touch(LV2UI_Feature_Handle, uint32_t port, bool on) {
  said += "touch " + std::to_string(port) + (on ? " on|" : " off|");
}
int resize(LV2UI_Feature_Handle, int width, int height) {
  said += "size " + std::to_string(width) + "x" + std::to_string(height) + "|";
  return 0;
}
std::string take() { return std::exchange(said, ""); }

// urid:map as hosts give it: a number for each URI, from 1.
std::vector<std::string> mapped;
LV2_URID map(LV2_URID_Map_Handle, const char* uri) {
  const auto found = std::find(mapped.begin(), mapped.end(), uri);
  if (found != mapped.end()) return static_cast<LV2_URID>(found - mapped.begin() + 1);
  mapped.push_back(uri);
  return static_cast<LV2_URID>(mapped.size());
}

struct Lv2UiHost : testing::Test, X11HostWindow {
  void SetUp() override {
    void* library = dlopen(VELA_LV2_DIR "/VelaOrin.lv2/velaorin_ui.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    descriptor = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"))(0);
    idle =
        static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    ASSERT_TRUE(openWindow(false)) << "the CTest entry runs this under scripts/x11-test.sh";
    take();
  }
  void TearDown() override {
    close();
    EXPECT_EQ(closeWindow(), 0) << "an X error reached the host's handler";
  }

  // Features as suil passes them; ui:touch only from hosts that wire it (Ardour, Qtractor);
  // options (with urid:map to name them) as Ardour passes its ui:scaleFactor.
  LV2UI_Handle instantiate(uintptr_t parent, bool withTouch = true, bool withParent = true,
                           const LV2_Options_Option* options = nullptr) {
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resizer};
    const LV2_Feature touchFeature{LV2_UI__touch, &toucher};
    const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
    const LV2_Feature mapFeature{LV2_URID__map, &mapper};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options,
                                     const_cast<LV2_Options_Option*>(options)};
    std::vector<const LV2_Feature*> features = {&resizeFeature, &idleFeature};
    if (withParent) features.push_back(&parentFeature);
    if (withTouch) features.push_back(&touchFeature);
    if (options != nullptr) features.insert(features.end(), {&mapFeature, &optionsFeature});
    features.push_back(nullptr);
    return descriptor->instantiate(descriptor, velalv2::kPluginUri, VELA_LV2_DIR "/VelaOrin.lv2/",
                                   &write, nullptr, &widget, features.data());
  }
  void open(bool withTouch = true) {
    ui = instantiate(top, withTouch);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(idle->idle(ui), 0);
  }
  void close() {
    if (ui != nullptr) descriptor->cleanup(ui);
    ui = nullptr;
  }
  void idleThroughAPoll() {
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollIntervalMs);
    for (bool last = false; !last; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      last = std::chrono::steady_clock::now() >= due;
      idle->idle(ui);
    }
  }
  // Button 1 down at panel pixel (x, y), moved by (dx, dy), up; each step handled by an idle.
  void afterInput() override { idle->idle(ui); }
  void click(int x, int y, int dx = 0, int dy = 0) {
    moveTo(x, y);
    button(1, true);
    if (dx != 0 || dy != 0) moveTo(x + dx, y + dy);
    button(1, false);
  }

  const LV2UI_Descriptor* descriptor = nullptr;
  const LV2UI_Idle_Interface* idle = nullptr;
  // The panel window's width and height and what its size hints fix.
  std::vector<long> windowAndHints() {
    const auto window = reinterpret_cast<uintptr_t>(widget);
    XWindowAttributes a{};
    XSizeHints h{};
    long supplied = 0;
    XSync(display, False);
    if (XGetWindowAttributes(display, window, &a) == 0 ||
        XGetWMNormalHints(display, window, &h, &supplied) == 0)
      return {};
    return {a.width, a.height, h.min_width, h.min_height, h.max_width, h.max_height};
  }
  static std::vector<long> sized(long width, long height) {
    return {width, height, width, height, width, height};
  }

  LV2UI_Resize resizer{nullptr, &resize};
  LV2UI_Touch toucher{nullptr, &touch};
  LV2_URID_Map mapper{nullptr, &map};
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = nullptr;
};

TEST_F(Lv2UiHost, TheWidgetIsTheMappedPanelOfFixedSize) {
  EXPECT_EQ(descriptor->extension_data("urn:velaorin:no-such-extension"), nullptr);
  open();
  EXPECT_EQ(take(), "size 481x281|") << "ui:resize once, and nothing written";
  ASSERT_EQ(children(), std::vector<Window>{reinterpret_cast<uintptr_t>(widget)});
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(display, reinterpret_cast<uintptr_t>(widget), &a), 0);
  EXPECT_EQ(std::vector<int>({a.x, a.y, a.width, a.height, a.map_state}),
            std::vector<int>({0, 0, 481, 281, IsViewable}));
  // Embedding hosts (suil) size their socket from these.
  XSizeHints h{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(display, reinterpret_cast<uintptr_t>(widget), &h, &supplied), 0);
  EXPECT_EQ(std::vector<long>({h.flags & (PMinSize | PMaxSize), h.min_width, h.min_height,
                               h.max_width, h.max_height}),
            std::vector<long>({PMinSize | PMaxSize, 481, 281, 481, 281}));
}

// A knob drag (FB1, 10 px right: 0.05) is one float write inside ui:touch where offered; a
// port_event moves a control (Mod1 to 0.3: slider position 7) and writes nothing back, so a
// page click left of the thumb then starts from 7.
TEST_F(Lv2UiHost, EditsAreTouchedFloatWritesAndHostValuesAreNotWrittenBack) {
  for (const bool withTouch : {true, false}) {
    SCOPED_TRACE(withTouch ? "host with ui:touch" : "host without ui:touch");
    open(withTouch);
    take();
    click(100, 100, 10, 0);
    EXPECT_EQ(take(),
              withTouch ? "touch 2 on|write 2 0.0500000007|touch 2 off|" : "write 2 0.0500000007|");
    for (uint32_t port : {0u, velalv2::kMidiInPort, velalv2::kLeftOutPort, 99u}) {
      const float value = port == 0 ? 0.3f : 0.9f;
      descriptor->port_event(ui, port, sizeof value, 0, &value);
    }
    idleThroughAPoll();
    EXPECT_EQ(take(), "");
    click(30, 66);
    EXPECT_EQ(take(),
              withTouch ? "touch 0 on|write 0 0.208333328|touch 0 off|" : "write 0 0.208333328|");
    close();
  }
}

TEST_F(Lv2UiHost, BadOrMissingParentsGiveNullQuietly) {
  Window gone = XCreateSimpleWindow(display, top, 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(display, gone);
  XSync(display, False);
  const size_t fds = openFileDescriptors();
  for (uintptr_t bad : {static_cast<uintptr_t>(gone), uintptr_t{0x7FFFFF0}, uintptr_t{0}})
    EXPECT_EQ(instantiate(bad), nullptr) << bad;
  EXPECT_EQ(instantiate(top, true, false), nullptr) << "no ui:parent";
  EXPECT_EQ(XSetErrorHandler(&countError), &countError) << "host's handler is back";
  EXPECT_EQ(take(), "");
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children().empty());
}

TEST_F(Lv2UiHost, CleanupClosesTheWindowAndTheConnection) {
  open();  // the first cycle loads fonts and caches for good
  close();
  const size_t fds = openFileDescriptors();
  for (int i = 0; i < 100; ++i) {
    open();
    close();
  }
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children().empty());
}

// The host's ui:scaleFactor sizes the panel, after the user's choice (its file in a folder of
// this test's own); the size hints follow and ui:resize is told. Later words come through the
// options interface, which refuses options that are not ours.
TEST_F(Lv2UiHost, ScaleFactorSizesThePanelAndTheOptionsInterfaceChangesIt) {
  char folder[] = "/tmp/vela-lv2-config-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string previousConfig = previous != nullptr ? previous : "";
  setenv("XDG_CONFIG_HOME", folder, 1);
  const auto* options =
      static_cast<const LV2_Options_Interface*>(descriptor->extension_data(LV2_OPTIONS__interface));
  ASSERT_NE(options, nullptr);
  const LV2_URID scaleFactor = map(nullptr, LV2_UI__scaleFactor);
  const LV2_URID atomFloat = map(nullptr, LV2_ATOM__Float);
  const LV2_URID atomDouble = map(nullptr, LV2_ATOM__Double);
  auto option = [&](LV2_URID key, LV2_URID type, uint32_t size, const void* value) {
    return LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, key, size, type, value};
  };
  const LV2_Options_Option end{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};

  struct Row {
    float scale;
    const char* choice;  // null: no file
    long width, height;
  };
  const Row rows[] = {{1.5f, nullptr, 722, 422},
                      {1.5f, "scale=1.25\n", 601, 351},
                      {1.5f, "scale=auto\n", 722, 422},
                      {5.0f, nullptr, 1443, 843}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "ui:scaleFactor " << row.scale << ", file "
                                    << (row.choice != nullptr ? row.choice : "(none)"));
    std::filesystem::remove_all(std::string(folder) + "/velaorin");
    if (row.choice != nullptr) {
      std::filesystem::create_directories(std::string(folder) + "/velaorin");
      std::ofstream(std::string(folder) + "/velaorin/panel") << row.choice;
    }
    const LV2_Options_Option given[] = {
        option(scaleFactor, atomFloat, sizeof row.scale, &row.scale), end};
    ui = instantiate(top, true, true, given);
    ASSERT_NE(ui, nullptr);
    idle->idle(ui);
    EXPECT_EQ(take(), "size " + std::to_string(row.width) + "x" + std::to_string(row.height) + "|");
    EXPECT_EQ(windowAndHints(), sized(row.width, row.height));
    close();
  }

  std::filesystem::remove_all(std::string(folder) + "/velaorin");
  const float first = 1.5f;
  const LV2_Options_Option given[] = {option(scaleFactor, atomFloat, sizeof first, &first), end};
  ui = instantiate(top, true, true, given);
  ASSERT_NE(ui, nullptr);
  idle->idle(ui);
  take();
  const double later = 2.0;
  const LV2_Options_Option changed[] = {option(scaleFactor, atomDouble, sizeof later, &later), end};
  EXPECT_EQ(options->set(ui, changed), uint32_t{LV2_OPTIONS_SUCCESS});
  idle->idle(ui);
  EXPECT_EQ(take(), "size 962x562|");
  EXPECT_EQ(windowAndHints(), sized(962, 562));
  const LV2_Options_Option notOurs[] = {
      option(map(nullptr, "urn:velaorin:no-such-option"), atomFloat, sizeof first, &first), end};
  EXPECT_EQ(options->set(ui, notOurs), uint32_t{LV2_OPTIONS_ERR_BAD_KEY});
  EXPECT_EQ(take(), "");
  EXPECT_EQ(windowAndHints(), sized(962, 562));
  close();

  std::filesystem::remove_all(folder);
  if (previousConfig.empty()) unsetenv("XDG_CONFIG_HOME");
  else setenv("XDG_CONFIG_HOME", previousConfig.c_str(), 1);
}

}  // namespace
