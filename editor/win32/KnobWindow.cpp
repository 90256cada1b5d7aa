#include "KnobWindow.h"

#include "VelaWindows.h"

namespace velawin {

namespace {

COLORREF colourOf(KnobColour colour) {
  switch (colour) {
    case KnobColour::ButtonFace: return GetSysColor(COLOR_BTNFACE);
    case KnobColour::ButtonHighlight: return GetSysColor(COLOR_BTNHIGHLIGHT);
    case KnobColour::ButtonShadow: return GetSysColor(COLOR_BTNSHADOW);
    case KnobColour::Black: break;
  }
  return RGB(0, 0, 0);
}

KnobPoint cursorOnScreen() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

}  // namespace

Win32Knob::Win32Knob(HINSTANCE instance, HWND parent, int x, int y, int width, int height, int id) {
  window = CreateWindowExA(0, kKnobClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y,
                           width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance, this);
}

Win32Knob::~Win32Knob() {
  bind(nullptr);
  if (window != nullptr) DestroyWindow(window);
}

void Win32Knob::bind(TTsumami* newKnob) {
  if (knob != nullptr) knob->setWindow(nullptr);
  knob = newKnob;
  if (knob != nullptr) knob->setWindow(this);
  invalidate();
}

void Win32Knob::invalidate() {
  if (window != nullptr) InvalidateRect(window, nullptr, TRUE);
}

void Win32Knob::captureMouse() {
  if (window != nullptr) SetCapture(window);
}

void Win32Knob::releaseMouse() {
  releasing = true;
  if (window != nullptr && GetCapture() == window) ReleaseCapture();
  releasing = false;
}

bool Win32Knob::registerClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;  // the second press of a double-click starts a drag too
  wc.lpfnWndProc = &Win32Knob::windowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  // The panel and its group boxes are button-face coloured: erasing with it shows the parent.
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kKnobClassName;
  return RegisterClassExA(&wc) != 0;
}

void Win32Knob::unregisterClass(HINSTANCE instance) { UnregisterClassA(kKnobClassName, instance); }

LRESULT CALLBACK Win32Knob::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* self = static_cast<Win32Knob*>(create->lpCreateParams);
    self->window = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Knob*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    self->window = nullptr;
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  return self->handle(message, wParam, lParam);
}

LRESULT Win32Knob::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (knob != nullptr) knob->MouseDown(cursorOnScreen());
      return 0;
    case WM_MOUSEMOVE:
      if (knob != nullptr) knob->MouseMove(cursorOnScreen());
      return 0;
    case WM_LBUTTONUP:
      if (knob != nullptr) knob->MouseUp();
      return 0;
    case WM_CAPTURECHANGED:
      // Someone else took the mouse (a menu, a dialog, a task switch): the release will never
      // reach us, so the drag ends here instead of lingering with no button held.
      if (!releasing && knob != nullptr && knob->isDragging()) knob->MouseUp();
      return 0;
    case WM_PAINT: paint(); return 0;
    case TKM_GETPOS: return knob != nullptr ? knob->Position() : 0;
    case TKM_GETDRAGGING: return knob != nullptr && knob->isDragging() ? 1 : 0;
    default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Win32Knob::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (dc == nullptr) return;
  if (knob != nullptr) {
    RECT client{};
    GetClientRect(window, &client);
    const int saved = SaveDC(dc);
    SetArcDirection(dc, AD_COUNTERCLOCKWISE);
    for (const KnobFigure& figure : knob->paintFigures(client.right, client.bottom)) {
      HPEN pen = CreatePen(PS_SOLID, 1, colourOf(figure.pen));
      HGDIOBJ oldPen = SelectObject(dc, pen);
      switch (figure.kind) {
        case KnobFigureKind::Ellipse: {
          HBRUSH fill = CreateSolidBrush(colourOf(figure.fill));
          HGDIOBJ oldBrush = SelectObject(dc, fill);
          Ellipse(dc, figure.from.x, figure.from.y, figure.to.x, figure.to.y);
          SelectObject(dc, oldBrush);
          DeleteObject(fill);
          break;
        }
        case KnobFigureKind::Arc:
          Arc(dc, figure.from.x, figure.from.y, figure.to.x, figure.to.y, figure.arcStart.x,
              figure.arcStart.y, figure.arcEnd.x, figure.arcEnd.y);
          break;
        case KnobFigureKind::Line:
          MoveToEx(dc, figure.from.x, figure.from.y, nullptr);
          LineTo(dc, figure.to.x, figure.to.y);
          break;
      }
      SelectObject(dc, oldPen);
      DeleteObject(pen);
    }
    RestoreDC(dc, saved);
  }
  EndPaint(window, &ps);
}

}  // namespace velawin
