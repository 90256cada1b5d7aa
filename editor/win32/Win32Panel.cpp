// The native panel: a borderless child window with the designed controls, its font and colours,
// the poll timer, and the glue that turns control notifications into TForm1 handlers and
// gestures.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "KnobWindow.h"
#include "PanelLayout.h"
#include "Unit1.h"
#include "VelaLogo.h"
#include "VelaWindows.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module, also when built into a DLL

namespace velawin {
namespace {

using namespace velapanel;

constexpr COLORREF kTextColour = RGB(0, 0, 255);
constexpr int kFontHeight = -12;  // character height 12 pixels: 9 points at 96 pixels per inch
constexpr UINT_PTR kGroupSubclassId = 1;

HINSTANCE moduleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// Themed buttons (a host with a visual-styles manifest) draw their captions in the theme's
// colour and ignore WM_CTLCOLOR*; without a theme they are blue like the rest. uxtheme is
// looked up at run time so the library loads where it is missing.
void drawWithoutTheme(HWND hwnd) {
  using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  static const SetWindowThemeFn setWindowTheme = [] {
    HMODULE uxtheme = LoadLibraryW(L"uxtheme.dll");
    if (uxtheme == nullptr) return static_cast<SetWindowThemeFn>(nullptr);
    return reinterpret_cast<SetWindowThemeFn>(
        reinterpret_cast<void*>(GetProcAddress(uxtheme, "SetWindowTheme")));
  }();
  if (setWindowTheme != nullptr) setWindowTheme(hwnd, L"", L"");
}

// Window classes are registered while at least one panel exists and removed with the last one,
// so that unloading the library never leaves a class pointing into freed code.
int liveClassUsers = 0;

class PanelClasses {
 public:
  PanelClasses() {
    if (liveClassUsers++ > 0) return;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    registerPanelClass();
    Win32Knob::registerClass(moduleInstance());
  }
  ~PanelClasses() {
    if (--liveClassUsers > 0) return;
    UnregisterClassA(kPanelClassName, moduleInstance());
    Win32Knob::unregisterClass(moduleInstance());
  }
  PanelClasses(const PanelClasses&) = delete;
  PanelClasses& operator=(const PanelClasses&) = delete;

  static LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static void registerPanelClass() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PanelClasses::panelProc;
    wc.hInstance = moduleInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kPanelClassName;
    RegisterClassExA(&wc);
  }
};

class Win32Panel final : public PanelWindow, public PanelControls {
 public:
  explicit Win32Panel(HWND parent);
  ~Win32Panel() override;
  Win32Panel(const Win32Panel&) = delete;
  Win32Panel& operator=(const Win32Panel&) = delete;

  bool created() const { return panel != nullptr && form_ != nullptr; }

  // PanelWindow
  TForm1& form() override { return *form_; }
  void show() override;
  void hide() override {
    if (panel != nullptr) ShowWindow(panel, SW_HIDE);
  }
  void repaint() override { redrawNow(); }
  int32_t outerWidth() const override;
  int32_t outerHeight() const override;

  // PanelControls
  int32_t trackBarPosition(int32_t trackBar) const override;
  int32_t radioIndex() const override { return radioSelected; }
  bool checked(int32_t checkBox) const override;
  void repaintNow() override { redrawNow(); }

  LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  void showTrackBarPosition(int32_t trackBar, int32_t position) override;
  void showRadioIndex(int32_t index) override;
  void showChecked(int32_t checkBox, bool state) override;

 private:
  static LRESULT CALLBACK groupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR panelPointer);
  void createChildren(const char* parentName, HWND parentWindow);
  HWND createControl(size_t index, HWND parentWindow);
  void createRadioItems(HWND group);
  void name(HWND hwnd, const char* designName);
  void redrawNow();
  void onScroll(HWND control, WORD code);
  void onClicked(HWND control);
  LRESULT drawBottomLabel(const DRAWITEMSTRUCT& item);
  void clearNames();

