#include "X11HostWindow.h"

// clang-format off
#include <X11/extensions/XTest.h>
// clang-format on

#include <cstdint>
#include <filesystem>
#include <iterator>

namespace {
int errorsSeen = 0;
}  // namespace

size_t openFileDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

int X11HostWindow::countError(Display*, XErrorEvent*) {
  ++errorsSeen;
  return 0;
}

bool X11HostWindow::openWindow(bool white) {
  display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  errorsSeen = 0;
  previousHandler_ = XSetErrorHandler(&countError);
  top = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, 600, 400, 0, 0,
                            white ? WhitePixel(display, DefaultScreen(display)) : 0);
  XMapWindow(display, top);
  XSync(display, False);
  return true;
}

int X11HostWindow::closeWindow() {
  if (display == nullptr) return 0;
  XDestroyWindow(display, top);
  XSync(display, False);
  XSetErrorHandler(previousHandler_);
  XCloseDisplay(display);
  display = nullptr;
  return errorsSeen;
}

void* X11HostWindow::parent() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(top)); }

std::vector<Window> X11HostWindow::children(Window window) {
  XSync(display, False);
  Window root = 0, parentWindow = 0, *list = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  if (XQueryTree(display, window, &root, &parentWindow, &list, &count) != 0) {
    out.assign(list, list + count);
    if (list != nullptr) XFree(list);
  }
  return out;
}

void X11HostWindow::moveTo(int x, int y) {
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display, top, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, 0);
  XSync(display, False);
  afterInput();
}

void X11HostWindow::button(unsigned number, bool down) {
  XTestFakeButtonEvent(display, number, down ? True : False, 0);
  XSync(display, False);
  afterInput();
}
