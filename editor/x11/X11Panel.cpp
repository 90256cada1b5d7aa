// The Linux panel: one X11 child window of the host's window, drawn with cairo. It keeps its own
// display connection (hosts use theirs from other threads), and everything happens inside the
// host's editor calls on the UI thread: events, the poll and painting run from idle.
// It draws at any scale from 1 to 3 (PanelScale.h) and maps the pointer back to panel units, so
// every control answers where it is drawn and a drag moves it as far for the same distance in
// panel units.
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "PanelControls.h"
#include "PanelPainter.h"
#include "PanelScale.h"
#include "ScaleChoiceFile.h"
#include "Unit1.h"

namespace velax11 {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollInterval{kPollIntervalMs};
constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | StructureNotifyMask;

// Xlib reports errors to one process-wide handler, and the default one ends the process. While
// a trap is set, errors on our own connection are counted and kept from the host; errors on any
// other connection still reach the handler that was there before.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    trapped = display;
    errors = 0;
    previous = XSetErrorHandler(&ErrorTrap::handler);
  }
  ~ErrorTrap() {
    XSync(display_, False);  // errors of our requests arrive before the handler goes back
    XSetErrorHandler(previous);
    trapped = nullptr;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  bool failed() {
    XSync(display_, False);
    return errors > 0;
  }

 private:
  static int handler(Display* display, XErrorEvent* event) {
    if (display == trapped) {
      ++errors;
      return 0;
    }
    return previous != nullptr ? previous(display, event) : 0;
  }

  Display* display_;
  static inline Display* trapped = nullptr;
  static inline int errors = 0;
  static inline XErrorHandler previous = nullptr;
};

// A knob's link to the window: repaint requests mark the panel for drawing. Capture needs no
// request: X grabs the pointer for the window that took a button press until its release.
class KnobLink final : public KnobWindow {
 public:
  explicit KnobLink(bool& dirty) : dirty_(dirty) {}
  void invalidate() override { dirty_ = true; }
  void captureMouse() override {}
  void releaseMouse() override {}

 private:
  bool& dirty_;
};

// The screen's word: its Xft.dpi resource (as desktops set it, and xrdb) over 96; 0 without one.
double screenScale(Display* display) {
  const char* resources = XResourceManagerString(display);
  if (resources == nullptr) return 0.0;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(resources);
  if (database == nullptr) return 0.0;
  char* type = nullptr;
  XrmValue value{};
  double dpi = 0.0;
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) != 0 && value.addr != nullptr) {
    // Not strtod: the host's locale may want a decimal comma.
    std::string_view text(value.addr);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), dpi);
    if (error != std::errc() || end != text.data() + text.size()) dpi = 0.0;
  }
  XrmDestroyDatabase(database);
  return velapanel::screenScaleFromDpi(dpi);
}

// Embedding hosts (suil for LV2) size their socket from these: the panel has one size at a time.
void setSizeHints(Display* display, Window window, velapanel::PanelSize size) {
  XSizeHints hints{};
  hints.flags = PMinSize | PMaxSize | PBaseSize;
  hints.min_width = hints.max_width = hints.base_width = size.width;
  hints.min_height = hints.max_height = hints.base_height = size.height;
  XSetWMNormalHints(display, window, &hints);
}

// Where the panel's scale comes from; the scale is resolved from them whenever one changes.
struct ScaleWords {
  double userChoice = 0.0;  // 0: Automatic
  velapanel::HostScale host;
  double screen = 0.0;
  double resolved() const { return velapanel::resolveScale(userChoice, host, screen); }
};

class X11Panel final : public PanelWindow, public PanelControls {
 public:
  X11Panel(Display* display, Window window, Visual* visual, ScaleWords words);
  ~X11Panel() override;
  X11Panel(const X11Panel&) = delete;
  X11Panel& operator=(const X11Panel&) = delete;

  // PanelWindow
  TForm1& form() override { return *form_; }
  void show() override;
  void repaint() override { repaintNow(); }
  int32_t outerWidth() const override { return size.width; }
  int32_t outerHeight() const override { return size.height; }
  uintptr_t nativeWindow() const override { return window; }
  void hide() override;
  int eventDescriptor() const override { return ConnectionNumber(display); }
  void idle() override;
  void setHostScale(velapanel::HostScale host) override;
  void setSizeRequest(SizeRequest request) override { sizeRequest = std::move(request); }

  // PanelControls
  int32_t trackBarPosition(int32_t trackBar) const override;
  int32_t radioIndex() const override { return view.radio; }
  bool checked(int32_t checkBox) const override;
  void repaintNow() override;