  PanelClasses classes;
  HWND panel = nullptr;       // null once destroyed, by us or with the host's window
  HFONT font = nullptr;       // owned; given to every control
  HFONT panelFont = nullptr;  // what WM_SETFONT last gave the panel itself
  HBITMAP logo = nullptr;
  std::vector<HWND> named;  // every window that carries a name property
  std::array<HWND, kTrackBarCount> trackBars{};
  std::array<HWND, kCheckBoxCount> checkBoxes{};
  std::array<HWND, kRadioItemCount> radioItems{};
  std::array<std::unique_ptr<Win32Knob>, kKnobCount> knobs;
  std::unique_ptr<TForm1> form_;
  int32_t radioSelected = kRadioDesigned;
  std::array<bool, kCheckBoxCount> checkState = kCheckBoxDesigned;  // as last reported
  int programMoves = 0;  // >0 while we move a control ourselves: its notifications are ours
  int paintsSeen = 0;
};

LRESULT CALLBACK PanelClasses::panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Panel*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  return self->handle(hwnd, message, wParam, lParam);
}

Win32Panel::Win32Panel(HWND parent) {
  const DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  // Opaque on purpose: no layered style. Since Windows 8 a layered child is honoured, and the
  // old request (alpha 50, black as colour key) would make the panel nearly invisible there.
  panel = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClassName, kPanelText, style, 0, 0,
                          kPanelWidth, kPanelHeight, parent, nullptr, moduleInstance(), this);
  if (panel == nullptr) return;
  name(panel, kPanelText);

  font = CreateFontW(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, L"Times New Roman");
  SendMessageW(panel, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  logo = createLogoBitmap(GetSysColor(COLOR_BTNFACE));
  createChildren(kPanelText, panel);

  form_ = std::make_unique<TForm1>(*this);
  for (int32_t n = 1; n <= kKnobCount; ++n)
    if (knobs[static_cast<size_t>(n - 1)]) knobs[static_cast<size_t>(n - 1)]->bind(&form_->knob(n));
  SetTimer(panel, kPollTimerId, static_cast<UINT>(kPollIntervalMs), nullptr);
}

Win32Panel::~Win32Panel() {
  if (panel != nullptr) KillTimer(panel, kPollTimerId);
  // Knob windows go before the knobs they draw; the rest goes with the panel window.
  for (auto& knob : knobs) knob.reset();
  clearNames();
  if (panel != nullptr) DestroyWindow(panel);
  form_.reset();
  if (font != nullptr) DeleteObject(font);
  if (logo != nullptr) DeleteObject(logo);
}

void Win32Panel::clearNames() {
  for (HWND hwnd : named)
    if (IsWindow(hwnd)) RemovePropA(hwnd, kNameProperty);
  named.clear();
}

void Win32Panel::name(HWND hwnd, const char* designName) {
  SetPropA(hwnd, kNameProperty, const_cast<char*>(designName));
  named.push_back(hwnd);
}

void Win32Panel::createChildren(const char* parentName, HWND parentWindow) {
  // Windows take the tab order from the creation order: tab positions first, the rest after.
  const auto layout = panelLayout();
  std::vector<size_t> order;
  for (size_t i = 0; i < layout.size(); ++i)
    if (std::string_view(layout[i].parent) == parentName && layout[i].tab >= 0) order.push_back(i);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return layout[a].tab < layout[b].tab; });
  for (size_t i = 0; i < layout.size(); ++i)
    if (std::string_view(layout[i].parent) == parentName && layout[i].tab < 0) order.push_back(i);

  for (size_t i : order) {
    HWND control = createControl(i, parentWindow);
    if (control == nullptr) continue;
    const ControlKind kind = layout[i].kind;
    if (kind == ControlKind::GroupBox || kind == ControlKind::FlatGroupBox ||
        kind == ControlKind::RadioGroup) {
      SetWindowSubclass(control, &Win32Panel::groupProc, kGroupSubclassId,
                        reinterpret_cast<DWORD_PTR>(this));
      if (kind == ControlKind::RadioGroup)
        createRadioItems(control);
      else
        createChildren(layout[i].name, control);
    }
  }
}

