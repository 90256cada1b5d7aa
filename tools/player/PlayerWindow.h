// The player's window: a program selector with "load bank" and "save bank", the plug-in's panel
// in a child area, and a one-and-a-half-octave keyboard played with the mouse or the computer
// keyboard. All of it is drawn at the panel's scale and follows the panel when its scale changes
// (the panel's own menu), unless the player was given a fixed scale.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <chrono>
#include <functional>
#include <string>

#include "PluginHost.h"

class PlayerWindow {
 public:
  // At scale 1; at scale s each is lround(s times) as many pixels.
  static constexpr int kBarHeight = 28;      // program selector, above the panel
  static constexpr int kKeyboardHeight = 96;  // on-screen keyboard, below it
  static constexpr int kWidth = 481;          // the panel's, when it has none of its own

  using NoteSink = std::function<void(uint8_t status, uint8_t note, uint8_t velocity)>;

  // [UI thread], as everything here: the thread that runs the window owns its display
  // connection and makes the plug-in's editor calls. Throws ToolError when there is no display.
  // `title` is the JACK client name. `scale` (1..3) fixes the window's scale and the panel's with
  // it; 0 follows the panel.
  PlayerWindow(PluginHost& host, NoteSink notes, const std::string& title, double scale = 0.0);
  ~PlayerWindow();  // closes the panel, then the window and the connection
  PlayerWindow(const PlayerWindow&) = delete;
  PlayerWindow& operator=(const PlayerWindow&) = delete;

  // [UI thread] runs until the window is closed (answers true) or `wakeFd` becomes readable
  // (answers false). Calls the panel's idle every 20 ms or so.
  bool run(int wakeFd);
  bool panelOpen() const { return panelOpen_; }

 private:
  void paint();
  void paintPanelNotice();
  void handle(XEvent& event);
  void pressKey(int key);
  void releaseMouseKey();
  void computerKey(unsigned long keysym, bool down);
  void stepProgram(int step);
  void selectProgram(int program);
  void showList(bool show);
  void paintList();
  void shiftOctave(int octaves);
  // The bank file field: opened by the bar's buttons, Ctrl+O and Ctrl+S; it takes the keys
  // until Enter or Escape.
  enum class Field { Closed, LoadBank, SaveBank };
  void openField(Field field);
  void fieldKey(XKeyEvent& key);
  void finishField();
  void showStatus(const std::string& text);
  void paintField(cairo_t* cr);
  int keyboardTop() const { return pixels(kBarHeight) + panelHeight_; }
  int pixels(double units) const;           // at the window's scale
  double unitsWide() const { return width_ / scale_; }
  // The panel asks for a new size (its scale changed): true when the window follows.
  bool followPanel(int width, int height);

  static constexpr int kArrowWidth = 26;  // the bar: ◀ name ▶, load, save, then the octave
  static constexpr int kNameWidth = 260;
  static constexpr int kButtonWidth = 48;  // "Load…" and "Save…" after the name
  static constexpr int kListRows = 16;    // the program list: two columns over the panel
  static constexpr int kListRow = 17;

  PluginHost& host_;
  NoteSink notes_;
  Display* display_ = nullptr;
  Window window_ = 0;
  Window panelArea_ = 0;
  Window list_ = 0;
  bool listShown_ = false;
  Atom deleteWindow_ = 0;
  cairo_surface_t* surface_ = nullptr;
  double scale_ = 1.0;
  bool fixedScale_ = false;
  int width_ = kWidth;    // pixels
  int panelHeight_ = 281;
  bool panelOpen_ = false;
  int base_ = 48;              // note of the keyboard's leftmost key
  int mouseNote_ = -1;         // note held by the mouse
  int heldByKey_[32];          // note started by each computer key offset, -1 when up
  bool lit_[128] = {};         // notes drawn as pressed
  bool closed_ = false;
  Field field_ = Field::Closed;
  std::string fieldText_;     // UTF-8; typed characters are ASCII
  bool replaceConfirmed_ = false;
  std::string lastBankPath_;  // the field starts from it
  std::string status_;        // the outcome of the last load or save, shown for a while
  std::chrono::steady_clock::time_point statusUntil_;
};
