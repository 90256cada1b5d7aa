// The editor's life inside a host window: size report, open and close counting, destruction.
#include "GuiSupport.h"

namespace {

using Win32EditorLifecycle = EditorWindowTest;

TEST_F(Win32EditorLifecycle, ReportsNoRectangleUntilOpenThenThePanelSize) {
  ERect* rect = nullptr;
  ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 0);
  EXPECT_EQ(rect->right, 0);
  ERect* const first = rect;

  ASSERT_EQ(openEditor(host), 1);
  ASSERT_NE(panel, nullptr);
  rect = nullptr;
  ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect, first);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 281);
  EXPECT_EQ(rect->right, 481);
}

TEST_F(Win32EditorLifecycle, PanelLivesUntilTheLastClose) {
  ASSERT_EQ(openEditor(host), 1);
  const HWND first = panel;
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(IsWindowVisible(first));
  ASSERT_EQ(openEditor(host), 1);
  EXPECT_EQ(panel, first) << "a second open must show the same panel";
  EXPECT_EQ(childrenInZOrder(host).size(), 1u);

  dispatch(effect, effEditClose);
  pumpMessages(30);
  EXPECT_TRUE(IsWindow(first));
  EXPECT_TRUE(IsWindowVisible(first));
  EXPECT_EQ(findPanel(host), first);

  dispatch(effect, effEditClose);
  pumpMessages(30);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(findPanel(host), nullptr);

  // A fresh open builds a fresh panel.
  ASSERT_EQ(openEditor(host), 1);
  EXPECT_NE(panel, nullptr);
  EXPECT_TRUE(IsWindowVisible(panel));
}

TEST_F(Win32EditorLifecycle, ClosingThePlugInDestroysAnOpenPanel) {
  ASSERT_EQ(openEditor(host), 1);
  ASSERT_EQ(openEditor(host), 1);
  const HWND opened = panel;
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(dispatch(effect, effClose), 1);
  effect = nullptr;
  EXPECT_FALSE(IsWindow(opened));
  EXPECT_EQ(findPanel(host), nullptr);
  // No timer or paint may reach the freed panel afterwards.
  pumpMessages(300);
  InvalidateRect(host, nullptr, TRUE);
  UpdateWindow(host);
}

TEST_F(Win32EditorLifecycle, RefusesAMissingOrDeadParent) {
  EXPECT_EQ(openEditor(nullptr), 0);
  HWND dead =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host, nullptr, nullptr, nullptr);
  ASSERT_NE(dead, nullptr);
  DestroyWindow(dead);
  ASSERT_FALSE(IsWindow(dead));
  EXPECT_EQ(openEditor(dead), 0);
  EXPECT_TRUE(childrenInZOrder(host).empty());
  ERect* rect = nullptr;
  ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right, 0) << "a refused open must leave no panel";
  // Refused opens were not counted: one good open and one close leave nothing behind.
  ASSERT_EQ(openEditor(host), 1);
  dispatch(effect, effEditClose);
  EXPECT_EQ(findPanel(host), nullptr);
}

TEST_F(Win32EditorLifecycle, SurvivesTheHostDestroyingItsWindowFirst) {
  ASSERT_EQ(openEditor(host), 1);
  ASSERT_NE(panel, nullptr);
  DestroyWindow(host);
  host = nullptr;
  EXPECT_FALSE(IsWindow(panel));
  pumpMessages(150);
  dispatch(effect, effEditClose);
  ERect* rect = nullptr;
  EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
}

}  // namespace
