// jalv, Debian's LV2 host, with the build tree's bundle on a private JACK server (the dummy
// driver) and the Xvfb that the CTest entry starts: the console jalv plays notes sent to its MIDI
// port and controller 123 stops them (hosts send it instead of note-offs when the transport
// stops); jalv.gtk3 embeds the panel through suil, at the scale the screen's Xft.dpi asks for.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include <cairo.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "Lv2Bundle.h"
#include "PlayerTestSupport.h"

namespace {

constexpr int64_t kMs = JackServer::kRate / 1000;

TEST(Lv2Jalv, NotesSoundAndController123StopsThem) {
  ScratchFolder folder;
  JackServer server(folder.path());
  ASSERT_TRUE(server.up()) << readFile(folder.file("jackd.err"));
  JackProbe probe(server.name(), 30.0);
  ASSERT_TRUE(probe.open());
  // JACK ports take the port symbols: the player's names, so the probe connects to them.
  Child jalv({"/usr/bin/jalv", "-i", "-x", "-n", "Vo", velalv2::kPluginUri},
             {server.env(), "LV2_PATH=" VELA_LV2_DIR}, folder.file("jalv"));
  ASSERT_TRUE(probe.waitForPort("Vo:out_R", true, 20000)) << jalv.err();
  // jalv makes its ports before it activates its client, and JACK connects only active clients.
  bool connected = probe.connectTo("Vo");
  for (int waited = 0; !connected && waited < 20000 && jalv.running(); waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    connected = probe.connectTo("Vo");
  }
  ASSERT_TRUE(connected) << jalv.err();
  // jalv makes its ports before it starts processing: wait for a first note to come back.
  bool answering = false;
  for (int tries = 0; tries < 100 && !answering && jalv.running(); ++tries) {
    const int64_t at = probe.play({{0, 0x90, 72, 100}, {50 * kMs, 0x80, 72, 0}}, 10 * kMs);
    answering = probe.waitUntilFrame(at + 200 * kMs) && probe.peak(at, at + 100 * kMs) > 0.01f;
  }
  ASSERT_TRUE(answering) << jalv.err();
  // Two notes held on two channels, then all notes off on a third; the release lasts 10 ms.
  const int64_t start = probe.play(
      {{0, 0x90, 60, 100}, {100 * kMs, 0x93, 67, 90}, {600 * kMs, 0xB5, 123, 0}}, 100 * kMs);
  ASSERT_TRUE(probe.waitUntilFrame(start + 1000 * kMs)) << "the probe stopped at " << probe.frame();
  const int64_t slack = 2 * JackServer::kPeriod;  // where JACK orders the two clients
  EXPECT_EQ(probe.peak(start - 90 * kMs, start - slack), 0.0f);
  EXPECT_GT(probe.peak(start + slack + 20 * kMs, start + 600 * kMs - slack), 0.01f);
  EXPECT_EQ(probe.peak(start + 650 * kMs + slack, start + 1000 * kMs), 0.0f);
  EXPECT_TRUE(jalv.running()) << jalv.err();
}

// Our panel below `window`: viewable and fixed at width x height by its size hints.
Window findPanel(Display* display, Window window, int width, int height) {
  Window root = 0, parent = 0, *list = nullptr, found = 0;
  unsigned count = 0;
  if (XQueryTree(display, window, &root, &parent, &list, &count) == 0) return 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    XWindowAttributes a{};
    XSizeHints hints{};
    long supplied = 0;
    found = XGetWindowAttributes(display, list[i], &a) != 0 && a.map_state == IsViewable &&
                    XGetWMNormalHints(display, list[i], &hints, &supplied) != 0 &&
                    hints.max_width == width && hints.max_height == height
                ? list[i]
                : findPanel(display, list[i], width, height);
  }
  if (list != nullptr) XFree(list);
  return found;
}

uint32_t pixel(Display* display, Window window, int x, int y) {
  uint32_t value = 0xFFFFFFFF;
  if (XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap)) {
    value = static_cast<uint32_t>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
  }
  return value;
}

