// The VST 3 editor in plughost's Win32 host window (under Wine here): the view attached to the
// HWND, its messages pumped by the host window, and a press on the panel reaching the host as
// automation and the controller.
#include <windows.h>

#include <gtest/gtest.h>

#include "tools/plughost/host_error.h"
#include "tools/plughost/host_window_win.h"
#include "tools/plughost/vst3_host.h"

namespace {

using namespace plughost;

BOOL CALLBACK countWindow(HWND /*window*/, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int childCount(HWND window) {
  int count = 0;
  EnumChildWindows(window, countWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

// A left click at a point of the host window's client area, sent to the window under it with
// the cursor put there first (the panel asks where the cursor is).
void click(const HostWindow& window, int x, int y) {
  const POINT screen = window.clientToScreen({x, y});
  SetCursorPos(screen.x, screen.y);
  POINT client{x, y};
  HWND host = window.handle();
  HWND target = host;
  for (HWND child = ChildWindowFromPoint(target, client); child != nullptr && child != target;
       child = ChildWindowFromPoint(target, client)) {
    MapWindowPoints(target, child, &client, 1);
    target = child;
  }
  const LPARAM at = MAKELPARAM(client.x, client.y);
  SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(target, WM_LBUTTONUP, 0, at);
}

TEST(Vst3EditorWin32, OpensInTheHostWindowAndItsPressesAreAutomation) {
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  const std::optional<EditorRect> rect = plugin.editorRect();
  ASSERT_TRUE(rect.has_value());
  EXPECT_EQ(rect->right - rect->left, 270);
  EXPECT_EQ(rect->bottom - rect->top, 400);

  HostWindow window(270, 400);
  plugin.openEditor(window.handle());
  // Asked again, the host closes the open view and opens a new one.
  plugin.openEditor(window.handle());
  window.pump();
  plugin.idleEditor();
  EXPECT_EQ(childCount(window.handle()), 1);

  // The pad below the displays steps the level up from 0.2 by 0.05.
  click(window, 100, 300);
  window.pump();
  plugin.idleEditor();
  const std::vector<AutomationReport> automation = plugin.automation();
  ASSERT_EQ(automation.size(), 1u);
  EXPECT_EQ(automation[0].index, 3);
  EXPECT_EQ(automation[0].value, 0.25f);
  EXPECT_EQ(plugin.parameter(3), 0.25f);

  plugin.closeEditor();
  window.pump();
  EXPECT_EQ(childCount(window.handle()), 0);
  plugin.openEditor(window.handle());
  window.pump();
  EXPECT_EQ(childCount(window.handle()), 1);
}

}  // namespace