HWND Win32Panel::createControl(size_t index, HWND parentWindow) {
  const ControlLayout& entry = panelLayout()[index];
  const int id = kFirstControlId + static_cast<int>(index);
  const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  const wchar_t* className = L"BUTTON";
  const size_t n = static_cast<size_t>(entry.number > 0 ? entry.number - 1 : 0);

  switch (entry.kind) {
    case ControlKind::GroupBox:
    case ControlKind::RadioGroup:
      style |= BS_GROUPBOX | WS_CLIPCHILDREN;
      exStyle = WS_EX_CONTROLPARENT;
      break;
    case ControlKind::FlatGroupBox:
      style |= BS_GROUPBOX | BS_FLAT | WS_CLIPCHILDREN;
      exStyle = WS_EX_CONTROLPARENT;
      break;
    case ControlKind::TrackBarHorz:
      className = TRACKBAR_CLASSW;
      style |= TBS_HORZ | TBS_TOP | TBS_AUTOTICKS | TBS_FIXEDLENGTH;
      break;
    case ControlKind::TrackBarVert:
      className = TRACKBAR_CLASSW;
      style |= TBS_VERT | TBS_BOTH | TBS_AUTOTICKS | TBS_FIXEDLENGTH | WS_TABSTOP;
      break;
    case ControlKind::Label:
      className = L"STATIC";
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case ControlKind::BottomLabel:
      className = L"STATIC";
      style |= SS_OWNERDRAW | SS_NOPREFIX;  // drawn by drawBottomLabel
      break;
    case ControlKind::CheckBox: style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
    case ControlKind::Memo:
      className = L"EDIT";
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Image:
      className = L"STATIC";
      style |= SS_BITMAP;
      break;
    case ControlKind::Knob: {
      knobs[n] = std::make_unique<Win32Knob>(moduleInstance(), parentWindow, entry.left, entry.top,
                                             entry.width, entry.height, id);
      HWND knob = knobs[n]->hwnd();
      if (knob != nullptr) name(knob, entry.name);
      return knob;
    }
  }

  HWND hwnd = CreateWindowExW(exStyle, className, entry.text, style, entry.left, entry.top, entry.width,
                              entry.height, parentWindow, menu, moduleInstance(), nullptr);
  if (hwnd == nullptr) return nullptr;
  name(hwnd, entry.name);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (className == std::wstring_view(L"BUTTON")) drawWithoutTheme(hwnd);

  switch (entry.kind) {
    case ControlKind::TrackBarHorz:
    case ControlKind::TrackBarVert: {
      const bool vertical = entry.kind == ControlKind::TrackBarVert;
      SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, 0);
      SendMessageW(hwnd, TBM_SETRANGEMAX, FALSE, kTrackBarMax[n]);
      SendMessageW(hwnd, TBM_SETTICFREQ, vertical ? 5 : 3, 0);
      SendMessageW(hwnd, TBM_SETLINESIZE, 0, 1);
      SendMessageW(hwnd, TBM_SETPAGESIZE, 0, vertical ? 1 : 2);
      SendMessageW(hwnd, TBM_SETTHUMBLENGTH, vertical ? 15 : 20, 0);
      SendMessageW(hwnd, TBM_SETPOS, TRUE, kTrackBarDesigned[n]);
      trackBars[n] = hwnd;
      break;
    }
    case ControlKind::CheckBox:
      SendMessageW(hwnd, BM_SETCHECK, kCheckBoxDesigned[n] ? BST_CHECKED : BST_UNCHECKED, 0);
      checkBoxes[n] = hwnd;
      break;
    case ControlKind::Image:
      SendMessageW(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo));
      // The static sizes itself to the bitmap; the designed box is one column narrower.
      SetWindowPos(hwnd, nullptr, 0, 0, entry.width, entry.height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    default: break;
  }
  return hwnd;
}

