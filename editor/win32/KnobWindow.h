// The knob's native window: a custom-drawn child that paints a TTsumami and feeds it the mouse.
#pragma once

#include <windows.h>

#include "Tsumami.h"

namespace velawin {

class Win32Knob final : public KnobWindow {
 public:
  // Creates the child window; the knob is bound later with bind(), once it exists.
  Win32Knob(HINSTANCE instance, HWND parent, int x, int y, int width, int height, int id);
  ~Win32Knob() override;
  Win32Knob(const Win32Knob&) = delete;
  Win32Knob& operator=(const Win32Knob&) = delete;

  // Connects window and knob both ways; bind(nullptr) disconnects.
  void bind(TTsumami* knob);
  HWND hwnd() const { return window; }

  void invalidate() override;
  void captureMouse() override;
  void releaseMouse() override;

  static bool registerClass(HINSTANCE instance);
  static void unregisterClass(HINSTANCE instance);

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void paint();

  HWND window = nullptr;  // null once destroyed, by us or with the parent
  TTsumami* knob = nullptr;
  bool releasing = false;  // our own ReleaseCapture is running
};

}  // namespace velawin
