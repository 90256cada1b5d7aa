// A small X11 host: a top-level window of its own as the parent, the plug-in loaded through
// VSTPluginMain, the editor opcodes sent as hosts send them and idle calls. Runs under the Xvfb
// that its CTest entry starts; XTest moves the pointer and presses buttons.
// No wait depends on the machine's speed: the panel's idle starts with a round trip to the
// server, so input sent (and synced) before an idle call is handled by that call, and the panel
// polls the parameters at the first idle call at least one poll interval after a change.
// The panel's scale: each test has a configuration folder of its own for the user's choice, and
// sets the screen's Xft.dpi with xrdb where it needs one.
// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <cairo.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../../editor/PanelConstants.h"
#include "DAEffectX.h"
#include "PluginLoader.h"
#include "RecordingHost.h"
#include "X11HostWindow.h"

namespace {

// The window pixel at the middle of panel unit `unit` when the panel is drawn at `scale`.
int pixelAt(int unit, double scale) { return static_cast<int>(std::floor((unit + 0.5) * scale)); }

// The screen's Xft.dpi as desktops set it, until destruction; 0 leaves the screen without one.
class ScreenDpi {
 public:
  explicit ScreenDpi(int dpi) {
    if (dpi > 0)
      set = std::system(("echo 'Xft.dpi: " + std::to_string(dpi) + "' | xrdb -nocpp -merge")
                            .c_str()) == 0;
  }
  ~ScreenDpi() {
    if (set) std::system("xrdb -remove");
  }
  ScreenDpi(const ScreenDpi&) = delete;
  ScreenDpi& operator=(const ScreenDpi&) = delete;
  bool set = false;
};

// What the process writes to stderr while `action` runs.
std::string stderrOf(const std::function<void()>& action) {
  std::fflush(stderr);
  const int saved = dup(2);
  FILE* capture = std::tmpfile();
  dup2(fileno(capture), 2);
  action();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::rewind(capture);
  std::string text;
  for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture))
    text.push_back(static_cast<char>(c));
  std::fclose(capture);
  return text;
}