// The screen's Xft.dpi as desktops set it, until destruction; 0 leaves the screen without one.
struct ScreenDpi {
  explicit ScreenDpi(int dpi)
      : set(dpi > 0 && std::system(("echo 'Xft.dpi: " + std::to_string(dpi) +
                                    "' | xrdb -nocpp -merge").c_str()) == 0) {}
  ~ScreenDpi() {
    if (set) std::system("xrdb -remove");
  }
  ScreenDpi(const ScreenDpi&) = delete;
  ScreenDpi& operator=(const ScreenDpi&) = delete;
  const bool set;
};

struct Embedding {
  int dpi;  // 0: the screen has none
  int width, height;
  double scale;
};

// With VELA_LV2_PANEL_PNG set, jalv's window at 100 % is kept as a picture (scripts/show-panel.sh).
// Scaled, a click lands where the control is drawn: the Sync Carr check box at units (40, 128)
// clears the check mark through unit (38, 130).
void embedInJalvGtk3(const Embedding& row) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "the CTest entry runs this under scripts/x11-test.sh";
  const ScreenDpi dpi(row.dpi);
  ASSERT_EQ(dpi.set, row.dpi > 0) << "xrdb";
  // GTK's windows come and go while we walk the tree: a window gone between two requests is an
  // error the walk skips, not one that ends the test (Xlib's default handler exits, and the
  // JACK server would outlive us).
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  ScratchFolder folder;
  JackServer server(folder.path());
  ASSERT_TRUE(server.up()) << readFile(folder.file("jackd.err"));
  Child jalv({"/usr/bin/jalv.gtk3", "--jack-name=VoGtk", velalv2::kPluginUri},
             {server.env(), "LV2_PATH=" VELA_LV2_DIR, "NO_AT_BRIDGE=1"}, folder.file("jalv"));
  // Until the panel is embedded and painted (its face in the button colour), while jalv runs.
  Window panel = 0;
  unsigned long face = 0;
  for (int tries = 0; tries < 3000 && face != 0xF0F0F0 && jalv.running(); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    XSync(display, False);
    if ((panel = findPanel(display, DefaultRootWindow(display), row.width, row.height)) == 0)
      continue;
    face = pixel(display, panel, 2, 100);
  }
  ASSERT_EQ(face, 0xF0F0F0u) << "no panel embedded and painted: " << jalv.err();
  // Inside jalv's top-level window, not a window of its own.
  Window root = 0, parent = 0, *list = nullptr, top = panel;
  unsigned count = 0;
  while (XQueryTree(display, top, &root, &parent, &list, &count) != 0) {
    if (list != nullptr) XFree(list);
    if (parent == root) break;
    top = parent;
  }
  EXPECT_NE(top, panel);
  XWindowAttributes a{};
  const char* png = row.dpi == 0 ? std::getenv("VELA_LV2_PANEL_PNG") : nullptr;
  if (png != nullptr && XGetWindowAttributes(display, top, &a) != 0) {
    XImage* image = XGetImage(display, top, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
    const int stride = cairo_image_surface_get_stride(shot) / 4;
    auto* pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(shot));
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x)
        pixels[y * stride + x] = static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    cairo_surface_mark_dirty(shot);
    EXPECT_EQ(cairo_surface_write_to_png(shot, png), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(shot);
    XDestroyImage(image);
  }
  if (row.scale != 1.0) {
    auto at = [&](int unit) { return static_cast<int>(std::floor((unit + 0.5) * row.scale)); };
    const int markX = at(38), markY = at(130);
    EXPECT_EQ(pixel(display, panel, markX, markY), 0x000000u) << "checked";
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, panel, DefaultRootWindow(display), at(40), at(128), &rootX,
                          &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    uint32_t mark = 0;
    for (int tries = 0; tries < 500 && jalv.running(); ++tries) {
      if ((mark = pixel(display, panel, markX, markY)) != 0x000000u) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(mark, 0xFFFFFFu) << "unchecked: the click reached the check box";
  }
  EXPECT_TRUE(jalv.running()) << jalv.err();
  XCloseDisplay(display);
}

// Xft.dpi 192 and no other word: 962 x 562.
TEST(Lv2Jalv, Gtk3EmbedsThePanel) {
  for (const Embedding& row : {Embedding{0, 481, 281, 1.0}, Embedding{192, 962, 562, 2.0}}) {
    SCOPED_TRACE(testing::Message() << "Xft.dpi " << row.dpi);
    embedInJalvGtk3(row);
  }
}

}  // namespace
