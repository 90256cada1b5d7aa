// What our X11 test hosts share: a top-level window of the host's own on the display that the
// test's CTest entry starts (scripts/x11-test.sh), the parent a panel is embedded in; an error
// handler of the host's that counts what reaches it (a panel must handle its own errors); pointer
// input through XTest. Fixtures derive from it. Include gtest before this header: Xlib defines
// None and Bool as macros.
#pragma once

// clang-format off
#include <X11/Xlib.h>
// clang-format on

#include <cstddef>
#include <vector>

// How many files the process has open: a panel closed must leave no connection behind.
size_t openFileDescriptors();

class X11HostWindow {
 public:
  virtual ~X11HostWindow() = default;

  // The host's error handler: counts the error and carries on.
  static int countError(Display*, XErrorEvent*);

  // Opens the display, installs countError (the count starts at 0) and maps a 600 x 400 window
  // at (40, 30), white or black; false when there is no display.
  bool openWindow(bool white = true);
  // Destroys `top`, restores the handler there was and closes the display: how many X errors
  // reached countError since openWindow. Nothing to do (0) when the display never opened.
  int closeWindow();

  // `top` as the handle hosts pass for a parent window.
  void* parent() const;
  // The children of a window (of `top` without one), once the server has handled all requests.
  std::vector<Window> children(Window window);
  std::vector<Window> children() { return children(top); }
  // The pointer moved to pixel (x, y) of `top`, and button `number` pressed or released; each
  // sent and synced, so the server has delivered it, then afterInput.
  void moveTo(int x, int y);
  void button(unsigned number, bool down);
  // What the host does once input is delivered (its idle call or pump), if the panel is to have
  // handled it when moveTo and button return.
  virtual void afterInput() {}

  Display* display = nullptr;
  Window top = 0;

 private:
  XErrorHandler previousHandler_ = nullptr;
};