void Win32Panel::createRadioItems(HWND group) {
  for (int i = 0; i < kRadioItemCount; ++i) {
    DWORD style = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
    if (i == 0) style |= WS_GROUP | WS_TABSTOP;
    const PanelBox box = radioItemInGroup(i);
    HWND item =
        CreateWindowExW(0, L"BUTTON", kRadioItems[i], style, box.left, box.top, box.width,
                        box.height, group,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRadioItemIdBase + i)),
                        moduleInstance(), nullptr);
    if (item == nullptr) continue;
    name(item, kRadioItemNames[i]);
    SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    drawWithoutTheme(item);
    SendMessageW(item, BM_SETCHECK, i == kRadioDesigned ? BST_CHECKED : BST_UNCHECKED, 0);
    radioItems[static_cast<size_t>(i)] = item;
  }
}

LRESULT CALLBACK Win32Panel::groupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR panelPointer) {
  auto* self = reinterpret_cast<Win32Panel*>(panelPointer);
  switch (message) {
    // A group box is the parent of its controls but ignores their notifications: pass them on.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (self->panel != nullptr) return SendMessageW(self->panel, message, wParam, lParam);
      break;
    case WM_ERASEBKGND: {
      // A group box does not erase its inside, and the panel clips its children away.
      RECT client{};
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_NCDESTROY: RemoveWindowSubclass(hwnd, &Win32Panel::groupProc, id); break;
    default: break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT Win32Panel::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      ++paintsSeen;
      if (form_) form_->FormPaint();
      return 0;
    }
    case WM_TIMER:
      if (wParam == kPollTimerId && form_) form_->Timer1Timer();
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL: onScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam)); return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) onClicked(reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, kTextColour);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, kTextColour);
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_DRAWITEM: return drawBottomLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_SETFONT: panelFont = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(panelFont);
    case WM_NCDESTROY:
      // Also reached when the host destroys its window with the panel still open.
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      panel = nullptr;
      named.clear();
      break;
    default: break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A thumb drag is one gesture, from its first TB_THUMBTRACK to TB_ENDTRACK (which the slider
// also sends when it loses the mouse). Line, page and wheel steps and keys are single edits that
// TForm1 brackets itself.
void Win32Panel::onScroll(HWND control, WORD code) {
  if (programMoves > 0 || !form_) return;
  for (size_t i = 0; i < trackBars.size(); ++i) {
    if (trackBars[i] == nullptr || trackBars[i] != control) continue;
    const auto n = static_cast<int32_t>(i + 1);
    if (code == TB_THUMBTRACK) form_->beginGesture(TForm1::ControlKind::TrackBar, n);
    form_->TrackBarChange(n);
    if (code == TB_ENDTRACK) form_->endGesture(TForm1::ControlKind::TrackBar, n);
  }
}

void Win32Panel::onClicked(HWND control) {
  if (programMoves > 0 || !form_ || control == nullptr) return;
  for (size_t i = 0; i < checkBoxes.size(); ++i) {
    if (checkBoxes[i] != control) continue;
    const bool state = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (state == checkState[i]) return;
    checkState[i] = state;
    form_->CheckBoxClick(static_cast<int32_t>(i + 1));
    return;
  }
  for (size_t i = 0; i < radioItems.size(); ++i) {
    if (radioItems[i] != control) continue;
    if (SendMessageW(control, BM_GETCHECK, 0, 0) != BST_CHECKED) return;
    if (static_cast<int32_t>(i) == radioSelected) return;
    radioSelected = static_cast<int32_t>(i);
    form_->RadioGroup1Click();
    return;
  }
}

LRESULT Win32Panel::drawBottomLabel(const DRAWITEMSTRUCT& item) {
  if (item.CtlType != ODT_STATIC) return FALSE;
  wchar_t text[64] = {};
  GetWindowTextW(item.hwndItem, text, 64);
  RECT box = item.rcItem;
  FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ oldFont = SelectObject(item.hDC, font);
  SetTextColor(item.hDC, kTextColour);
  SetBkMode(item.hDC, TRANSPARENT);
  DrawTextW(item.hDC, text, -1, &box, DT_LEFT | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, oldFont);
  return TRUE;
}

void Win32Panel::redrawNow() {
  if (panel == nullptr) return;
  const int before = paintsSeen;
  RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_UPDATENOW);
  // A hidden panel, or one whose surface is all children, may get no paint from the system;
  // the forced repaint must still bring the controls into line.
  if (paintsSeen == before && form_) form_->FormPaint();
}

