// A small window of its own that tells a person who started the player from the desktop menu,
// with no terminal to read, why it could not start.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

// A top-level window of the player's class ("velaorin", "VelaOrin") with a white background and
// a size the window manager keeps, taking the events of `eventMask`.
Window createFixedWindow(Display* display, int x, int y, int width, int height, long eventMask,
                         const std::string& title);
// Gives such a window a new size (set with XResizeWindow) that the window manager keeps.
void keepWindowSize(Display* display, Window window, int width, int height);

// `text` in lines no wider than `fitsWidth` as `width` measures them, broken between words; a
// word wider than that gets a line to itself.
std::vector<std::string> wrapWords(const std::string& text, double fitsWidth,
                                   const std::function<double(const std::string&)>& width);

// Shows `message` under the window title `title` until a click, a key or the window manager's
// close; answers false at once when there is no display to show it on.
bool showMessageWindow(const std::string& title, const std::string& message);
