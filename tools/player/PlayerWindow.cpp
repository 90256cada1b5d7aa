#include "PlayerWindow.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "Keyboard.h"
#include "ToolError.h"

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kVelocity = 100;
constexpr int kIdleMs = 20;

const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string noteName(int note) {
  return std::string(kNoteNames[note % 12]) + std::to_string(note / 12 - 1);
}

}  // namespace

PlayerWindow::PlayerWindow(PluginHost& host, NoteSink notes, const std::string& title)
    : host_(host), notes_(std::move(notes)) {
  std::fill(std::begin(heldByKey_), std::end(heldByKey_), -1);
  display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr)
    throw ToolError("cannot open the X display (is DISPLAY set?); use --no-gui to run headless");
  int32_t panelWidth = 0, panelHeight = 0;
  if (host_.editorSize(panelWidth, panelHeight)) {
    width_ = std::max(width_, static_cast<int>(panelWidth));
    panelHeight_ = panelHeight;
  }
  const int screen = DefaultScreen(display_);
  const int height = kBarHeight + panelHeight_ + kKeyboardHeight;
  window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                static_cast<unsigned>(width_), static_cast<unsigned>(height), 0,
                                BlackPixel(display_, screen), WhitePixel(display_, screen));
  XSelectInput(display_, window_, ExposureMask | KeyPressMask | KeyReleaseMask |
                                      ButtonPressMask | ButtonReleaseMask | Button1MotionMask |
                                      StructureNotifyMask | FocusChangeMask);
  XStoreName(display_, window_, title.c_str());
  XClassHint classHint{const_cast<char*>("velaorin"), const_cast<char*>("VelaOrin")};
  XSetClassHint(display_, window_, &classHint);
  XSizeHints* size = XAllocSizeHints();
  size->flags = PMinSize | PMaxSize;
  size->min_width = size->max_width = width_;
  size->min_height = size->max_height = height;
  XSetWMNormalHints(display_, window_, size);
  XFree(size);
  deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display_, window_, &deleteWindow_, 1);
  // Held keys send one press and one release, not a stream of both.
  XkbSetDetectableAutoRepeat(display_, True, nullptr);

  panelArea_ = XCreateSimpleWindow(display_, window_, 0, kBarHeight,
                                   static_cast<unsigned>(width_),
                                   static_cast<unsigned>(panelHeight_), 0,
                                   BlackPixel(display_, screen), 0xf0f0f0);
  XSelectInput(display_, panelArea_, ExposureMask);
  list_ = XCreateSimpleWindow(display_, window_, 0, kBarHeight, static_cast<unsigned>(width_),
                              kListRows * kListRow, 1, BlackPixel(display_, screen),
                              WhitePixel(display_, screen));
  XSelectInput(display_, list_, ExposureMask | ButtonPressMask);
  surface_ = cairo_xlib_surface_create(display_, window_, DefaultVisual(display_, screen), width_,
                                       height);
  XMapWindow(display_, panelArea_);
  XMapWindow(display_, window_);
  XSync(display_, False);
  // The panel uses a display connection of its own; it must see our windows, so sync first.
  panelOpen_ = host_.openEditor(reinterpret_cast<void*>(panelArea_));
}

PlayerWindow::~PlayerWindow() {
  for (int note = 0; note < 128; ++note)
    if (lit_[note]) notes_(kNoteOff, static_cast<uint8_t>(note), 0);
  host_.closeEditor();
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
  if (display_ != nullptr) {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
}

bool PlayerWindow::run(int wakeFd) {
  using Clock = std::chrono::steady_clock;
  auto nextIdle = Clock::now();
  while (!closed_) {
    while (XPending(display_) > 0 && !closed_) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event);
    }
    if (closed_) break;
    if (Clock::now() >= nextIdle) {
      host_.idleEditor();
      nextIdle = Clock::now() + std::chrono::milliseconds(kIdleMs);
    }
    XFlush(display_);
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextIdle - Clock::now());
    poll(fds, 2, static_cast<int>(std::clamp<long>(wait.count(), 0, kIdleMs)));
    if ((fds[1].revents & POLLIN) != 0) return false;
  }
  return true;
}

