#include "GuiSupport.h"

#include <cstdlib>

#include "../../../editor/win32/VelaWindows.h"

bool guiTestsEnabled() {
  const char* flag = std::getenv("VELA_GUI_TESTS");
  return flag != nullptr && flag[0] == '1';
}

bool runningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {

// Pumps until `done` says so or `milliseconds` pass; true when `done` did.
template <typename Done>
bool pumpWhile(DWORD milliseconds, Done done) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (done(msg)) return true;
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
  }
}

}  // namespace

void pumpMessages(DWORD milliseconds) {
  pumpWhile(milliseconds, [](const MSG&) { return false; });
}

bool pumpTimerTicks(HWND window, int ticks, DWORD timeoutMs) {
  int seen = 0;
  const bool ticked = pumpWhile(timeoutMs, [&](const MSG& msg) {
    return msg.message == WM_TIMER && msg.hwnd == window && ++seen >= ticks;
  });
  pumpMessages(20);
  return ticked;
}

namespace {

constexpr wchar_t kHostClass[] = L"VelaTestHost";

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

namespace {

bool registerHostClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = kHostClass;
    return RegisterClassExW(&wc) != 0;
  }();
  return registered;
}

// One top-level frame for the whole run: destroying a top-level window costs Wine about two
// seconds without a window manager. Each test gets a child of it, as hosts hand plug-ins.
HWND hostFrame() {
  static HWND frame = nullptr;
  if (frame != nullptr && IsWindow(frame)) return frame;
  if (!registerHostClass()) return nullptr;
  RECT outer{0, 0, 600, 400};
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  AdjustWindowRect(&outer, style, FALSE);
  frame = CreateWindowExW(0, kHostClass, L"Vela test host", style, 40, 40, outer.right - outer.left,
                          outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
  if (frame == nullptr) return nullptr;
  ShowWindow(frame, SW_SHOWNORMAL);
  UpdateWindow(frame);
  SetForegroundWindow(frame);
  pumpMessages(50);
  return frame;
}

}  // namespace

HWND createHostWindow(int clientWidth, int clientHeight) {
  HWND frame = hostFrame();
  if (frame == nullptr) return nullptr;
  HWND hwnd = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, clientWidth,
                              clientHeight, frame, nullptr, GetModuleHandleW(nullptr), nullptr);
  pumpMessages(10);
  return hwnd;
}

std::string className(HWND hwnd) {
  char name[128] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

std::wstring windowText(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

std::string designName(HWND hwnd) {
  const auto* name = static_cast<const char*>(GetPropA(hwnd, velawin::kNameProperty));
  return name != nullptr ? name : "";
}

HWND findPanel(HWND host) {
  for (HWND child = GetWindow(host, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    if (className(child) == velawin::kPanelClassName) return child;
  return nullptr;
}

namespace {

struct NameSearch {
  const std::string* name;
  HWND found;
};

BOOL CALLBACK matchName(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<NameSearch*>(data);
  if (designName(hwnd) != *search->name) return TRUE;
  search->found = hwnd;
  return FALSE;
}

}  // namespace

HWND findControl(HWND root, const std::string& name) {
  NameSearch search{&name, nullptr};
  EnumChildWindows(root, matchName, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

RECT rectInParent(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<HWND> childrenInZOrder(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

COLORREF Capture::at(int x, int y) const {
  const uint32_t p = pixels[static_cast<size_t>(y * width + x)];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

std::vector<uint8_t> Capture::rgb() const {
  std::vector<uint8_t> out;
  out.reserve(pixels.size() * 3);
  for (uint32_t p : pixels) {
    out.push_back(static_cast<uint8_t>(p >> 16));
    out.push_back(static_cast<uint8_t>(p >> 8));
    out.push_back(static_cast<uint8_t>(p));
  }
  return out;
}

Capture captureArea(HWND source, const RECT& area) {
  Capture capture;
  capture.width = area.right - area.left;
  capture.height = area.bottom - area.top;
  if (capture.width <= 0 || capture.height <= 0) return capture;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC windowDc = GetDC(source);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memoryDc, bitmap);
  BitBlt(memoryDc, 0, 0, capture.width, capture.height, windowDc, area.left, area.top, SRCCOPY);
  GdiFlush();
  const auto* words = static_cast<const uint32_t*>(bits);
  capture.pixels.assign(words, words + capture.width * capture.height);
  for (uint32_t& p : capture.pixels) p &= 0x00FFFFFFu;
  SelectObject(memoryDc, old);
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
  ReleaseDC(source, windowDc);
  return capture;
}

Capture captureWindow(HWND hwnd) {
  RECT client{};
  GetClientRect(hwnd, &client);
  return captureArea(hwnd, client);
}

std::string artifactDir() {
  const char* dir = std::getenv("VELA_ARTIFACT_DIR");
  std::string path = dir != nullptr && dir[0] != '\0' ? dir : "..\\artifacts";
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

void EditorWindowTest::SetUp() {
  if (!guiTestsEnabled())
    GTEST_SKIP() << "window tests run through scripts/wine-gui-test.sh (ctest: host_gui)";
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  PluginEntry entry = builtPlugin().entry("main");
  ASSERT_NE(entry, nullptr);
  host = createHostWindow();
  ASSERT_NE(host, nullptr) << "no window: is there a display?";
  RecordingHost::instance().reset();
  effect = entry(&RecordingHost::callback);
  ASSERT_NE(effect, nullptr);
}

void EditorWindowTest::TearDown() {
  if (effect != nullptr) dispatch(effect, effClose);
  effect = nullptr;
  if (host != nullptr) DestroyWindow(host);
  host = nullptr;
  pumpMessages(20);
}

intptr_t EditorWindowTest::openEditor(void* parent) {
  const intptr_t result = dispatch(effect, effEditOpen, 0, 0, parent);
  panel = findPanel(host);
  pumpMessages(30);
  return result;
}

HWND EditorWindowTest::control(const char* name) {
  HWND hwnd = panel != nullptr ? findControl(panel, name) : nullptr;
  EXPECT_NE(hwnd, nullptr) << "no control named " << name;
  return hwnd;
}