 protected:
  void showTrackBarPosition(int32_t trackBar, int32_t position) override;
  void showRadioIndex(int32_t index) override;
  void showChecked(int32_t checkBox, bool state) override;

 private:
  enum class Drag { Idle, Thumb, Knob };

  void readEvents();
  void handle(const XEvent& event);
  void press(const XButtonEvent& event);
  void move(const XMotionEvent& event);
  void release();
  bool leftButtonHeld();
  void draw();
  int32_t units(int32_t pixel) const { return velapanel::toPanelUnits(pixel, scale); }
  void menuPress(int32_t x, int32_t y);
  void choose(double choice);
  void applyScale(double newScale);

  Display* display;
  Window window;
  ScaleWords words;
  double scale;
  velapanel::PanelSize size;
  bool shown = false;
  SizeRequest sizeRequest;
  bool windowAlive = true;  // false once the host destroyed its window (and ours with it)
  cairo_surface_t* screen = nullptr;
  cairo_surface_t* backing = nullptr;
  bool dirty = true;
  PanelView view;
  std::array<KnobLink, kKnobCount> knobLinks{KnobLink{dirty}, KnobLink{dirty}, KnobLink{dirty},
                                            KnobLink{dirty}, KnobLink{dirty}};
  std::unique_ptr<TForm1> form_;
  Clock::time_point nextPoll;
  Drag drag = Drag::Idle;
  int32_t dragControl = 0;  // TrackBar<n> or Tsumami<n>
  int32_t thumbGrabOffset = 0;
};

X11Panel::X11Panel(Display* d, Window w, Visual* visual, ScaleWords scaleWords)
    : display(d),
      window(w),
      words(scaleWords),
      scale(words.resolved()),
      size(velapanel::scaledPanelSize(scale)) {
  screen = cairo_xlib_surface_create(display, window, visual, size.width, size.height);
  backing = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height);
  form_ = std::make_unique<TForm1>(*this);
  for (int32_t n = 1; n <= kKnobCount; ++n) {
    form_->knob(n).setWindow(&knobLinks[static_cast<size_t>(n - 1)]);
    view.knobs[static_cast<size_t>(n - 1)] = &form_->knob(n);
  }
  nextPoll = Clock::now() + kPollInterval;
}

X11Panel::~X11Panel() {
  for (int32_t n = 1; n <= kKnobCount; ++n) form_->knob(n).setWindow(nullptr);
  cairo_surface_destroy(backing);
  cairo_device_t* device = cairo_device_reference(cairo_surface_get_device(screen));
  cairo_surface_destroy(screen);
  if (device != nullptr) {
    cairo_device_finish(device);  // drops what cairo keeps for this connection
    cairo_device_destroy(device);
  }
  {
    ErrorTrap trap(display);
    if (windowAlive) XDestroyWindow(display, window);
  }
  XCloseDisplay(display);
  form_.reset();
}

void X11Panel::show() {
  shown = true;
  if (!windowAlive) return;
  ErrorTrap trap(display);
  XMapRaised(display, window);
}

void X11Panel::hide() {
  if (!windowAlive) return;
  ErrorTrap trap(display);
  XUnmapWindow(display, window);
}

void X11Panel::setHostScale(velapanel::HostScale host) {
  words.host = host;
  applyScale(words.resolved());
}

// Before the panel is shown nobody has sized a window for it yet: it simply takes the new size.
// Once shown, the host decides; it may ask for the size while deciding and then sees the new one.
void X11Panel::applyScale(double newScale) {
  if (newScale == scale) return;
  const double oldScale = scale;
  const velapanel::PanelSize oldSize = size;
  scale = newScale;
  size = velapanel::scaledPanelSize(scale);
  if (shown && sizeRequest && !sizeRequest(size.width, size.height)) {
    scale = oldScale;  // the new size waits for the next opening
    size = oldSize;
    return;
  }
  view.menu.open = false;
  cairo_surface_destroy(backing);
  backing = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height);
  cairo_xlib_surface_set_size(screen, size.width, size.height);
  dirty = true;
  if (!windowAlive) return;
  ErrorTrap trap(display);
  XResizeWindow(display, window, static_cast<unsigned>(size.width),
                static_cast<unsigned>(size.height));
  setSizeHints(display, window, size);
}

// The choice applies to this panel at once and, through the file, to every panel opened later.
void X11Panel::choose(double choice) {
  words.userChoice = choice;
  const std::string problem = velax11::writeScaleChoice(velax11::scaleChoicePath(), choice);
  if (!problem.empty())
    std::fprintf(stderr, "VelaOrin panel: the choice is not kept: %s\n", problem.c_str());
  applyScale(words.resolved());
}

