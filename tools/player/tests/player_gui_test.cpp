// The player's window under a virtual display, driven by synthetic input (XTest): on-screen and
// computer keys reach the plug-in as note-on and note-off, heard on the JACK output; closing the
// window stops the player cleanly. Run on a private display (scripts/x11-test.sh).
// gtest before Xlib: Xlib's None macro breaks gtest's headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BankFiles.h"
#include "Keyboard.h"
#include "PlayerTestSupport.h"
#include "PlayerWindow.h"

namespace {

constexpr int64_t kMs = JackServer::kRate / 1000;

Window findWindow(Display* display, Window parent, const std::string& name) {
  char* title = nullptr;
  if (XFetchName(display, parent, &title) != 0 && title != nullptr) {
    const bool match = name == title;
    XFree(title);
    if (match) return parent;
  }
  Window root = 0, up = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (XQueryTree(display, parent, &root, &up, &children, &count) != 0) {
    for (unsigned i = 0; i < count && found == 0; ++i) found = findWindow(display, children[i], name);
    if (children != nullptr) XFree(children);
  }
  return found;
}

// An area of `window` as 0xRRGGBB pixels, row by row; none if it cannot be read (a window not
// yet mapped has no pixels, and asking for them is an error that ends the program).
std::vector<uint32_t> grab(Display* display, Window window, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0 || attributes.map_state != IsViewable)
    return pixels;
  XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      pixels.push_back(static_cast<uint32_t>(XGetPixel(image, column, row)) & 0xffffffu);
  XDestroyImage(image);
  return pixels;
}

// The whole screen as a PNG, for people to look at.
void saveScreen(Display* display, const std::string& path) {
  const Window root = DefaultRootWindow(display);
  XWindowAttributes attributes;
  XGetWindowAttributes(display, root, &attributes);
  XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return;
  cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, attributes.width,
                                                    attributes.height);
  auto* pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(png));
  const int stride = cairo_image_surface_get_stride(png) / 4;
  for (int y = 0; y < attributes.height; ++y)
    for (int x = 0; x < attributes.width; ++x)
      pixels[y * stride + x] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xffffffu;
  cairo_surface_mark_dirty(png);
  cairo_surface_write_to_png(png, path.c_str());
  cairo_surface_destroy(png);
  XDestroyImage(image);
}

// The close a window manager sends when the user closes the window.
void closeAsWindowManager(Display* display, Window window) {
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, window, False, NoEventMask, &close);
}

