#include "PlayerWindow.h"

#include "MessageWindow.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <poll.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "BankTransfer.h"
#include "FileOutput.h"
#include "Keyboard.h"
#include "StateFile.h"
#include "ToolError.h"

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kVelocity = 100;
constexpr int kIdleMs = 20;
constexpr auto kStatusShown = std::chrono::seconds(5);

const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string noteName(int note) {
  return std::string(kNoteNames[note % 12]) + std::to_string(note / 12 - 1);
}

}  // namespace

PlayerWindow::PlayerWindow(PluginHost& host, NoteSink notes, const std::string& title, double scale)
    : host_(host), notes_(std::move(notes)) {
  std::fill(std::begin(heldByKey_), std::end(heldByKey_), -1);
  display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr)
    throw ToolError("cannot open the X display (is DISPLAY set?); use --no-gui to run headless");
  if (scale > 0.0) {
    fixedScale_ = true;
    scale_ = scale;
    host_.setEditorScale(scale);
  }
  int32_t panelWidth = 0, panelHeight = 0;
  if (host_.editorSize(panelWidth, panelHeight)) {
    // The panel has chosen its scale (the user's choice, the screen's): the window takes it.
    if (!fixedScale_) scale_ = panelWidth / static_cast<double>(kWidth);
    width_ = std::max(pixels(kWidth), static_cast<int>(panelWidth));
    panelHeight_ = panelHeight;
  } else {
    width_ = pixels(kWidth);
    panelHeight_ = pixels(panelHeight_);
  }
  host_.onEditorResize([this](int32_t w, int32_t h) { return followPanel(w, h); });
  const int screen = DefaultScreen(display_);
  const int height = keyboardTop() + pixels(kKeyboardHeight);
  window_ = createFixedWindow(display_, 0, 0, width_, height,
                              ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                                  ButtonReleaseMask | Button1MotionMask | StructureNotifyMask |
                                  FocusChangeMask,
                              title);
  deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display_, window_, &deleteWindow_, 1);
  // Held keys send one press and one release, not a stream of both.
  XkbSetDetectableAutoRepeat(display_, True, nullptr);

  panelArea_ = XCreateSimpleWindow(display_, window_, 0, pixels(kBarHeight),
                                   static_cast<unsigned>(width_),
                                   static_cast<unsigned>(panelHeight_), 0,
                                   BlackPixel(display_, screen), 0xf0f0f0);
  XSelectInput(display_, panelArea_, ExposureMask);
  list_ = XCreateSimpleWindow(display_, window_, 0, pixels(kBarHeight),
                              static_cast<unsigned>(width_),
                              static_cast<unsigned>(pixels(kListRows * kListRow)), 1,
                              BlackPixel(display_, screen),
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
  host_.onEditorResize(nullptr);
  for (int note = 0; note < 128; ++note)
    if (lit_[note]) notes_(kNoteOff, static_cast<uint8_t>(note), 0);
  host_.closeEditor();
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
  if (display_ != nullptr) {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
}

int PlayerWindow::pixels(double units) const {
  return static_cast<int>(std::lround(units * scale_));
}

// The panel's width tells its scale; the bar and the keyboard take the same, the panel's area
// its size.
bool PlayerWindow::followPanel(int width, int height) {
  if (fixedScale_ || width <= 0 || height <= 0) return false;
  scale_ = width / static_cast<double>(kWidth);
  width_ = width;
  panelHeight_ = height;
  const int total = keyboardTop() + pixels(kKeyboardHeight);
  XResizeWindow(display_, window_, static_cast<unsigned>(width_), static_cast<unsigned>(total));
  keepWindowSize(display_, window_, width_, total);
  XMoveResizeWindow(display_, panelArea_, 0, pixels(kBarHeight), static_cast<unsigned>(width_),
                    static_cast<unsigned>(panelHeight_));
  XMoveResizeWindow(display_, list_, 0, pixels(kBarHeight), static_cast<unsigned>(width_),
                    static_cast<unsigned>(pixels(kListRows * kListRow)));
  cairo_xlib_surface_set_size(surface_, width_, total);
  paint();
  return true;
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
      if (!status_.empty() && Clock::now() >= statusUntil_) {
        status_.clear();
        paint();
      }
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
      const double unitX = x / scale_;  // the bar and the list are laid out in units
      if (event.xbutton.window == list_) {
        const int row = static_cast<int>(y / scale_) / kListRow, column = x * 2 / width_;
        if (event.xbutton.button == Button1 && row < kListRows)
          selectProgram(column * kListRows + row);
        showList(false);
      } else if (y < pixels(kBarHeight)) {
        if (field_ != Field::Closed) break;  // the field has the bar until Enter or Escape
        if (event.xbutton.button == Button4) stepProgram(-1);
        else if (event.xbutton.button == Button5) stepProgram(1);
        else if (event.xbutton.button == Button1 && unitX < kArrowWidth) stepProgram(-1);
        else if (event.xbutton.button == Button1 && unitX < kNameWidth - kArrowWidth) showList(!listShown_);
        else if (event.xbutton.button == Button1 && unitX < kNameWidth) stepProgram(1);
        else if (event.xbutton.button == Button1 && unitX < kNameWidth + kButtonWidth) openField(Field::LoadBank);
        else if (event.xbutton.button == Button1 && unitX < kNameWidth + 2 * kButtonWidth) openField(Field::SaveBank);
      } else if (y >= keyboardTop() && event.xbutton.button == Button1) {
        pressKey(keyboard::keyAt(x, y - keyboardTop(), width_, pixels(kKeyboardHeight)));
      }
      break;
    }
    case MotionNotify:
      if (mouseNote_ >= 0) {
        const int key = event.xmotion.y >= keyboardTop()
                            ? keyboard::keyAt(event.xmotion.x, event.xmotion.y - keyboardTop(),
                                              width_, pixels(kKeyboardHeight))
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
      if (event.type == KeyPress && field_ != Field::Closed) {
        fieldKey(event.xkey);
        break;
      }
      if (event.type == KeyPress && (event.xkey.state & ControlMask) != 0) {
        if (keysym == XK_o) openField(Field::LoadBank);
        if (keysym == XK_s) openField(Field::SaveBank);
        break;  // no note for a key held with Ctrl
      }
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
  cairo_surface_t* area =
      cairo_xlib_surface_create(display_, list_, DefaultVisual(display_, DefaultScreen(display_)),
                                width_, pixels(kListRows * kListRow));
  cairo_t* cr = cairo_create(area);
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.99);
  cairo_paint(cr);
  cairo_scale(cr, scale_, scale_);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  const int current = host_.currentProgram();
  for (int program = 0; program < host_.numPrograms() && program < 2 * kListRows; ++program) {
    const double x = program / kListRows * unitsWide() / 2.0, y = program % kListRows * kListRow;
    if (program == current) {
      cairo_set_source_rgb(cr, 0.16, 0.2, 0.32);
      cairo_rectangle(cr, x, y, unitsWide() / 2.0, kListRow);
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

void PlayerWindow::openField(Field field) {
  showList(false);
  field_ = field;
  fieldText_ = lastBankPath_.empty() ? defaultBanksFolder() : lastBankPath_;
  replaceConfirmed_ = false;
  paint();
}

void PlayerWindow::fieldKey(XKeyEvent& key) {
  char typed[8] = {};
  KeySym keysym = 0;
  const int count = XLookupString(&key, typed, sizeof typed - 1, &keysym, nullptr);
  if (keysym == XK_Escape) {
    field_ = Field::Closed;
  } else if (keysym == XK_Return || keysym == XK_KP_Enter) {
    finishField();
  } else if (keysym == XK_BackSpace) {
    // Whole characters: continuation bytes go with the byte that starts them.
    while (!fieldText_.empty() && (static_cast<unsigned char>(fieldText_.back()) & 0xC0) == 0x80)
      fieldText_.pop_back();
    if (!fieldText_.empty()) fieldText_.pop_back();
    replaceConfirmed_ = false;
  } else if ((key.state & ControlMask) != 0 && keysym == XK_u) {
    fieldText_.clear();
    replaceConfirmed_ = false;
  } else if (count == 1 && typed[0] >= 0x20 && typed[0] < 0x7F) {
    fieldText_ += typed[0];
    replaceConfirmed_ = false;
  }
  paint();
}

void PlayerWindow::finishField() {
  std::string path = fieldText_;
  const char* home = std::getenv("HOME");
  if (path.rfind("~/", 0) == 0 && home != nullptr) path = home + path.substr(1);
  lastBankPath_ = path;
  try {
    if (field_ == Field::LoadBank) {
      std::vector<std::string> warnings;
      const LoadedBank bank = readBank(path, warnings);
      loadBank(host_, bank);
      field_ = Field::Closed;
      showStatus("loaded bank " + path + (warnings.empty() ? "" : "; " + warnings.front()));
      return;
    }
    if (path.empty() || path.back() == '/') throw ToolError("give the bank a file name");
    std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".fxb") path += ".fxb";
    if (path.rfind(defaultBanksFolder(), 0) == 0) {
      const std::string problem = makeFolders(defaultBanksFolder());
      if (!problem.empty()) throw ToolError(problem);
    }
    struct stat info {};
    const bool exists = lstat(path.c_str(), &info) == 0;
    if (exists && !replaceConfirmed_) {
      fieldText_ = lastBankPath_ = path;
      replaceConfirmed_ = true;  // the next Enter replaces it
      paint();
      return;
    }
    writeWholeFile(path, writeBankFile(captureBank(host_)), exists, {});
    lastBankPath_ = path;
    field_ = Field::Closed;
    showStatus("saved bank " + path);
  } catch (const ToolError& error) {
    field_ = Field::Closed;
    showStatus(error.what());
  }
}

void PlayerWindow::showStatus(const std::string& text) {
  status_ = text;
  statusUntil_ = std::chrono::steady_clock::now() + kStatusShown;
  std::cerr << "velaorin: " << text << std::endl;
  paint();
  if (listShown_) paintList();
}

void PlayerWindow::paintField(cairo_t* cr) {
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.92);
  cairo_rectangle(cr, 0, 0, unitsWide(), kBarHeight);
  cairo_fill(cr);
  cairo_set_font_size(cr, 12);
  const char* hint = replaceConfirmed_ ? "exists: Enter replaces it, Esc cancels"
                                       : "Enter: ok, Esc: cancel";
  cairo_text_extents_t extents;
  cairo_text_extents(cr, hint, &extents);
  const double hintX = unitsWide() - extents.x_advance - 8;
  cairo_set_source_rgb(cr, replaceConfirmed_ ? 0.7 : 0.45, 0.2, 0.2);
  cairo_move_to(cr, hintX, 19);
  cairo_show_text(cr, hint);
  const char* prompt = field_ == Field::LoadBank ? "Load bank:" : "Save bank:";
  cairo_set_source_rgb(cr, 0.16, 0.2, 0.32);
  cairo_move_to(cr, 8, 19);
  cairo_show_text(cr, prompt);
  cairo_text_extents(cr, prompt, &extents);
  const double textX = 14 + extents.x_advance, room = hintX - 12 - textX;
  // The end of a long path stays in view: the text slides left under the prompt's edge.
  cairo_text_extents(cr, fieldText_.c_str(), &extents);
  cairo_save(cr);
  cairo_rectangle(cr, textX, 0, room + 4, kBarHeight);
  cairo_clip(cr);
  const double shift = std::min(0.0, room - extents.x_advance);
  cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
  cairo_move_to(cr, textX + shift, 19);
  cairo_show_text(cr, fieldText_.c_str());
  cairo_rectangle(cr, textX + shift + extents.x_advance + 1, 6, 1.5, 17);  // the cursor
  cairo_fill(cr);
  cairo_restore(cr);
}

void PlayerWindow::paintPanelNotice() {
  cairo_surface_t* area = cairo_xlib_surface_create(
      display_, panelArea_, DefaultVisual(display_, DefaultScreen(display_)), width_, panelHeight_);
  cairo_t* cr = cairo_create(area);
  cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
  cairo_paint(cr);
  cairo_scale(cr, scale_, scale_);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);
  cairo_move_to(cr, 20, panelHeight_ / scale_ / 2.0);
  cairo_show_text(cr, "This build of the plug-in has no panel on Linux.");
  cairo_destroy(cr);
  cairo_surface_destroy(area);
}

