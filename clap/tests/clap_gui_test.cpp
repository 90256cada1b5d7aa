// VelaOrin.clap's panel in our CLAP host on a private Xvfb display: a child of the host's window
// once set_parent returns, pumped through the connection's file descriptor or a timer as the
// host offers, drags reaching the host as gestures and values, host values shown, and teardown
// in every order. Input comes through XTest; no wait depends on the machine's speed (the panel
// reads what the server sent at each pump, after a round trip).
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ClapTestHost.h"
#include "PanelConstants.h"
#include "X11HostWindow.h"

namespace {

struct Pump {
  const char* name;
  bool fds, timers;
};

class ClapGui : public testing::TestWithParam<Pump>, protected X11HostWindow {
 protected:
  void SetUp() override {
    ASSERT_TRUE(builtClap().loaded()) << builtClap().error();
    ASSERT_TRUE(openWindow()) << "the CTest entry runs this under scripts/x11-test.sh";
    TestHost::Offers offers;
    offers.fds = GetParam().fds;
    offers.timers = GetParam().timers;
    host = std::make_unique<TestHost>(offers);
    instance = std::make_unique<ClapInstance>(builtClap(), *host);
    gui = instance->extension<clap_plugin_gui>(CLAP_EXT_GUI);
    ASSERT_NE(gui, nullptr);
  }
  void TearDown() override {
    instance.reset();
    EXPECT_EQ(closeWindow(), 0) << "an X error reached the host's handler";
  }

  const clap_plugin* plugin() const { return instance->plugin(); }
  bool open() {
    if (!gui->create(plugin(), CLAP_WINDOW_API_X11, false)) return false;
    clap_window window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = top;
    return gui->set_parent(plugin(), &window) && gui->show(plugin());
  }
  // What the host does when its fd turns readable or its timer fires, and its main-thread
  // callback when asked for one.
  void pump() {
    const auto* timers = instance->extension<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT);
    const auto* fds = instance->extension<clap_plugin_posix_fd_support>(CLAP_EXT_POSIX_FD_SUPPORT);
    for (const auto& [id, period] : host->timers) timers->on_timer(plugin(), id);
    for (const auto& [fd, flags] : host->fds) fds->on_fd(plugin(), fd, CLAP_POSIX_FD_READ);
    if (host->callbackRequests.exchange(0) > 0) plugin()->on_main_thread(plugin());
  }
  void pumpFor(std::chrono::milliseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    do {
      pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < until);
    pump();
  }
  // Pointer input is handled by a pump.
  void afterInput() override { pump(); }
  // The panel's edits as the host gets them: from the next block while processing, else from
  // the flush it asks for.
  std::string editsSent(bool processing) {
    OutputList out;
    EventList none;
    if (processing) {
      std::vector<float> l(64), r(64);
      instance->process(none, 64, l.data(), r.data(), &out);
    } else {
      instance->flush(none, &out);
    }
    std::string text;
    for (const EventSlot& e : out.events) {
      const uint16_t type = e.header().type;
      if (type == CLAP_EVENT_PARAM_GESTURE_BEGIN) text += "begin " + std::to_string(e.as<clap_event_param_gesture>().param_id) + "; ";
      if (type == CLAP_EVENT_PARAM_GESTURE_END) text += "end " + std::to_string(e.as<clap_event_param_gesture>().param_id) + "; ";
      if (type == CLAP_EVENT_PARAM_VALUE) text += "value " + std::to_string(e.as<clap_event_param_value>().param_id) + "; ";
    }
    return text;
  }

  std::unique_ptr<TestHost> host;
  std::unique_ptr<ClapInstance> instance;
  const clap_plugin_gui* gui = nullptr;
};