void settle(Display* display, int ms) {
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(PlayerGui, KeysPlayAndWindowCloseStopsCleanly) {
  ScratchFolder folder;
  JackServer server(folder.path());
  ASSERT_TRUE(server.up());
  JackProbe probe(server.name());
  ASSERT_TRUE(probe.open());
  // As the menu starts it: with a server answering, --desktop changes nothing.
  std::vector<std::string> args = {VELA_PLAYER, "--desktop", "--no-connect", "--name", "VoGui",
                                   "--state-file", folder.file("state")};
  // Another build of the plug-in, e.g. to look at its panel in the screenshots.
  if (const char* plugin = std::getenv("VELA_PLAYER_PLUGIN")) args.insert(args.end(), {"--plugin", plugin});
  Child player(args, {server.env(), "XDG_DATA_HOME=" + folder.path()}, folder.file("player"));
  ASSERT_TRUE(player.waitForOutput("running as JACK client", kPatientMs)) << player.err();
  ASSERT_TRUE(probe.connectTo("VoGui"));

  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  ASSERT_TRUE(XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor));
  Window window = 0;
  for (int waited = 0; waited < kPatientMs && window == 0; waited += 50, settle(display, 50))
    window = findWindow(display, DefaultRootWindow(display), "VoGui");
  ASSERT_NE(window, 0u);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
  int left = 0, top = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top, &child);
  const int keyboardTop = top + attributes.height - PlayerWindow::kKeyboardHeight;

  // The plug-in's panel: a window of its own inside the area under the bar, at the size it asks.
  // The player opens it just after its window appears.
  auto children = [&](Window parent) {
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, parent, &root, &up, &list, &count) != 0 && list != nullptr) {
      out.assign(list, list + count);
      XFree(list);
    }
    return out;
  };
  std::vector<Window> panels;
  XWindowAttributes panel{};
  Window area = 0;
  for (int waited = 0; waited < kPatientMs; waited += 50, settle(display, 50)) {
    const std::vector<Window> areas = children(window);
    ASSERT_FALSE(areas.empty());
    area = areas[0];  // the oldest
    panels = children(area);
    if (panels.size() == 1 && XGetWindowAttributes(display, panels[0], &panel) != 0 &&
        panel.map_state == IsViewable)
      break;
  }
  ASSERT_EQ(panels.size(), 1u);
  EXPECT_EQ(panel.width, 481);
  EXPECT_EQ(panel.height, 281);
  EXPECT_EQ(panel.map_state, IsViewable);
  // Painted: more than its background's one colour.
  EXPECT_TRUE(waitFor(
      [&] {
        XSync(display, False);
        const std::vector<uint32_t> pixels =
            grab(display, panels[0], 0, 0, panel.width, panel.height);
        return std::set<uint32_t>(pixels.begin(), pixels.end()).size() > 1;
      },
      kPatientMs, 50))
      << "the panel never painted";
  saveScreen(display, VELA_ARTIFACTS "/player.png");

  // Each way of playing: press, hear the note start and hold, release, hear silence after the
  // release. Every wait is for what the probe records, however long the machine takes.
  const keyboard::Rect c = keyboard::keyRect(0, attributes.width, PlayerWindow::kKeyboardHeight);
  const keyboard::Rect g = keyboard::keyRect(7, attributes.width, PlayerWindow::kKeyboardHeight);
  const struct {
    const char* what;
    int x, y;  // pointer position, on screen
    KeySym key;  // 0: a mouse click at the pointer
  } plays[] = {
      {"on-screen key C", left + c.x + c.width / 2, keyboardTop + c.height - 10, 0},
      {"on-screen key G", left + g.x + g.width / 2, keyboardTop + g.height - 10, 0},
      {"computer key Z", left + 5, keyboardTop + 5, XK_z},
      {"computer key Q", left + 5, keyboardTop + 5, XK_q},
  };
  for (const auto& play : plays) {
    SCOPED_TRACE(play.what);
    XTestFakeMotionEvent(display, -1, play.x, play.y, CurrentTime);
    XSync(display, False);
    auto press = [&](bool down) {
      if (play.key == 0)
        XTestFakeButtonEvent(display, 1, down, CurrentTime);
      else
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, play.key), down, CurrentTime);
      XSync(display, False);
    };
    const int64_t pressed = probe.frame();
    press(true);
    const int64_t onset = probe.waitForSound(pressed);
    ASSERT_GE(onset, 0) << "note-on heard";
    ASSERT_TRUE(probe.waitUntilFrame(onset + 250 * kMs))
        << "the probe stopped at " << probe.frame();
    const int64_t released = probe.frame();
    press(false);
    EXPECT_EQ(probe.peak(pressed - 100 * kMs, pressed), 0.0f) << "silent before";
    EXPECT_GT(probe.peak(released - 200 * kMs, released), 0.01f) << "note held";
    EXPECT_TRUE(probe.waitForSilence(released, 150 * kMs)) << "note-off heard";
  }

  // The program list opens from the name in the bar; picking "Eth Drm" selects program 1. The
  // list is the player's other child window, over the area; a click lands where it is when the
  // server takes it, so each click waits for the list to be there or gone.
  auto listShown = [&] {
    XSync(display, False);
    for (Window shown : children(window)) {
      XWindowAttributes list{};
      if (shown != area && XGetWindowAttributes(display, shown, &list) != 0 &&
          list.map_state == IsViewable)
        return true;
    }
    return false;
  };
  auto click = [&](int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
  };
  click(left + 100, top + PlayerWindow::kBarHeight / 2);
  ASSERT_TRUE(waitFor(listShown, kPatientMs, 50)) << "the program list did not open";
  saveScreen(display, VELA_ARTIFACTS "/player-programs.png");
  click(left + 60, top + PlayerWindow::kBarHeight + 17 + 8);
  ASSERT_TRUE(waitFor([&] { return !listShown(); }, kPatientMs, 50)) << "a pick closes the list";

  // Banks: saved by name into the default folder, a damaged one refused, a host's loaded; the
  // bar's button and Ctrl+O and Ctrl+S open the field, Enter a second time replaces a file.
  auto key = [&](KeySym keysym, bool control = false) {
    const KeyCode ctrl = XKeysymToKeycode(display, XK_Control_L);
    if (control) XTestFakeKeyEvent(display, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), False, CurrentTime);
    if (control) XTestFakeKeyEvent(display, ctrl, False, CurrentTime);
    XSync(display, False);  // the player takes the keys and clicks in the server's order
  };
  auto type = [&](const std::string& text) {
    for (char letter : text) key(letter == '.' ? XK_period : XStringToKeysym(std::string(1, letter).c_str()));
  };
  auto said = [&](const std::string& text) {
    return waitFor([&] { return player.err().find(text) != std::string::npos; }, kPatientMs, 50);
  };
  // The bar's pixels: the field's light background at its left end while it is open; the
  // question before replacing a file is the only strongly red text there.
  auto bar = [&] {
    XSync(display, False);
    return grab(display, window, 0, 0, attributes.width, PlayerWindow::kBarHeight);
  };
  auto fieldOpen = [&] {
    const std::vector<uint32_t> pixels = bar();
    const size_t corner = 2 * static_cast<size_t>(attributes.width) + 2;
    return corner < pixels.size() && (pixels[corner] >> 16) > 0xc0 &&
           (pixels[corner] >> 8 & 0xff) > 0xc0 && (pixels[corner] & 0xff) > 0xc0;
  };
  auto asksToReplace = [&] {
    const std::vector<uint32_t> pixels = bar();
    return std::any_of(pixels.begin(), pixels.end(), [](uint32_t pixel) {
      const int red = static_cast<int>(pixel >> 16), green = static_cast<int>(pixel >> 8 & 0xff),
                blue = static_cast<int>(pixel & 0xff);
      return red - green > 0x48 && red - blue > 0x48;
    });
  };
  const std::string banks = folder.path() + "/velaorin/banks/";
  XTestFakeMotionEvent(display, -1, left + 200, keyboardTop + 5, CurrentTime);
  key(XK_s, true);
  type("mine");
  saveScreen(display, VELA_ARTIFACTS "/player-bank.png");
  key(XK_Return);
  ASSERT_TRUE(said("saved bank " + banks + "mine.fxb")) << player.err();
  BankImage image{};
  FileReport report;
  const std::string mine = readFile(banks + "mine.fxb");
  ASSERT_TRUE(readBankFile(reinterpret_cast<const uint8_t*>(mine.data()), mine.size(), image, report))
      << report.error;
  EXPECT_EQ(image.currentProgram, 1);
  EXPECT_STREQ(image.programs[1].name, "Eth Drm");

  writeFile(banks + "bad.fxb", "not a bank file, only some words");
  for (int32_t n = 0; n < kNumPrograms; ++n)
    std::snprintf(image.programs[n].name, sizeof image.programs[n].name, "Host %d", static_cast<int>(n));
  std::vector<uint8_t> exported = writeBankFile(image);
  exported[15] = 1;  // version 1, as hosts write: no current program
  writeFile(banks + "host.fxb", std::string(exported.begin(), exported.end()));
  std::string previous = "mine.fxb";  // the field starts from the last file
  for (const char* name : {"bad.fxb", "host.fxb"}) {
    click(left + 285, top + 14);  // "Load…"
    ASSERT_TRUE(waitFor(fieldOpen, kPatientMs, 50)) << "Load… opens the field";
    for (size_t i = 0; i < previous.size(); ++i) key(XK_BackSpace);
    type(name);
    key(XK_Return);
    previous = name;
  }
  EXPECT_TRUE(said("cannot read bank '" + banks + "bad.fxb': wrong magic")) << player.err();
  EXPECT_TRUE(said("loaded bank " + banks + "host.fxb")) << player.err();
  const std::string hostFile = readFile(banks + "host.fxb");
  key(XK_s, true);
  ASSERT_TRUE(waitFor(fieldOpen, kPatientMs, 50)) << "Ctrl+S opens the field";
  EXPECT_FALSE(asksToReplace()) << "a question before Enter";
  key(XK_Return);
  EXPECT_TRUE(waitFor(asksToReplace, kPatientMs, 50)) << "asks before replacing";
  EXPECT_EQ(readFile(banks + "host.fxb"), hostFile) << "kept while asking";
  key(XK_Return);
  ASSERT_TRUE(said("saved bank " + banks + "host.fxb")) << player.err();
  const std::string replaced = readFile(banks + "host.fxb");
  ASSERT_TRUE(readBankFile(reinterpret_cast<const uint8_t*>(replaced.data()), replaced.size(), image,
                           report)) << report.error;
  EXPECT_TRUE(report.hasCurrentProgram);
  EXPECT_STREQ(image.programs[31].name, "Host 31");

  closeAsWindowManager(display, window);
  XSync(display, False);
  EXPECT_EQ(player.wait(kPatientMs), 0) << player.err();
  EXPECT_TRUE(probe.waitForPort("VoGui:midi_in", false, kPatientMs));
  EXPECT_NE(readFile(folder.file("state")).find("\nprogram 1\n"), std::string::npos);
  EXPECT_NE(readFile(folder.file("state")).find("\nname 31 Host 31\n"), std::string::npos);
  XCloseDisplay(display);
}

