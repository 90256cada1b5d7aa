// TTsumami: the rotary knob. Portable logic only; a platform window feeds it mouse input and
// paints the figures it returns.
//
// Contract with the platform layer (editor/win32/):
// - The panel (TForm1) owns its five TTsumami objects. The platform creates one native child
//   window per knob and binds it with setWindow(); it unbinds (setWindow(nullptr)) or destroys
//   the native window before the TTsumami goes away. The knob never calls the window from its
//   destructor.
// - Input, all on the window's thread:
//     left-button press or double-click -> MouseDown(cursor position in screen pixels)
//     every mouse move                  -> MouseMove(cursor position read from the system, in
//                                          screen pixels, not the message's coordinates);
//                                          ignored unless a drag is running
//     left-button release               -> MouseUp()
//     the window lost the mouse capture  -> MouseUp() (the release will never come)
//   The knob asks the window to capture the mouse on MouseDown and to release it on MouseUp.
//   OnDragStart runs when a press starts a drag, OnDragEnd when MouseUp ends one: each drag
//   reports exactly one start and one end.
// - Output: every SetPosition() calls KnobWindow::invalidate() (an asynchronous repaint request)
//   and then OnChange. On paint the platform clears the background to its parent's colour and
//   draws paintFigures(width, height) in order (see KnobFigure).
#pragma once

#include <array>
#include <cstdint>
#include <functional>

struct KnobPoint {
  int32_t x;
  int32_t y;
  friend bool operator==(const KnobPoint&, const KnobPoint&) = default;
};

// System colours; on Windows COLOR_BTNFACE (15), COLOR_BTNHIGHLIGHT (20), COLOR_BTNSHADOW (16).
enum class KnobColour : int32_t { Black, ButtonFace, ButtonHighlight, ButtonShadow };

enum class KnobFigureKind : int32_t { Ellipse, Arc, Line };

// One figure, drawn with a solid pen one pixel wide in `pen`.
// - Ellipse: inscribed in the rectangle from `from` (left, top) to `to` (right, bottom; first
//   coordinates outside), filled with `fill`.
// - Arc: the same kind of bounding rectangle; drawn counterclockwise as seen on the screen
//   (GDI's default direction) from the ray through `arcStart` to the ray through `arcEnd`.
// - Line: from `from` to `to`; the end point itself is not painted.
struct KnobFigure {
  KnobFigureKind kind;
  KnobColour pen;
  KnobColour fill;  // Ellipse only; Black elsewhere
  KnobPoint from;
  KnobPoint to;
  KnobPoint arcStart;  // Arc only; {0, 0} elsewhere
  KnobPoint arcEnd;
  friend bool operator==(const KnobFigure&, const KnobFigure&) = default;
};

constexpr int32_t kKnobFigureCount = 9;  // body, two arcs, three pointer strokes, three marks
constexpr int32_t kKnobTableSize = 101;  // positions 0..100

// What the knob needs from its native window.
class KnobWindow {
 public:
  virtual ~KnobWindow() = default;
  virtual void invalidate() = 0;    // asynchronous repaint request
  virtual void captureMouse() = 0;  // all mouse input to this window until released
  virtual void releaseMouse() = 0;
};

class TTsumami {
 public:
  using ChangeEvent = std::function<void(TTsumami& sender)>;

  TTsumami();
  TTsumami(const TTsumami&) = delete;
  TTsumami& operator=(const TTsumami&) = delete;

  void setWindow(KnobWindow* window) { nativeWindow = window; }

  int32_t Position() const { return position; }
  // Stores `value` as given (no clamping), requests a repaint and notifies, even when the value
  // is unchanged.
  void SetPosition(int32_t value);
  bool isDragging() const { return dragging; }

  // [UI thread] Mouse input, cursor positions in screen pixels.
  void MouseDown(KnobPoint cursor);
  void MouseMove(KnobPoint cursor);
  void MouseUp();

  // The drawing for a control of width x height pixels at the current position. A position
  // outside 0..100 draws as the nearest end.
  std::array<KnobFigure, kKnobFigureCount> paintFigures(int32_t width, int32_t height) const;

  ChangeEvent OnChange;  // may be empty
  ChangeEvent OnDragStart;  // may be empty
  ChangeEvent OnDragEnd;    // may be empty

  // Pointer direction per position: pointerDy[p] = -cos((p - 50) * pi / 65),
  // pointerDx[p] = sin((p - 50) * pi / 65); the same bits on every build.
  const std::array<float, kKnobTableSize> pointerDy;
  const std::array<float, kKnobTableSize> pointerDx;

 private:
  KnobPoint dragOrigin{0, 0};  // screen cursor at the press that started the drag
  KnobPoint dragPoint{0, 0};   // screen cursor at the latest move of the drag
  int32_t dragStartPosition = 0;
  int32_t position = 0;
  bool dragging = false;
  KnobWindow* nativeWindow = nullptr;  // not owned
};
