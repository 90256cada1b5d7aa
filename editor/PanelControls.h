// The two small interfaces between the portable editor logic and a platform layer.
//
// PanelControls: what TForm1 reads and moves on the native panel. Numbering follows the control
// names: trackBar 1..6 is TrackBar1..TrackBar6, checkBox 1..2 is CheckBox1..CheckBox2.
// Setting a position from the program must raise the same change handling as a user's action,
// synchronously, before the setter returns (native controls do not do this by themselves):
// - setTrackBarPosition clamps to the slider's range (kTrackBarMax[...]) and, only when the
//   clamped position differs from the current one, stores it and calls
//   TForm1::TrackBarChange(trackBar);
// - setRadioIndex clamps to 0..2 and, only when the selection changes, calls
//   TForm1::RadioGroup1Click();
// - setChecked, only when the state changes, calls TForm1::CheckBoxClick(checkBox).
// User actions call the same handlers: every scroll notification of a slider (TrackBarChange),
// each change of the radio selection (RadioGroup1Click), each change of a check box
// (CheckBoxClick). The knobs are not here: they are TTsumami objects inside TForm1.
// repaintNow repaints the panel synchronously; the paint handler calls TForm1::FormPaint().
//
// PanelWindow: what the editor bridge (GrEditor) needs of the whole native panel. The platform
// object owns the native window, its controls, its 100 ms timer (each tick calls
// TForm1::Timer1Timer()) and the TForm1. Construction builds the layout with the designed
// positions, then the TForm1 (whose constructor runs FormCreate), then starts the timer.
// Destruction stops the timer and destroys the native windows before the TForm1.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TForm1;

class PanelControls {
 public:
  virtual ~PanelControls() = default;

  virtual int32_t trackBarPosition(int32_t trackBar) const = 0;
  virtual void setTrackBarPosition(int32_t trackBar, int32_t position) = 0;
  virtual int32_t radioIndex() const = 0;
  virtual void setRadioIndex(int32_t index) = 0;
  virtual bool checked(int32_t checkBox) const = 0;
  virtual void setChecked(int32_t checkBox, bool state) = 0;
  virtual void repaintNow() = 0;
};

class PanelWindow {
 public:
  virtual ~PanelWindow() = default;

  virtual TForm1& form() = 0;
  // Makes the panel visible and brings it to the front among its parent's children.
  virtual void show() = 0;
  // Repaints at once (not deferred): brings the controls into line with the stored values.
  virtual void repaint() = 0;
  virtual int32_t outerWidth() const = 0;   // 481 for the designed panel
  virtual int32_t outerHeight() const = 0;  // 281
  // [editor thread] Each effEditIdle. Where the platform delivers no window messages of its own
  // (X11), this reads the panel's events, runs the 100 ms poll by elapsed time and repaints.
  virtual void idle() {}
};

// Creates the panel as a borderless child of `parent` (a native window handle) at (0, 0), with no
// owner. Returns null, creating nothing, when `parent` is not a valid window.
using PanelFactory = std::function<std::unique_ptr<PanelWindow>(void* parent)>;

// Defined in editor/win32/ (`parent` is an HWND) and editor/x11/ (`parent` carries an X11
// window id; the panel opens its own display connection).
std::unique_ptr<PanelWindow> createNativePanel(void* parent);