// Started from the menu with no JACK server: one more try under pw-jack (here a stand-in that
// notes each call and runs the player as the real one does), then the reason on stderr and in a
// window of its own, which a key, a click or the window manager closes. No display: stderr only.
TEST(PlayerGui, MenuLaunchWithoutJackShowsWhyInAWindow) {
  ScratchFolder folder;
  const std::string bin = folder.file("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
  writeFile(bin + "/pw-jack",
            "#!/bin/sh\necho \"$*\" >> '" + folder.file("pw-jack.log") + "'\nexec \"$@\"\n");
  ASSERT_EQ(chmod((bin + "/pw-jack").c_str(), 0755), 0);
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const std::string title = "VelaOrin could not start";
  enum class Close { Key, Click, WindowManager, NoDisplay };
  int launches = 0;
  for (const Close how : {Close::Key, Close::Click, Close::WindowManager, Close::NoDisplay}) {
    SCOPED_TRACE(static_cast<int>(how));
    std::vector<std::string> env = {"JACK_DEFAULT_SERVER=velatest-absent",
                                    "PATH=" + bin + ":/usr/bin:/bin"};
    if (how == Close::NoDisplay) env.push_back("DISPLAY=");
    Child player({VELA_PLAYER, "--desktop", "--state-file", folder.file("state")}, env,
                 folder.file("player"));
    ++launches;
    if (how == Close::NoDisplay) {
      EXPECT_EQ(player.wait(kPatientMs), 1) << player.err();
    } else {
      Window window = 0;
      waitFor(
          [&] {
            XSync(display, False);
            window = findWindow(display, DefaultRootWindow(display), title);
            return window != 0 || !player.running();
          },
          kPatientMs, 50);
      ASSERT_NE(window, 0u) << player.err();
      XWindowAttributes attributes;
      ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
      // The reason is drawn: dark text on the light window.
      std::ptrdiff_t dark = 0;
      EXPECT_TRUE(waitFor(
          [&] {
            XSync(display, False);
            const std::vector<uint32_t> pixels =
                grab(display, window, 0, 0, attributes.width, attributes.height);
            dark = std::count_if(pixels.begin(), pixels.end(),
                                 [](uint32_t pixel) { return (pixel & 0xff) < 0x60; });
            return dark > 300;
          },
          kPatientMs, 50))
          << "the reason is not drawn: " << dark << " dark pixels";
      EXPECT_LT(attributes.width, 640);
      if (how == Close::Key) saveScreen(display, VELA_ARTIFACTS "/player-cannot-start.png");
      EXPECT_TRUE(player.running()) << "the window stays until closed";

      int left = 0, top = 0;
      Window child = 0;
      XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top, &child);
      XTestFakeMotionEvent(display, -1, left + 10, top + 10, CurrentTime);
      XSync(display, False);
      if (how == Close::Key) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_space), True, CurrentTime);
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_space), False, CurrentTime);
      } else if (how == Close::Click) {
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
      } else {
        closeAsWindowManager(display, window);
      }
      XSync(display, False);
      EXPECT_EQ(player.wait(kPatientMs), 1) << player.err();
      EXPECT_TRUE(waitFor(
          [&] {
            XSync(display, False);
            return findWindow(display, DefaultRootWindow(display), title) == 0;
          },
          kPatientMs, 50))
          << "the window outlived the player";
    }
    EXPECT_EQ(player.err(), "velaorin: no JACK server answered, nor PipeWire's JACK (pw-jack): "
                            "start jackd (e.g. from QjackCtl) or PipeWire\n");
  }
  // Each launch went through pw-jack exactly once, with its own arguments.
  const std::string calls = readFile(folder.file("pw-jack.log"));
  EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), launches) << calls;
  EXPECT_NE(calls.find("velaorin --desktop --state-file"), std::string::npos) << calls;
  XCloseDisplay(display);
}