void X11Panel::idle() {
  ErrorTrap trap(display);
  // A round trip first: whatever the server sent before this call is handled in this call.
  XSync(display, False);
  readEvents();
  // A drag whose release went elsewhere (our window unmapped or gone while the button was held)
  // ends once the button is up; a release still on its way is read first.
  if (drag != Drag::Idle && !leftButtonHeld()) {
    readEvents();
    if (drag != Drag::Idle) release();
  }
  const Clock::time_point now = Clock::now();
  if (now >= nextPoll) {
    nextPoll += kPollInterval;
    if (nextPoll <= now) nextPoll = now + kPollInterval;  // a host that paused idle calls
    form_->Timer1Timer();
  }
  if (dirty) draw();
}

void X11Panel::readEvents() {
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    handle(event);
  }
}

bool X11Panel::leftButtonHeld() {
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
  return (mask & Button1Mask) != 0;
}

void X11Panel::handle(const XEvent& event) {
  if (event.xany.window != window) return;
  switch (event.type) {
    case Expose: dirty = true; break;
    case ButtonPress: press(event.xbutton); break;
    case MotionNotify: move(event.xmotion); break;
    case ButtonRelease:
      if (event.xbutton.button == Button1) release();
      break;
    case DestroyNotify:
      windowAlive = false;
      release();
      break;
    default: break;
  }
}

void X11Panel::press(const XButtonEvent& event) {
  const int32_t x = units(event.x), y = units(event.y);
  if (view.menu.open) {
    menuPress(x, y);
    return;
  }
  if (event.button == Button3 && drag == Drag::Idle && !onControl(x, y)) {
    view.menu = {true, scaleMenuBox(x, y), velapanel::scaleMenuEntryOf(words.userChoice), -1};
    dirty = true;
    return;
  }
  if (event.button == Button4 || event.button == Button5) {
    // The wheel steps a slider by one line; up raises the value (right, or up the slider).
    for (int32_t n = 1; n <= kTrackBarCount; ++n) {
      const TrackBarGeometry g = trackBarGeometry(n);
      if (!g.box.contains(x, y)) continue;
      const int32_t up = event.button == Button4 ? 1 : -1;
      userMoveTrackBar(n, trackBarPosition(n) + (g.vertical ? -up : up));
    }
    return;
  }
  if (event.button != Button1 || drag != Drag::Idle) return;

  for (int32_t n = 1; n <= kKnobCount; ++n) {
    if (!knobBox(n).contains(x, y)) continue;
    drag = Drag::Knob;
    dragControl = n;
    form_->knob(n).MouseDown({x, y});
    return;
  }
  for (int32_t n = 1; n <= kTrackBarCount; ++n) {
    const TrackBarGeometry g = trackBarGeometry(n);
    if (!g.box.contains(x, y)) continue;
    const int32_t position = trackBarPosition(n);
    const int32_t along = g.vertical ? y : x;
    if (g.thumb(position).contains(x, y)) {
      drag = Drag::Thumb;
      dragControl = n;
      thumbGrabOffset = along - g.thumbCentre(position);
      form_->beginGesture(TForm1::ControlKind::TrackBar, n);
    } else {
      // A click beside the thumb moves it one page towards the pointer.
      const int32_t direction = along < g.thumbCentre(position) ? -1 : 1;
      userMoveTrackBar(n, position + direction * g.pageStep());
    }
    return;
  }
  for (int32_t n = 1; n <= kCheckBoxCount; ++n) {
    if (!checkBoxBox(n).contains(x, y)) continue;
    setChecked(n, !checked(n));
    return;
  }
  for (int32_t i = 0; i < kRadioItemCount; ++i) {
    if (!radioItemBox(i).contains(x, y)) continue;
    setRadioIndex(i);
    return;
  }
}

// Any press while the menu is open closes it; one on an entry chooses it first.
void X11Panel::menuPress(int32_t x, int32_t y) {
  const int32_t entry = scaleMenuItemAt(view.menu.box, x, y);
  view.menu.open = false;
  dirty = true;
  if (entry >= 0) choose(velapanel::kScaleMenu[static_cast<size_t>(entry)].choice);
}

void X11Panel::move(const XMotionEvent& event) {
  const int32_t x = units(event.x), y = units(event.y);
  if (view.menu.open) {
    const int32_t hovered = scaleMenuItemAt(view.menu.box, x, y);
    if (hovered != view.menu.hovered) dirty = true;
    view.menu.hovered = hovered;
  } else if (drag == Drag::Knob) {
    // In panel units, not screen pixels: the knob turns as far for the same distance in panel
    // units at every scale. The pointer grab reports window coordinates beyond its edge too.
    form_->knob(dragControl).MouseMove({x, y});
  } else if (drag == Drag::Thumb) {
    const TrackBarGeometry g = trackBarGeometry(dragControl);
    const int32_t along = (g.vertical ? y : x) - thumbGrabOffset;
    userMoveTrackBar(dragControl, g.positionAt(along));
  }
}