void PlayerWindow::paint() {
  cairo_t* cr = cairo_create(surface_);
  cairo_scale(cr, scale_, scale_);  // the bar in units; the keyboard below in pixels
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);

  // Program bar: the left half steps down, the right half up; the wheel steps too.
  if (field_ != Field::Closed) {
    paintField(cr);
    cairo_set_font_size(cr, 13);
  } else {
    cairo_set_source_rgb(cr, 0.16, 0.2, 0.32);
    cairo_rectangle(cr, 0, 0, unitsWide(), kBarHeight);
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
    cairo_set_font_size(cr, 11);
    for (int button = 0; button < 2; ++button) {
      const double x = kNameWidth + button * kButtonWidth + 2;
      cairo_set_source_rgb(cr, 0.26, 0.31, 0.46);
      cairo_rectangle(cr, x, 4, kButtonWidth - 4, kBarHeight - 8);
      cairo_fill(cr);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_move_to(cr, x + 4, 18);
      cairo_show_text(cr, button == 0 ? "Load\u2026" : "Save\u2026");
    }
    // The octave, or for a while the outcome of a load or save over the rest of the bar.
    cairo_text_extents_t extents;
    if (!status_.empty()) {
      cairo_set_font_size(cr, 11);
      const double x = kNameWidth + 2 * kButtonWidth + 4;
      cairo_save(cr);
      cairo_rectangle(cr, x, 0, unitsWide() - x, kBarHeight);
      cairo_clip(cr);
      cairo_set_source_rgb(cr, 1.0, 0.9, 0.6);
      cairo_move_to(cr, x + 2, 18);
      cairo_show_text(cr, status_.c_str());
      cairo_restore(cr);
    } else {
      cairo_set_font_size(cr, 13);
      std::snprintf(text, sizeof text, "%s\u2013%s \u2190\u2192", noteName(base_).c_str(),
                    noteName(std::min(127, base_ + keyboard::kKeys - 1)).c_str());
      cairo_text_extents(cr, text, &extents);
      cairo_move_to(cr, unitsWide() - extents.x_advance - 8, 19);
      cairo_show_text(cr, text);
    }
  }

  if (!panelOpen_) paintPanelNotice();

  // Keys in whole pixels, so each edge is crisp at any scale and a click finds the key drawn.
  cairo_identity_matrix(cr);
  cairo_translate(cr, 0, keyboardTop());
  const int keyboardHeight = pixels(kKeyboardHeight);
  for (int pass = 0; pass < 2; ++pass) {
    for (int key = 0; key < keyboard::kKeys; ++key) {
      if (keyboard::isBlack(key) != (pass == 1)) continue;
      const keyboard::Rect r = keyboard::keyRect(key, width_, keyboardHeight);
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
        cairo_set_font_size(cr, 10 * scale_);
        cairo_move_to(cr, r.x + 4 * scale_, r.height - 6 * scale_);
        cairo_show_text(cr, noteName(note).c_str());
      }
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
}
