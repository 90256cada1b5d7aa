#include "MessageWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFontSize = 14.0;
constexpr double kLineHeight = 20.0;
constexpr double kMargin = 18.0;
constexpr double kWidestText = 520.0;  // longer messages wrap
constexpr const char* kHint = "Click or press a key to close.";

void selectFont(cairo_t* cr, double size) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

void paint(cairo_t* cr, const std::vector<std::string>& lines) {
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
  cairo_paint(cr);
  selectFont(cr, kFontSize);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  double y = kMargin + kFontSize;
  for (const std::string& line : lines) {
    cairo_move_to(cr, kMargin, y);
    cairo_show_text(cr, line.c_str());
    y += kLineHeight;
  }
  selectFont(cr, kFontSize - 2);
  cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
  cairo_move_to(cr, kMargin, y + kLineHeight / 2);
  cairo_show_text(cr, kHint);
}

}  // namespace

std::vector<std::string> wrapWords(const std::string& text, double fitsWidth,
                                   const std::function<double(const std::string&)>& width) {
  std::vector<std::string> lines;
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    const size_t space = std::min(text.find(' ', start), text.size());
    const std::string word = text.substr(start, space - start);
    start = space + 1;
    if (word.empty()) continue;
    const std::string longer = line.empty() ? word : line + " " + word;
    if (!line.empty() && width(longer) > fitsWidth) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

Window createFixedWindow(Display* display, int x, int y, int width, int height, long eventMask,
                         const std::string& title) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(
      display, RootWindow(display, screen), x, y, static_cast<unsigned>(width),
      static_cast<unsigned>(height), 0, BlackPixel(display, screen), WhitePixel(display, screen));
  XSelectInput(display, window, eventMask);
  XStoreName(display, window, title.c_str());
  XClassHint classHint{const_cast<char*>("velaorin"), const_cast<char*>("VelaOrin")};
  XSetClassHint(display, window, &classHint);
  keepWindowSize(display, window, width, height);
  return window;
}

void keepWindowSize(Display* display, Window window, int width, int height) {
  XSizeHints* size = XAllocSizeHints();
  size->flags = PMinSize | PMaxSize;
  size->min_width = size->max_width = width;
  size->min_height = size->max_height = height;
  XSetWMNormalHints(display, window, size);
  XFree(size);
}

bool showMessageWindow(const std::string& title, const std::string& message) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;

  // Measured before the window exists, so it is made at the size the text needs.
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* measure = cairo_create(scratch);
  selectFont(measure, kFontSize);
  const std::vector<std::string> lines = wrapWords(
      message, kWidestText, [measure](const std::string& text) { return textWidth(measure, text); });
  double widest = 0.0;
  for (const std::string& line : lines) widest = std::max(widest, textWidth(measure, line));
  selectFont(measure, kFontSize - 2);
  widest = std::max(widest, textWidth(measure, kHint));
  cairo_destroy(measure);
  cairo_surface_destroy(scratch);
  const int width = static_cast<int>(std::ceil(widest + 2 * kMargin));
  const int height = static_cast<int>(
      std::ceil(2 * kMargin + static_cast<double>(lines.size() + 1) * kLineHeight + kLineHeight / 2));

  const int screen = DefaultScreen(display);
  const Window window = createFixedWindow(
      display, (DisplayWidth(display, screen) - width) / 2,
      (DisplayHeight(display, screen) - height) / 2, width, height,
      ExposureMask | KeyPressMask | ButtonPressMask, title);
  // Asked to, window managers give the keyboard to a new window; the key that closes it lands here.
  XWMHints* hints = XAllocWMHints();
  hints->flags = InputHint;
  hints->input = True;
  XSetWMHints(display, window, hints);
  XFree(hints);
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &deleteWindow, 1);
  cairo_surface_t* surface =
      cairo_xlib_surface_create(display, window, DefaultVisual(display, screen), width, height);
  XMapRaised(display, window);

  for (bool open = true; open;) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case Expose:
        if (event.xexpose.count == 0) {
          cairo_t* cr = cairo_create(surface);
          paint(cr, lines);
          cairo_destroy(cr);
          cairo_surface_flush(surface);
        }
        break;
      case KeyPress:
      case ButtonPress:
        open = false;
        break;
      case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) open = false;
        break;
      default:
        break;
    }
  }
  cairo_surface_destroy(surface);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return true;
}
