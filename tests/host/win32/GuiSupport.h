// A small windowing host for the editor tests: a top-level window for the panel, a message pump,
// lookups of the panel's controls by design name and pixel capture.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "PluginLoader.h"
#include "RecordingHost.h"

// Window tests run only where a display is promised (scripts/wine-gui-test.sh sets
// VELA_GUI_TESTS=1 and starts a private 24-bit Xvfb).
bool guiTestsEnabled();
bool runningUnderWine();

// Dispatches this thread's messages for about `milliseconds`.
void pumpMessages(DWORD milliseconds);
// Dispatches messages until `window` has handled `ticks` timer messages (false on timeout),
// then lets the paints they caused through.
bool pumpTimerTicks(HWND window, int ticks, DWORD timeoutMs = 30000);

// The window a host hands the editor: a visible child of a top-level frame kept for the run.
HWND createHostWindow(int clientWidth = 560, int clientHeight = 340);

HWND findPanel(HWND host);                             // the panel child, or null
HWND findControl(HWND root, const std::string& name);  // any descendant by design name
std::string designName(HWND hwnd);                     // "" when it carries none
std::string className(HWND hwnd);
std::wstring windowText(HWND hwnd);
RECT rectInParent(HWND hwnd);  // window rectangle in the parent's client coordinates
std::vector<HWND> childrenInZOrder(HWND parent);

// Pixels read back with BitBlt from the window's own DC.
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
  COLORREF at(int x, int y) const;
  std::vector<uint8_t> rgb() const;
};
Capture captureWindow(HWND hwnd);
// `area` in the client coordinates of `source`.
Capture captureArea(HWND source, const RECT& area);

// Where test artifacts go: $VELA_ARTIFACT_DIR, else ../artifacts beside the test's bin folder.
std::string artifactDir();

// One plug-in instance with its editor opened in a host window of our own.
class EditorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  intptr_t openEditor(void* parent);
  HWND control(const char* name);  // fails the test when missing
  float parameter(int32_t index) { return effect->getParameter(effect, index); }
  void hostSets(int32_t index, float value) { effect->setParameter(effect, index, value); }
  std::vector<HostCall> automations() const {
    return RecordingHost::instance().callsWith(audioMasterAutomate);
  }
  void clearCalls() { RecordingHost::instance().calls.clear(); }
  // Two poll ticks of the panel: the first may have been due before the change under test.
  void waitForTick() { EXPECT_TRUE(pumpTimerTicks(panel, 2)) << "the panel's timer stopped"; }

  AEffect* effect = nullptr;
  HWND host = nullptr;
  HWND panel = nullptr;
};