void Win32Panel::show() {
  if (panel == nullptr) return;
  SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

int32_t Win32Panel::outerWidth() const {
  RECT r{};
  if (panel == nullptr || !GetWindowRect(panel, &r)) return kPanelWidth;
  return r.right - r.left;
}

int32_t Win32Panel::outerHeight() const {
  RECT r{};
  if (panel == nullptr || !GetWindowRect(panel, &r)) return kPanelHeight;
  return r.bottom - r.top;
}

int32_t Win32Panel::trackBarPosition(int32_t trackBar) const {
  if (trackBar < 1 || trackBar > kTrackBarCount) return 0;
  HWND hwnd = trackBars[static_cast<size_t>(trackBar - 1)];
  return hwnd != nullptr ? static_cast<int32_t>(SendMessageW(hwnd, TBM_GETPOS, 0, 0)) : 0;
}

// The native controls are silent about states set by the program; the change handling is the
// contract's (PanelControls).
void Win32Panel::showTrackBarPosition(int32_t trackBar, int32_t position) {
  HWND hwnd = trackBars[static_cast<size_t>(trackBar - 1)];
  if (hwnd == nullptr) return;
  ++programMoves;
  SendMessageW(hwnd, TBM_SETPOS, TRUE, position);
  --programMoves;
}

void Win32Panel::showRadioIndex(int32_t index) {
  ++programMoves;
  for (int32_t i = 0; i < kRadioItemCount; ++i)
    if (HWND item = radioItems[static_cast<size_t>(i)])
      SendMessageW(item, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
  --programMoves;
  radioSelected = index;
}

bool Win32Panel::checked(int32_t checkBox) const {
  if (checkBox < 1 || checkBox > kCheckBoxCount) return false;
  const auto i = static_cast<size_t>(checkBox - 1);
  if (checkBoxes[i] == nullptr) return checkState[i];
  return SendMessageW(checkBoxes[i], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Panel::showChecked(int32_t checkBox, bool state) {
  const auto i = static_cast<size_t>(checkBox - 1);
  ++programMoves;
  if (checkBoxes[i] != nullptr)
    SendMessageW(checkBoxes[i], BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
  --programMoves;
  checkState[i] = state;
}

}  // namespace
}  // namespace velawin

// The Windows panel keeps its designed size: Windows hosts stretch plug-in windows by their own DPI
// handling, so a host's word on the scale is not ours to apply.
std::unique_ptr<PanelWindow> createNativePanel(void* parent, velapanel::HostScale) {
  HWND parentWindow = static_cast<HWND>(parent);
  if (parentWindow == nullptr || !IsWindow(parentWindow)) return nullptr;
  // Out of memory while building: no panel, and nothing thrown into the host.
  try {
    auto panel = std::make_unique<velawin::Win32Panel>(parentWindow);
    if (!panel->created()) return nullptr;
    return panel;
  } catch (...) {
    return nullptr;
  }
}

velapanel::PanelSize nativePanelSize(velapanel::HostScale) { return {kPanelWidth, kPanelHeight}; }