void X11Panel::release() {
  if (drag == Drag::Knob) form_->knob(dragControl).MouseUp();
  if (drag == Drag::Thumb) form_->endGesture(TForm1::ControlKind::TrackBar, dragControl);
  drag = Drag::Idle;
}

int32_t X11Panel::trackBarPosition(int32_t trackBar) const {
  if (trackBar < 1 || trackBar > kTrackBarCount) return 0;
  return view.trackBars[static_cast<size_t>(trackBar - 1)];
}

void X11Panel::showTrackBarPosition(int32_t trackBar, int32_t position) {
  view.trackBars[static_cast<size_t>(trackBar - 1)] = position;
  dirty = true;
}

void X11Panel::showRadioIndex(int32_t index) {
  view.radio = index;
  dirty = true;
}

bool X11Panel::checked(int32_t checkBox) const {
  if (checkBox < 1 || checkBox > kCheckBoxCount) return false;
  return view.checks[static_cast<size_t>(checkBox - 1)];
}

void X11Panel::showChecked(int32_t checkBox, bool state) {
  view.checks[static_cast<size_t>(checkBox - 1)] = state;
  dirty = true;
}

void X11Panel::repaintNow() {
  if (form_) form_->FormPaint();
  if (dirty) draw();
}

void X11Panel::draw() {
  dirty = false;
  if (!windowAlive) return;
  cairo_t* cr = cairo_create(backing);
  paintPanel(cr, view, scale);
  cairo_destroy(cr);
  cairo_surface_flush(backing);
  cr = cairo_create(screen);
  cairo_set_source_surface(cr, backing, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(screen);
  XFlush(display);
}

}  // namespace
}  // namespace velax11

std::unique_ptr<PanelWindow> createNativePanel(void* parent, velapanel::HostScale host) {
  const auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  if (parentWindow == 0) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  velax11::ScaleWords words;
  words.host = host;
  words.screen = velax11::screenScale(display);
  const velax11::StoredScaleChoice stored = velax11::readScaleChoice(velax11::scaleChoicePath());
  words.userChoice = stored.choice;
  const velapanel::PanelSize size = velapanel::scaledPanelSize(words.resolved());
  Window window = 0;
  Visual* visual = nullptr;
  {
    // The host's window may be gone or not yet known to the server: then no panel, and no
    // error reaches the host's handler.
    velax11::ErrorTrap trap(display);
    XWindowAttributes parentAttributes{};
    if (XGetWindowAttributes(display, parentWindow, &parentAttributes) != 0 && !trap.failed() &&
        parentAttributes.c_class == InputOutput) {
      XSetWindowAttributes attributes{};
      attributes.event_mask = velax11::kEventMask;
      attributes.colormap = parentAttributes.colormap;
      attributes.border_pixel = 0;
      attributes.background_pixmap = None;
      visual = parentAttributes.visual;
      window = XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(size.width),
                             static_cast<unsigned>(size.height), 0, parentAttributes.depth,
                             InputOutput, visual,
                             CWEventMask | CWColormap | CWBorderPixel | CWBackPixmap, &attributes);
      if (window != 0) velax11::setSizeHints(display, window, size);
      if (trap.failed()) window = 0;
    }
  }
  if (window == 0) {
    XCloseDisplay(display);
    return nullptr;
  }
  // A damaged choice: one line for each panel opened, and the panel goes on automatically.
  if (!stored.problem.empty())
    std::fprintf(stderr, "VelaOrin panel: %s; scale chosen automatically\n",
                 stored.problem.c_str());
  try {
    return std::make_unique<velax11::X11Panel>(display, window, visual, words);
  } catch (...) {
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return nullptr;
  }
}

velapanel::PanelSize nativePanelSize(velapanel::HostScale host) {
  velax11::ScaleWords words;
  words.host = host;
  words.userChoice = velax11::readScaleChoice(velax11::scaleChoicePath()).choice;
  // The screen is asked only when nothing before it speaks: that takes a connection of its own.
  if (velapanel::clampScale(words.userChoice) == 0.0 && velapanel::clampScale(host.scale) == 0.0) {
    if (Display* display = XOpenDisplay(nullptr)) {
      words.screen = velax11::screenScale(display);
      XCloseDisplay(display);
    }
  }
  return velapanel::scaledPanelSize(words.resolved());
}