// A window's pixels as a PNG (scripts/show-panel.sh).
void savePicture(Display* display, Window window, int width, int height, const char* png) {
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  auto* rows = cairo_image_surface_get_data(shot);
  const int stride = cairo_image_surface_get_stride(shot);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      reinterpret_cast<uint32_t*>(rows + y * stride)[x] =
          static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
  cairo_surface_mark_dirty(shot);
  EXPECT_EQ(cairo_surface_write_to_png(shot, png), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(shot);
  XDestroyImage(image);
}

struct Click {
  const char* what;
  int x, y;        // panel pixels where the button goes down
  int dx, dy;      // drag before the release (0, 0: a plain click)
  unsigned button;  // 1 left, 4 wheel up
  int32_t index;   // parameter of the one gesture expected
  float value;     // its one write
};

struct X11Host : testing::Test, X11HostWindow {
  void SetUp() override {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    // The user's choice of scale lives here: never the real one of whoever runs the tests.
    char folder[] = "/tmp/vela-x11-config-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    configFolder = folder;
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    previousConfig = previous != nullptr ? previous : "";
    setenv("XDG_CONFIG_HOME", folder, 1);
    ASSERT_TRUE(openWindow()) << "the CTest entry runs this under scripts/x11-test.sh";
    RecordingHost::instance().reset();
    effect = builtPlugin().entry("VSTPluginMain")(&RecordingHost::callback);
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect != nullptr) dispatch(effect, effClose);
    if (!configFolder.empty()) {
      std::filesystem::remove_all(configFolder);
      if (previousConfig.empty()) unsetenv("XDG_CONFIG_HOME");
      else setenv("XDG_CONFIG_HOME", previousConfig.c_str(), 1);
    }
    EXPECT_EQ(closeWindow(), 0) << "an X error reached the host's handler";
  }

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

  // Pointer input is handled by an idle call.
  void afterInput() override { settle(); }
  void perform(const Click& c) {
    moveTo(c.x, c.y);
    button(c.button, true);
    if (c.dx != 0 || c.dy != 0) moveTo(c.x + c.dx, c.y + c.dy);
    button(c.button, false);
  }

  std::string edits() { return RecordingHost::instance().edits(); }

  std::string choiceFile() const { return configFolder + "/velaorin/panel"; }
  void writeChoice(const std::string& text) {
    std::filesystem::create_directories(configFolder + "/velaorin");
    std::ofstream(choiceFile(), std::ios::binary | std::ios::trunc) << text;
  }
  std::string readChoice() const {
    std::ostringstream text;
    text << std::ifstream(choiceFile(), std::ios::binary).rdbuf();
    return text.str();
  }
  // effEditGetRect's width and height.
  std::pair<int, int> rect() {
    ERect* r = nullptr;
    if (dispatch(effect, effEditGetRect, 0, 0, &r) != 1 || r == nullptr) return {0, 0};
    return {r->right - r->left, r->bottom - r->top};
  }
  // The panel window's width and height; 0, 0 when there is none.
  std::pair<int, int> panelSize() {
    const std::vector<Window> panel = children(top);
    XWindowAttributes a{};
    if (panel.size() != 1 || XGetWindowAttributes(display, panel[0], &a) == 0) return {0, 0};
    return {a.width, a.height};
  }
  // Pixels of the panel window, 0xRRGGBB, row by row; empty when there is none.
  std::vector<uint32_t> panelPixels(int x, int y, int width = 1, int height = 1) {
    const std::vector<Window> panel = children(top);
    std::vector<uint32_t> pixels;
    XImage* image = panel.size() != 1
                        ? nullptr
                        : XGetImage(display, panel[0], x, y, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column)
        pixels.push_back(static_cast<uint32_t>(XGetPixel(image, column, row) & 0xFFFFFF));
    XDestroyImage(image);
    return pixels;
  }
  uint32_t panelPixel(int x, int y) {
    const std::vector<uint32_t> pixel = panelPixels(x, y);
    return pixel.empty() ? 0xFFFFFFFF : pixel[0];
  }
  // Button `number` pressed and released at panel unit (x, y) of a panel drawn at `scale`.
  void clickUnits(int x, int y, double scale, unsigned number = 1) {
    moveTo(pixelAt(x, scale), pixelAt(y, scale));
    button(number, true);
    button(number, false);
  }

  std::string configFolder, previousConfig;
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
  XDestroyImage(image);
  if (const char* png = std::getenv("VELA_PANEL_PNG"))
    savePicture(display, panel[0], 481, 281, png);
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
    EXPECT_EQ(XSetErrorHandler(&countError), &countError) << "host's handler is back";
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

// The panel at each scale: the size the host is told before opening and the window's; then every
// control, pressed at its middle and dragged a fixed distance in panel units, writes what it
// writes at scale 1. Places in panel units, worked out by hand as above; each scale starts from
// a new instance, so from the same values.
TEST_F(X11Host, EveryControlAnswersWhereItIsDrawnAtEveryScale) {
  struct Scale {
    const char* choice;
    double scale;
    int width, height;  // lround(481 s) x lround(281 s)
  };
  const Scale scales[] = {{"scale=1\n", 1.0, 481, 281},     {"scale=1.25\n", 1.25, 601, 351},
                          {"scale=1.5\n", 1.5, 722, 422},   {"scale=2\n", 2.0, 962, 562},
                          {"scale=3\n", 3.0, 1443, 843}};
  struct Hand {
    const char* what;
    int x, y, dx, dy;  // press, drag by, release
  };
  const Hand hands[] = {
      {"Tsumami1", 100, 100, 10, -6},         {"Tsumami2", 260, 100, 10, -6},
      {"Tsumami3", 136, 224, 10, -6},         {"Tsumami4", 176, 224, -10, 6},
      {"Tsumami5", 216, 224, 10, -6},         {"TrackBar1 thumb", 88, 66, 20, 0},
      {"TrackBar2 thumb", 240, 66, -20, 0},   {"TrackBar3 thumb", 352, 125, 0, -30},
      {"TrackBar4 thumb", 384, 125, 0, -30},  {"TrackBar5 thumb", 416, 88, 0, 15},
      {"TrackBar6 thumb", 448, 125, 0, -30},  {"CheckBox1", 40, 128, 0, 0},
      {"CheckBox2", 192, 128, 0, 0},          {"radio HiPass", 30, 250, 0, 0},
      {"radio BandPass", 30, 229, 0, 0},      {"radio LowPass", 30, 208, 0, 0},
  };
  XResizeWindow(display, top, 1500, 900);  // room for the panel at 300 %
  std::vector<std::string> atScale1;
  for (const Scale& scale : scales) {
    SCOPED_TRACE(scale.choice);
    writeChoice(scale.choice);
    if (effect != nullptr) dispatch(effect, effClose);
    effect = builtPlugin().entry("VSTPluginMain")(&RecordingHost::callback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(rect(), std::make_pair(scale.width, scale.height)) << "before the panel opens";
    ASSERT_EQ(open(), 1);
    idleThroughAPoll();
    EXPECT_EQ(panelSize(), std::make_pair(scale.width, scale.height));
    EXPECT_EQ(rect(), std::make_pair(scale.width, scale.height));
    const char* png = std::getenv("VELA_PANEL_200_PNG");
    if (png != nullptr && scale.scale == 2.0)
      savePicture(display, children(top).at(0), scale.width, scale.height, png);
    for (size_t i = 0; i < std::size(hands); ++i) {
      const Hand& hand = hands[i];
      SCOPED_TRACE(hand.what);
      RecordingHost::instance().calls.clear();
      moveTo(pixelAt(hand.x, scale.scale), pixelAt(hand.y, scale.scale));
      button(1, true);
      if (hand.dx != 0 || hand.dy != 0)
        moveTo(pixelAt(hand.x + hand.dx, scale.scale), pixelAt(hand.y + hand.dy, scale.scale));
      button(1, false);
      if (scale.scale == 1.0) {
        EXPECT_NE(edits(), "") << "every hand changes its control";
        atScale1.push_back(edits());
      } else {
        EXPECT_EQ(edits(), atScale1.at(i));
      }
    }
    dispatch(effect, effEditClose);
  }
}

// Where the scale comes from when the host says nothing: the user's choice, then the screen's
// Xft.dpi over 96, then 1; clamped to 1..3. A damaged choice is ignored with one line on stderr
// for each panel opened, none for the host asking the size before. A host of ours (the player's
// --scale) answers the vendor-specific question with a binding scale in hundredths; an answer
// outside 100..300 is no scale.
TEST_F(X11Host, TheScaleComesFromTheUsersChoiceThenTheScreen) {
  struct Row {
    int dpi;
    const char* choice;  // null: no file
    int width, height;
    bool damaged;
    intptr_t hostAnswer = 0;
  };
  const Row rows[] = {
      {0, nullptr, 481, 281, false},
      {192, nullptr, 962, 562, false},
      {144, nullptr, 722, 422, false},
      {192, "scale=1.5\n", 722, 422, false},
      {192, "scale=auto\n", 962, 562, false},
      {0, "scale=1.25", 601, 351, false},
      {0, "scale=7\n", 1443, 843, false},
      {0, "scale=0.5\n", 481, 281, false},
      {192, "scale=big\n", 962, 562, true},
      {0, "", 481, 281, true},
      {0, "scale=1.5\nscale=2\n", 481, 281, true},
      {0, "Scale=2\n", 481, 281, true},
      {0, "scale=nan\n", 481, 281, true},
      {192, "scale=2\n", 601, 351, false, 125},
      {192, nullptr, 962, 562, false, 1},
  };
  XResizeWindow(display, top, 1500, 900);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "Xft.dpi " << row.dpi << ", file "
                                    << (row.choice != nullptr ? row.choice : "(none)")
                                    << ", the host's answer " << row.hostAnswer);
    RecordingHost::instance().answers[audioMasterVendorSpecific] = row.hostAnswer;
    ScreenDpi dpi(row.dpi);
    ASSERT_EQ(dpi.set, row.dpi > 0) << "xrdb";
    std::filesystem::remove(choiceFile());
    if (row.choice != nullptr) writeChoice(row.choice);
    std::pair<int, int> before, opened;
    EXPECT_EQ(stderrOf([&] { before = rect(); }), "");
    const std::string said = stderrOf([&] {
      ASSERT_EQ(open(), 1);
      settle();
      opened = panelSize();
    });
    EXPECT_EQ(before, std::make_pair(row.width, row.height));
    EXPECT_EQ(opened, std::make_pair(row.width, row.height));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), row.damaged ? 1 : 0) << said;
    if (row.damaged) {
      EXPECT_NE(said.find(choiceFile()), std::string::npos) << said;
    }
    dispatch(effect, effEditClose);
  }
}

