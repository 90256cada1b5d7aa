// The two small interfaces between the portable editor logic and a platform layer.
//
// PanelControls: what TForm1 reads and moves on the native panel. Numbering follows the control
// names: trackBar 1..6 is TrackBar1..TrackBar6, checkBox 1..2 is CheckBox1..CheckBox2.
// The contract of the setters lives here once, for every platform and the test fakes: setting a
// position from the program clamps it (sliders to kTrackBarMax[...], the radio group to 0..2),
// and only when the result differs from what the control shows, shows it (the platform's show...
// hook, which must not raise the platform's own notification) and then calls the TForm1
// handler synchronously, before the setter returns: TrackBarChange(trackBar),
// RadioGroup1Click() or CheckBoxClick(checkBox). Invalid control numbers are ignored.
// User actions call the same handlers: every scroll notification of a slider (TrackBarChange,
// also at an unchanged position), each change of the radio selection, each change of a check
// box. Platforms that draw their own controls use userMoveTrackBar and the setters for that.
// Drags are announced to TForm1 as gestures (beginGesture / endGesture); single clicks and steps
// need nothing more, TForm1 brackets them itself. The knobs are not here: they are TTsumami
// objects inside TForm1.
// repaintNow repaints the panel synchronously; the paint handler calls TForm1::FormPaint().
// The TForm1 built on the controls attaches itself for the handlers and detaches on destruction.
//
// PanelWindow: what an editor bridge (GrEditor, or another format's) needs of the whole native
// panel. The platform object owns the native window, its controls, its poll timer (every
// kPollIntervalMs; each tick calls TForm1::Timer1Timer()) and the TForm1. Construction builds the layout with the designed
// positions, then the TForm1 (whose constructor runs FormCreate), then starts the timer.
// Destruction stops the timer and destroys the native windows before the TForm1, whose own
// destruction closes any gesture still open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TForm1;

class PanelControls {
 public:
  virtual ~PanelControls() = default;

  virtual int32_t trackBarPosition(int32_t trackBar) const = 0;
  virtual int32_t radioIndex() const = 0;
  virtual bool checked(int32_t checkBox) const = 0;
  virtual void repaintNow() = 0;

  void setTrackBarPosition(int32_t trackBar, int32_t position);
  void setRadioIndex(int32_t index);
  void setChecked(int32_t checkBox, bool state);
  // The user's hand on a self-drawn slider: clamps and shows like the setter, but notifies on
  // every call, as a native slider notifies every scroll.
  void userMoveTrackBar(int32_t trackBar, int32_t position);

  void attach(TForm1* form) { notified = form; }

 protected:
  TForm1* attached() const { return notified; }
  // Show a state the contract has already clamped and found different.
  virtual void showTrackBarPosition(int32_t trackBar, int32_t position) = 0;
  virtual void showRadioIndex(int32_t index) = 0;
  virtual void showChecked(int32_t checkBox, bool state) = 0;

 private:
  TForm1* notified = nullptr;
};

class PanelWindow {
 public:
  virtual ~PanelWindow() = default;

  virtual TForm1& form() = 0;
  // Makes the panel visible and brings it to the front among its parent's children.
  virtual void show() = 0;
  // Repaints at once (not deferred): brings the controls into line with the stored values.
  virtual void repaint() = 0;
  virtual int32_t outerWidth() const = 0;   // kPanelWidth for the designed panel
  virtual int32_t outerHeight() const = 0;  // kPanelHeight
  // [editor thread] Each idle call of the host. Where the platform delivers no window messages
  // of its own (X11), this reads the panel's events, runs the poll by elapsed time and repaints.
  virtual void idle() {}
  // The X11 window id, for hosts that embed the window themselves (an LV2 UI's widget); 0
  // elsewhere.
  virtual uintptr_t nativeWindow() const { return 0; }
  // The descriptor of the panel's own window-system connection, for hosts that call idle when
  // it is readable (a VST 3 run loop); -1 where there is none (Windows).
  virtual int eventDescriptor() const { return -1; }
};

// Creates the panel as a borderless child of `parent` (a native window handle) at (0, 0), with no
// owner. Returns null, creating nothing, when `parent` is not a valid window.
using PanelFactory = std::function<std::unique_ptr<PanelWindow>(void* parent)>;

// Defined in editor/win32/ (`parent` is an HWND) and editor/x11/ (`parent` carries an X11
// window id; the panel opens its own display connection).
std::unique_ptr<PanelWindow> createNativePanel(void* parent);