void PlayerWindow::handle(XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0 && event.xexpose.window == window_) paint();
      if (event.xexpose.count == 0 && event.xexpose.window == panelArea_ && !panelOpen_) paint();
      if (event.xexpose.count == 0 && event.xexpose.window == list_) paintList();
      break;
    case ClientMessage:
      if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) closed_ = true;
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) closed_ = true;
      break;
    case ButtonPress: {
      const int x = event.xbutton.x, y = event.xbutton.y;
      if (event.xbutton.window == list_) {
        const int row = y / kListRow, column = x * 2 / width_;
        if (event.xbutton.button == Button1 && row < kListRows)
          selectProgram(column * kListRows + row);
        showList(false);
      } else if (y < kBarHeight) {
        if (event.xbutton.button == Button4) stepProgram(-1);
        else if (event.xbutton.button == Button5) stepProgram(1);
        else if (event.xbutton.button == Button1 && x < kArrowWidth) stepProgram(-1);
        else if (event.xbutton.button == Button1 && x < kNameWidth - kArrowWidth) showList(!listShown_);
        else if (event.xbutton.button == Button1 && x < kNameWidth) stepProgram(1);
      } else if (y >= keyboardTop() && event.xbutton.button == Button1) {
        pressKey(keyboard::keyAt(x, y - keyboardTop(), width_, kKeyboardHeight));
      }
      break;
    }
    case MotionNotify:
      if (mouseNote_ >= 0) {
        const int key = event.xmotion.y >= keyboardTop()
                            ? keyboard::keyAt(event.xmotion.x, event.xmotion.y - keyboardTop(),
                                              width_, kKeyboardHeight)
                            : -1;
        if (key < 0 || base_ + key != mouseNote_) pressKey(key);  // glide to the next key
      }
      break;
    case ButtonRelease:
      if (event.xbutton.button == Button1) releaseMouseKey();
      break;
    case KeyPress:
    case KeyRelease: {
      const KeySym keysym = XLookupKeysym(&event.xkey, 0);
      if (keysym == XK_Escape && listShown_) showList(false);
      computerKey(keysym, event.type == KeyPress);
      break;
    }
    case FocusOut:
      // Keys released while another window has the focus would otherwise hang.
      computerKey(0, false);
      break;
    default:
      break;
  }
}

void PlayerWindow::pressKey(int key) {
  releaseMouseKey();
  if (key < 0) return;
  const int note = base_ + key;
  if (note > 127) return;
  mouseNote_ = note;
  lit_[note] = true;
  notes_(kNoteOn, static_cast<uint8_t>(note), kVelocity);
  paint();
}

void PlayerWindow::releaseMouseKey() {
  if (mouseNote_ < 0) return;
  notes_(kNoteOff, static_cast<uint8_t>(mouseNote_), 0);
  lit_[mouseNote_] = false;
  mouseNote_ = -1;
  paint();
}

void PlayerWindow::computerKey(unsigned long keysym, bool down) {
  if (down) {
    switch (keysym) {
      case XK_Left: case XK_Down: case XK_Page_Down: shiftOctave(-1); return;
      case XK_Right: case XK_Up: case XK_Page_Up: shiftOctave(1); return;
      default: break;
    }
  }
  if (keysym == 0) {  // focus lost: release everything the keyboard holds
    for (int& note : heldByKey_)
      if (note >= 0) { notes_(kNoteOff, static_cast<uint8_t>(note), 0); lit_[note] = false; note = -1; }
    paint();
    return;
  }
  const int offset = keyboard::offsetForKeysym(keysym);
  if (offset < 0) return;
  int& held = heldByKey_[offset];
  if (down && held < 0 && base_ + offset <= 127) {
    held = base_ + offset;  // released as this note even if the octave moves meanwhile
    notes_(kNoteOn, static_cast<uint8_t>(held), kVelocity);
    lit_[held] = true;
  } else if (!down && held >= 0) {
    notes_(kNoteOff, static_cast<uint8_t>(held), 0);
    lit_[held] = held == mouseNote_;
    held = -1;
  }
  paint();
}

void PlayerWindow::stepProgram(int step) {
  const int count = host_.numPrograms();
  if (count > 0) selectProgram((host_.currentProgram() + step + count) % count);
}

void PlayerWindow::selectProgram(int program) {
  if (program < 0 || program >= host_.numPrograms()) return;
  host_.selectProgram(program);
  paint();
  if (listShown_) paintList();
}