// A right-click on the panel's background opens the scale menu (not on a control, whose
// right-click does nothing), Automatic marked. A choice is written at once; the panel asks the
// host with sizeWindow and takes the size when the host agrees; the next panel reads the choice.
// When the host refuses, the panel keeps its size until it opens again.
TEST_F(X11Host, TheMenuChoiceAsksTheHostIsWrittenAndReadByTheNextPanel) {
  XResizeWindow(display, top, 1500, 900);
  // The menu opened at unit (100, 150): entries of 16 units from (102, 152), marks at x 109.
  constexpr int kMenuX = 100, kMenuY = 150, kEntryX = 144, kMarkX = 109;
  auto entryY = [](int entry) {
    return kMenuY + kScaleMenuBorder + entry * kScaleMenuItemHeight + 8;
  };
  constexpr int k150 = 2, kAutomatic = 6;
  auto sizeRequests = [] {
    std::vector<std::pair<int, int>> requests;
    for (const HostCall& call : RecordingHost::instance().callsWith(audioMasterSizeWindow))
      requests.emplace_back(call.index, static_cast<int>(call.value));
    return requests;
  };

  ASSERT_EQ(open(), 1);
  settle();
  const std::vector<uint32_t> closed = panelPixels(0, 0, 481, 281);
  clickUnits(100, 100, 1.0, 3);  // the FB1 knob
  EXPECT_EQ(panelPixels(0, 0, 481, 281), closed) << "no menu over a control";
  clickUnits(kMenuX, kMenuY, 1.0, 3);
  EXPECT_NE(panelPixels(0, 0, 481, 281), closed);
  EXPECT_EQ(panelPixel(kMarkX, entryY(kAutomatic)), 0x000000u) << "Automatic marked";
  EXPECT_NE(panelPixel(kMarkX, entryY(k150)), 0x000000u);
  RecordingHost::instance().answers[audioMasterSizeWindow] = 1;
  RecordingHost::instance().calls.clear();
  clickUnits(kEntryX, entryY(k150), 1.0);
  EXPECT_EQ(sizeRequests(), (std::vector<std::pair<int, int>>{{722, 422}}));
  EXPECT_EQ(panelSize(), std::make_pair(722, 422));
  EXPECT_EQ(rect(), std::make_pair(722, 422));
  EXPECT_EQ(readChoice(), "scale=1.5\n");
  EXPECT_EQ(edits(), "") << "the menu writes no parameter";
  dispatch(effect, effEditClose);

  // The next panel: at 150 %, the choice marked; a host that refuses Automatic.
  EXPECT_EQ(rect(), std::make_pair(722, 422));
  ASSERT_EQ(open(), 1);
  settle();
  EXPECT_EQ(panelSize(), std::make_pair(722, 422));
  clickUnits(kMenuX, kMenuY, 1.5, 3);
  EXPECT_EQ(panelPixel(pixelAt(kMarkX, 1.5), pixelAt(entryY(k150), 1.5)), 0x000000u);
  RecordingHost::instance().answers[audioMasterSizeWindow] = 0;
  RecordingHost::instance().calls.clear();
  clickUnits(kEntryX, entryY(kAutomatic), 1.5);
  EXPECT_EQ(sizeRequests(), (std::vector<std::pair<int, int>>{{481, 281}}));
  EXPECT_EQ(panelSize(), std::make_pair(722, 422)) << "refused: the size stays";
  EXPECT_EQ(rect(), std::make_pair(722, 422));
  EXPECT_EQ(readChoice(), "scale=auto\n");
  dispatch(effect, effEditClose);
  EXPECT_EQ(rect(), std::make_pair(481, 281)) << "and applies at the next opening";
}

}  // namespace