TEST_P(ClapGui, APanelThatIsAChildOnceSetParentReturns) {
  EXPECT_TRUE(gui->is_api_supported(plugin(), CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(gui->is_api_supported(plugin(), CLAP_WINDOW_API_X11, true));
  EXPECT_FALSE(gui->is_api_supported(plugin(), "wayland", false));
  const char* api = nullptr;
  bool floating = true;
  ASSERT_TRUE(gui->get_preferred_api(plugin(), &api, &floating));
  EXPECT_STREQ(api, "x11");
  EXPECT_FALSE(floating);
  EXPECT_FALSE(gui->create(plugin(), CLAP_WINDOW_API_X11, true));
  ASSERT_TRUE(gui->create(plugin(), CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(gui->can_resize(plugin()));
  uint32_t width = 0, height = 0;
  ASSERT_TRUE(gui->get_size(plugin(), &width, &height));
  EXPECT_EQ(width, 481u);
  EXPECT_EQ(height, 281u);
  clap_window window{};
  window.api = CLAP_WINDOW_API_X11;
  window.x11 = top;
  ASSERT_TRUE(gui->set_parent(plugin(), &window));
  // Asked at once, before any pump or show, through our own connection.
  const std::vector<Window> panel = children();
  ASSERT_EQ(panel.size(), 1u);
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(display, panel[0], &a), 0);
  EXPECT_EQ(a.width, 481);
  EXPECT_EQ(a.height, 281);
  EXPECT_EQ(a.map_state, IsViewable);
  if (GetParam().fds) {
    ASSERT_EQ(host->fds.size(), 1u);
    EXPECT_EQ(host->fds.begin()->second, CLAP_POSIX_FD_READ) << "read only: never spins";
  }
  if (GetParam().timers) {
    ASSERT_EQ(host->timers.size(), 1u);
    EXPECT_GE(host->timers.begin()->second, 15u);
    EXPECT_LE(host->timers.begin()->second, 50u);
  }
  ASSERT_TRUE(gui->hide(plugin()));
  XSync(display, False);
  ASSERT_NE(XGetWindowAttributes(display, panel[0], &a), 0);
  EXPECT_EQ(a.map_state, IsUnmapped);
  ASSERT_TRUE(gui->show(plugin()));
  gui->destroy(plugin());
  EXPECT_TRUE(children().empty());
  EXPECT_TRUE(host->fds.empty());
  EXPECT_TRUE(host->timers.empty());
}

// The host's scale sizes the panel before it opens; a new one while it is open goes to the host
// first (request_resize), and a refusal keeps the size. The host cannot resize it otherwise.
TEST_P(ClapGui, SetScaleSizesThePanelAndAskTheHostWhenOpen) {
  ASSERT_TRUE(gui->create(plugin(), CLAP_WINDOW_API_X11, false));
  auto size = [&] {
    uint32_t width = 0, height = 0;
    EXPECT_TRUE(gui->get_size(plugin(), &width, &height));
    return std::make_pair(width, height);
  };
  auto windowSize = [&] {
    const std::vector<Window> panel = children();
    XWindowAttributes a{};
    if (panel.size() != 1 || XGetWindowAttributes(display, panel[0], &a) == 0)
      return std::make_pair(0u, 0u);
    return std::make_pair(static_cast<uint32_t>(a.width), static_cast<uint32_t>(a.height));
  };
  using Size = std::pair<uint32_t, uint32_t>;
  ASSERT_TRUE(gui->set_scale(plugin(), 2.0));
  EXPECT_EQ(size(), Size(962, 562));
  clap_window window{};
  window.api = CLAP_WINDOW_API_X11;
  window.x11 = top;
  ASSERT_TRUE(gui->set_parent(plugin(), &window));
  ASSERT_TRUE(gui->show(plugin()));
  EXPECT_EQ(windowSize(), Size(962, 562));
  EXPECT_TRUE(host->resizeRequests.empty()) << "the first size is the host's to give";
  EXPECT_FALSE(gui->set_size(plugin(), 481, 281));
  EXPECT_TRUE(gui->set_size(plugin(), 962, 562));

  ASSERT_TRUE(gui->set_scale(plugin(), 1.5));
  ASSERT_EQ(host->resizeRequests.size(), 1u);
  EXPECT_EQ(host->resizeRequests.back(), Size(722, 422));
  EXPECT_EQ(size(), Size(722, 422));
  EXPECT_EQ(windowSize(), Size(722, 422));

  host->agreeToResize = false;
  ASSERT_TRUE(gui->set_scale(plugin(), 7.0));  // clamped to 3
  ASSERT_EQ(host->resizeRequests.size(), 2u);
  EXPECT_EQ(host->resizeRequests.back(), Size(1443, 843));
  EXPECT_EQ(size(), Size(722, 422)) << "refused: the size stays until the next opening";
  EXPECT_EQ(windowSize(), Size(722, 422));
  gui->destroy(plugin());
  EXPECT_EQ(size(), Size(1443, 843));
}

// A drag on the FB1 knob (10 px right: +0.05) goes to the host as one gesture, from the next
// block or, when the host is not processing, through the flush the plug-in asks for. A new
// panel starts from the values as they are (the second round starts from the first's).
TEST_P(ClapGui, ADragReachesTheHostAsAGesture) {
  for (bool processing : {true, false}) {
    SCOPED_TRACE(processing ? "processing" : "not processing");
    if (processing) {
      ASSERT_TRUE(instance->start(48000.0, 64));
    }
    ASSERT_TRUE(open());
    pump();
    host->flushRequests = 0;
    const double before = instance->value(2);
    moveTo(100, 100);
    button(1, true);
    moveTo(110, 100);
    moveTo(120, 100);
    button(1, false);
    EXPECT_EQ(host->flushRequests > 0, !processing);
    const std::string sent = editsSent(processing);
    EXPECT_EQ(sent.rfind("begin 2; value 2; ", 0), 0u) << sent;
    EXPECT_NE(sent.find("value 2; end 2; "), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.size() - 7), "end 2; ") << sent;
    EXPECT_NEAR(instance->value(2), before + 0.1, 1e-6);
    EXPECT_EQ(editsSent(processing), "") << "each edit goes out once";
    gui->destroy(plugin());
    instance->stop();
  }
}

// A value the host sets shows on the panel within half a second: a page click left of the Mod1
// slider's thumb then starts from it (0.3: position 7, one page down is 5).
TEST_P(ClapGui, HostValuesShowWithinHalfASecond) {
  ASSERT_TRUE(open());
  pump();
  EventList value;
  value.value(0, 0, 0.3);
  instance->flush(value);
  pumpFor(std::chrono::milliseconds(500));
  moveTo(30, 66);
  button(1, true);
  button(1, false);
  EXPECT_EQ(editsSent(false), "begin 0; value 0; end 0; ");
  EXPECT_EQ(instance->value(0), static_cast<double>(static_cast<float>(5.0 / 24.0)));
}

TEST_P(ClapGui, TeardownInEveryOrderLeavesNothingBehind) {
  // The first cycle loads fonts and caches for good; count from the second.
  ASSERT_TRUE(open());
  gui->destroy(plugin());
  const size_t fds = openFileDescriptors();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(open()) << i;
    pump();
    gui->destroy(plugin());
  }
  EXPECT_EQ(openFileDescriptors(), fds);
  EXPECT_TRUE(children().empty());
  EXPECT_TRUE(host->fds.empty());
  EXPECT_TRUE(host->timers.empty());

  // The host destroys its window first, then the GUI; then the instance with a GUI open.
  ASSERT_TRUE(open());
  pump();
  XDestroyWindow(display, top);
  XSync(display, False);
  pump();
  gui->destroy(plugin());
  top = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 600, 400, 0, 0, 0);
  XMapWindow(display, top);
  XSync(display, False);
  ASSERT_TRUE(open());
  instance.reset();
  EXPECT_TRUE(children().empty());
  EXPECT_EQ(openFileDescriptors(), fds);
}

INSTANTIATE_TEST_SUITE_P(Pumps, ClapGui,
                         testing::Values(Pump{"FdAndTimer", true, true}, Pump{"FdOnly", true, false},
                                         Pump{"TimerOnly", false, true}),
                         [](const testing::TestParamInfo<Pump>& row) { return row.param.name; });

// Qtractor's scanner offers no host extension: the panel is announced all the same, and create
// says no when there is no way to be called.
TEST(ClapGuiHost, WithNeitherFdNorTimerThereIsNoPanel) {
  TestHost::Offers offers;
  offers.fds = offers.timers = false;
  TestHost host(offers);
  ClapInstance instance(builtClap(), host);
  const auto* gui = instance.extension<clap_plugin_gui>(CLAP_EXT_GUI);
  ASSERT_NE(gui, nullptr);
  EXPECT_TRUE(gui->is_api_supported(instance.plugin(), CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(gui->create(instance.plugin(), CLAP_WINDOW_API_X11, false));
}

}  // namespace