void PlayerWindow::showList(bool show) {
  listShown_ = show;
  if (show) {
    XMapRaised(display_, list_);  // above the panel, which is a sibling's child
  } else {
    XUnmapWindow(display_, list_);
  }
}

void PlayerWindow::paintList() {
  cairo_surface_t* area = cairo_xlib_surface_create(
      display_, list_, DefaultVisual(display_, DefaultScreen(display_)), width_, kListRows * kListRow);
  cairo_t* cr = cairo_create(area);
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.99);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  const int current = host_.currentProgram();
  for (int program = 0; program < host_.numPrograms() && program < 2 * kListRows; ++program) {
    const double x = program / kListRows * width_ / 2.0, y = program % kListRows * kListRow;
    if (program == current) {
      cairo_set_source_rgb(cr, 0.16, 0.2, 0.32);
      cairo_rectangle(cr, x, y, width_ / 2.0, kListRow);
      cairo_fill(cr);
    }
    const double shade = program == current ? 1.0 : 0.1;
    cairo_set_source_rgb(cr, shade, shade, shade);
    char text[64];
    std::snprintf(text, sizeof text, "%02d  %s", program, host_.programName(program).c_str());
    cairo_move_to(cr, x + 10, y + kListRow - 5);
    cairo_show_text(cr, text);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(area);
}

void PlayerWindow::shiftOctave(int octaves) {
  base_ = std::clamp(base_ + 12 * octaves, keyboard::kLowestBase, keyboard::kHighestBase);
  paint();
}

void PlayerWindow::paintPanelNotice() {
  cairo_surface_t* area = cairo_xlib_surface_create(
      display_, panelArea_, DefaultVisual(display_, DefaultScreen(display_)), width_, panelHeight_);
  cairo_t* cr = cairo_create(area);
  cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);
  cairo_move_to(cr, 20, panelHeight_ / 2.0);
  cairo_show_text(cr, "This build of the plug-in has no panel on Linux.");
  cairo_destroy(cr);
  cairo_surface_destroy(area);
}

void PlayerWindow::paint() {
  cairo_t* cr = cairo_create(surface_);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);

  // Program bar: the left half steps down, the right half up; the wheel steps too.
  cairo_set_source_rgb(cr, 0.16, 0.2, 0.32);
  cairo_rectangle(cr, 0, 0, width_, kBarHeight);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  char text[96];
  const int program = host_.currentProgram();
  cairo_move_to(cr, 8, 19);
  cairo_show_text(cr, "\u25C0");
  cairo_move_to(cr, kNameWidth - kArrowWidth + 8, 19);
  cairo_show_text(cr, "\u25B6");
  std::snprintf(text, sizeof text, "%02d  %s  \u25BE", program, host_.programName(program).c_str());
  cairo_move_to(cr, kArrowWidth + 6, 19);
  cairo_show_text(cr, text);
  std::snprintf(text, sizeof text, "%s\u2013%s  \u2190 \u2192 octave", noteName(base_).c_str(),
                noteName(std::min(127, base_ + keyboard::kKeys - 1)).c_str());
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text, &extents);
  cairo_move_to(cr, width_ - extents.x_advance - 10, 19);
  cairo_show_text(cr, text);

  if (!panelOpen_) paintPanelNotice();

  const int top = keyboardTop();
  cairo_translate(cr, 0, top);
  for (int pass = 0; pass < 2; ++pass) {
    for (int key = 0; key < keyboard::kKeys; ++key) {
      if (keyboard::isBlack(key) != (pass == 1)) continue;
      const keyboard::Rect r = keyboard::keyRect(key, width_, kKeyboardHeight);
      const int note = base_ + key;
      const bool lit = note < 128 && lit_[note];
      if (keyboard::isBlack(key))
        cairo_set_source_rgb(cr, lit ? 0.3 : 0.08, lit ? 0.45 : 0.08, lit ? 0.85 : 0.1);
      else
        cairo_set_source_rgb(cr, lit ? 0.62 : 0.98, lit ? 0.74 : 0.98, lit ? 1.0 : 0.96);
      cairo_rectangle(cr, r.x + 0.5, r.y + 0.5, r.width - 1, r.height - 1);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      if (key % 12 == 0) {
        cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
        cairo_set_font_size(cr, 10);
        cairo_move_to(cr, r.x + 4, r.height - 6);
        cairo_show_text(cr, noteName(note).c_str());
      }
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
}