// The window's child windows, oldest first; none for no window (0).
std::vector<Window> childrenOf(Display* display, Window parent) {
  Window root = 0, up = 0, *list = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  if (parent != 0 && XQueryTree(display, parent, &root, &up, &list, &count) != 0 &&
      list != nullptr) {
    out.assign(list, list + count);
    XFree(list);
  }
  return out;
}

std::pair<int, int> sizeOf(Display* display, Window window) {
  XWindowAttributes a{};
  if (XGetWindowAttributes(display, window, &a) == 0) return {0, 0};
  return {a.width, a.height};
}

// The window at the panel's scale: with Xft.dpi 192 the panel is 962 x 562, the bar and the
// keyboard twice as tall, and an on-screen key plays where it is drawn; the panel's menu choice
// of 150 % (right-click its background at units (100, 150), the entry at (144, 192)) takes the
// window along. --panel-scale fixes the size, over the screen and the user's choice, also when the
// menu then chooses 200 % (the entry at (144, 208)): that waits for a player without --panel-scale.
// The panel reads its events in order, so the right-click has opened the menu before the
// entry's click is read.
TEST(PlayerGui, TheWindowTakesThePanelsScale) {
  ScratchFolder folder;
  JackServer server(folder.path());
  ASSERT_TRUE(server.up());
  JackProbe probe(server.name(), 60.0);
  ASSERT_TRUE(probe.open());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  ASSERT_EQ(std::system("echo 'Xft.dpi: 192' | xrdb -nocpp -merge"), 0);
  struct Row {
    const char* scale;  // --panel-scale, or null
    double s;
    int panelWidth, panelHeight;
  };
  for (const Row& row : {Row{nullptr, 2.0, 962, 562}, Row{"1.25", 1.25, 601, 351}}) {
    SCOPED_TRACE(row.scale != nullptr ? row.scale : "no --panel-scale");
    std::vector<std::string> args = {VELA_PLAYER, "--no-connect", "--name", "VoScale",
                                     "--state-file", folder.file("state")};
    if (row.scale != nullptr) args.insert(args.end(), {"--panel-scale", row.scale});
    Child player(args, {server.env(), "XDG_CONFIG_HOME=" + folder.path()}, folder.file("player"));
    ASSERT_TRUE(player.waitForOutput("running as JACK client", kPatientMs)) << player.err();
    ASSERT_TRUE(probe.connectTo("VoScale"));
    Window window = 0, area = 0, panel = 0;
    for (int waited = 0; waited < kPatientMs && panel == 0; waited += 50, settle(display, 50)) {
      if (window == 0) window = findWindow(display, DefaultRootWindow(display), "VoScale");
      const std::vector<Window> areas = childrenOf(display, window);
      area = areas.empty() ? 0 : areas[0];
      const std::vector<Window> panels = childrenOf(display, area);
      XWindowAttributes a{};
      if (panels.size() == 1 && XGetWindowAttributes(display, panels[0], &a) != 0 &&
          a.map_state == IsViewable)
        panel = panels[0];
    }
    ASSERT_NE(panel, 0u) << player.err();
    auto pixels = [&](double units) { return static_cast<int>(std::lround(units * row.s)); };
    auto expectLaidOut = [&](int panelWidth, int panelHeight, double s) {
      const int bar = static_cast<int>(std::lround(PlayerWindow::kBarHeight * s));
      const int keys = static_cast<int>(std::lround(PlayerWindow::kKeyboardHeight * s));
      EXPECT_EQ(sizeOf(display, panel), std::make_pair(panelWidth, panelHeight));
      EXPECT_EQ(sizeOf(display, window), std::make_pair(panelWidth, bar + panelHeight + keys));
      int x = 0, y = 0;
      Window child = 0;
      XTranslateCoordinates(display, area, window, 0, 0, &x, &y, &child);
      EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, bar)) << "the panel under the bar";
    };
    expectLaidOut(row.panelWidth, row.panelHeight, row.s);
    if (row.scale == nullptr) {
      settle(display, 300);  // for the picture only: the panel's first paint
      saveScreen(display, VELA_ARTIFACTS "/player-200.png");
    }

    int left = 0, top = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top, &child);
    const int keyboardTop = top + pixels(PlayerWindow::kBarHeight) + row.panelHeight;
    const keyboard::Rect g =
        keyboard::keyRect(7, row.panelWidth, pixels(PlayerWindow::kKeyboardHeight));
    XTestFakeMotionEvent(display, -1, left + g.x + g.width / 2, keyboardTop + g.height - 10,
                         CurrentTime);
    XSync(display, False);
    const int64_t pressed = probe.frame();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XSync(display, False);
    EXPECT_GE(probe.waitForSound(pressed), 0) << "the key under the pointer plays";
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);

    // The menu's 150 %: the window follows the panel, unless its scale is fixed.
    auto unitsOnScreen = [&](int x, int y) {
      XTestFakeMotionEvent(display, -1, left + static_cast<int>(std::floor((x + 0.5) * row.s)),
                           top + pixels(PlayerWindow::kBarHeight) +
                               static_cast<int>(std::floor((y + 0.5) * row.s)),
                           CurrentTime);
    };
    unitsOnScreen(100, 150);
    XTestFakeButtonEvent(display, 3, True, CurrentTime);
    XTestFakeButtonEvent(display, 3, False, CurrentTime);
    unitsOnScreen(144, row.scale == nullptr ? 192 : 208);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    const std::string choice = row.scale == nullptr ? "scale=1.5\n" : "scale=2\n";
    const std::string choiceFile = folder.path() + "/velaorin/panel";
    for (int waited = 0; waited < kPatientMs && readFile(choiceFile) != choice; waited += 50)
      settle(display, 50);
    EXPECT_EQ(readFile(choiceFile), choice);
    if (row.scale == nullptr) {
      for (int waited = 0; waited < kPatientMs && (sizeOf(display, window).first != 722 ||
                                                   sizeOf(display, panel).first != 722);
           waited += 50)
        settle(display, 50);
      expectLaidOut(722, 422, 1.5);
    } else {
      settle(display, 50);  // the panel's refused request came just after the file
      expectLaidOut(row.panelWidth, row.panelHeight, row.s);
    }
    closeAsWindowManager(display, window);
    XSync(display, False);
    EXPECT_EQ(player.wait(kPatientMs), 0) << player.err();
    EXPECT_TRUE(probe.waitForPort("VoScale:midi_in", false, kPatientMs));
  }
  std::system("xrdb -remove");
  XCloseDisplay(display);
}

}  // namespace
