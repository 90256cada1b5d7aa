// What the native panel shows to the outside: window class names, the property that carries a
// control's design name, and the knob's messages. Shared by the panel and programs that inspect
// it (our GUI tests), the way commctrl.h is shared by trackbars and their users.
#pragma once

#include <windows.h>

namespace velawin {

inline constexpr char kPanelClassName[] = "VelaOrinPanel";
inline constexpr char kKnobClassName[] = "VelaOrinTsumami";
inline constexpr char kPanelText[] = "Form1";

// Every window of the panel (the panel itself, each control, each radio item) carries its design
// name ("TrackBar3", "RadioGroup1", "RadioGroup1.Item2", ...) as a window property: the handle is
// a pointer to a zero-terminated string that lives as long as the window.
inline constexpr char kNameProperty[] = "VelaOrin.Name";

// Knob messages, answered by windows of kKnobClassName.
inline constexpr UINT TKM_GETPOS = WM_USER + 1;       // returns Position
inline constexpr UINT TKM_GETDRAGGING = WM_USER + 2;  // returns 1 while a drag runs

// Timer id of the panel's 100 ms poll.
inline constexpr UINT_PTR kPollTimerId = 1;

}  // namespace velawin
