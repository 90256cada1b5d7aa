// The Linux panel: one X11 child window of the host's window, drawn with cairo. It keeps its own
// display connection (hosts use theirs from other threads), and everything happens inside the
// host's editor calls on the editor thread: events, the poll and painting run from idle.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

#include "PanelControls.h"
#include "PanelPainter.h"
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

class X11Panel final : public PanelWindow, public PanelControls {
 public:
  X11Panel(Display* display, Window window, Visual* visual);
  ~X11Panel() override;
  X11Panel(const X11Panel&) = delete;
  X11Panel& operator=(const X11Panel&) = delete;

  // PanelWindow
  TForm1& form() override { return *form_; }
  void show() override;
  void repaint() override { repaintNow(); }
  int32_t outerWidth() const override { return kPanelWidth; }
  int32_t outerHeight() const override { return kPanelHeight; }
  uintptr_t nativeWindow() const override { return window; }
  int eventDescriptor() const override { return ConnectionNumber(display); }
  void idle() override;

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

  Display* display;
  Window window;
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

X11Panel::X11Panel(Display* d, Window w, Visual* visual) : display(d), window(w) {
  screen = cairo_xlib_surface_create(display, window, visual, kPanelWidth, kPanelHeight);
  backing = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelWidth, kPanelHeight);
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
  if (!windowAlive) return;
  ErrorTrap trap(display);
  XMapRaised(display, window);
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
  const int32_t x = event.x, y = event.y;
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
    form_->knob(n).MouseDown({event.x_root, event.y_root});
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

void X11Panel::move(const XMotionEvent& event) {
  if (drag == Drag::Knob) {
    form_->knob(dragControl).MouseMove({event.x_root, event.y_root});
  } else if (drag == Drag::Thumb) {
    const TrackBarGeometry g = trackBarGeometry(dragControl);
    const int32_t along = (g.vertical ? event.y : event.x) - thumbGrabOffset;
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
  paintPanel(cr, view);
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

std::unique_ptr<PanelWindow> createNativePanel(void* parent) {
  const auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  if (parentWindow == 0) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
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
      window = XCreateWindow(display, parentWindow, 0, 0, kPanelWidth, kPanelHeight, 0,
                             parentAttributes.depth, InputOutput, visual,
                             CWEventMask | CWColormap | CWBorderPixel | CWBackPixmap, &attributes);
      // A fixed size: embedding hosts (suil for LV2) size their socket from these hints.
      XSizeHints hints{};
      hints.flags = PMinSize | PMaxSize | PBaseSize;
      hints.min_width = hints.max_width = hints.base_width = kPanelWidth;
      hints.min_height = hints.max_height = hints.base_height = kPanelHeight;
      if (window != 0) XSetWMNormalHints(display, window, &hints);
      if (trap.failed()) window = 0;
    }
  }
  if (window == 0) {
    XCloseDisplay(display);
    return nullptr;
  }
  try {
    return std::make_unique<velax11::X11Panel>(display, window, visual);
  } catch (...) {
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return nullptr;
  }
}
