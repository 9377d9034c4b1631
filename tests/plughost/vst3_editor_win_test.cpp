// The VST 3 editor in plughost's Win32 host window (under Wine here): the view attached to the
// HWND, its messages pumped by the host window, and a press on the panel reaching the host as
// automation and the controller. Its zoom: the editor scale plughost tells the view, and the
// view's resize requests through the host window.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <utility>
#include <vector>

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

// A press at a point of the host window's client area, sent to the window under it with the
// cursor put there first (the panel asks where the cursor is).
void press(const HostWindow& window, int x, int y, UINT down, UINT up) {
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
  SendMessageA(target, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, at);
  SendMessageA(target, up, 0, at);
}

void click(const HostWindow& window, int x, int y) {
  press(window, x, y, WM_LBUTTONDOWN, WM_LBUTTONUP);
}

void rightClick(const HostWindow& window, int x, int y) {
  press(window, x, y, WM_RBUTTONDOWN, WM_RBUTTONUP);
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

struct Size {
  int width;
  int height;
  friend bool operator==(const Size&, const Size&) = default;
};

void PrintTo(const Size& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}

Size sizeOf(const std::optional<EditorRect>& rect) {
  return rect ? Size{rect->right - rect->left, rect->bottom - rect->top} : Size{0, 0};
}

// The editor's window: the host window's one child, measured as the system has it.
Size editorSize(const HostWindow& window) {
  HWND editor = GetWindow(window.handle(), GW_CHILD);
  RECT client{};
  if (editor == nullptr || !GetClientRect(editor, &client)) {
    return {0, 0};
  }
  return {client.right - client.left, client.bottom - client.top};
}

// The command's side of a resize: the host window's client area follows (or not), and each
// request is kept with the size the editor answered while it was being asked.
struct Resizes {
  void attach(Vst3HostedPlugin& plugin, const HostWindow& window) {
    plugin.setEditorResizer([this, &plugin, &window](int width, int height) {
      asked.emplace_back(width, height);
      answeredMeanwhile.push_back(sizeOf(plugin.editorRect()));
      if (follow) {
        HWND host = window.handle();
        RECT frame{0, 0, width, height};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(host, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrA(host, GWL_EXSTYLE)));
        SetWindowPos(host, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return follow;
    });
  }
  bool follow = true;
  std::vector<std::pair<int, int>> asked;
  std::vector<Size> answeredMeanwhile;
};

struct OpeningCase {
  double scale;
  Size size;
};

TEST(Vst3EditorWin32Zoom, TheEditorScaleOpensTheViewAtItsZoom) {
  const OpeningCase cases[] = {{2.0, {540, 800}}, {1.5, {405, 600}}, {1.7, {405, 600}}};
  for (const OpeningCase& expected : cases) {
    SCOPED_TRACE(expected.scale);
    Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
    plugin.setEditorScale(expected.scale);
    ASSERT_EQ(sizeOf(plugin.editorRect()), expected.size);
    HostWindow window(expected.size.width, expected.size.height);
    Resizes resizes;
    resizes.attach(plugin, window);
    plugin.openEditor(window.handle());
    window.pump();
    EXPECT_EQ(editorSize(window), expected.size);
    EXPECT_EQ(sizeOf(plugin.editorRect()), expected.size);
    plugin.setEditorScale(expected.scale);
    window.pump();
    EXPECT_EQ(editorSize(window), expected.size);
    EXPECT_TRUE(resizes.asked.empty());
  }
}

TEST(Vst3EditorWin32Zoom, AScaleForTheOpenEditorResizesTheHostWindow) {
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  plugin.setEditorScale(1.0);
  HostWindow window(270, 400);
  Resizes resizes;
  resizes.attach(plugin, window);
  plugin.openEditor(window.handle());
  window.pump();
  ASSERT_EQ(editorSize(window), (Size{270, 400}));
  plugin.setEditorScale(2.0);
  window.pump();
  ASSERT_EQ(resizes.asked, (std::vector<std::pair<int, int>>{{540, 800}}));
  EXPECT_EQ(resizes.answeredMeanwhile, (std::vector<Size>{{540, 800}}));
  EXPECT_EQ(sizeOf(plugin.editorRect()), (Size{540, 800}));
  EXPECT_EQ(editorSize(window), (Size{540, 800}));
  RECT host{};
  GetClientRect(window.handle(), &host);
  EXPECT_EQ((Size{host.right - host.left, host.bottom - host.top}), (Size{540, 800}));
}

TEST(Vst3EditorWin32Zoom, AHostWindowThatDoesNotFollowKeepsTheEditorAtItsSize) {
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  plugin.setEditorScale(1.0);
  HostWindow window(270, 400);
  Resizes resizes;
  resizes.follow = false;
  resizes.attach(plugin, window);
  plugin.openEditor(window.handle());
  window.pump();
  plugin.setEditorScale(2.0);
  window.pump();
  EXPECT_EQ(resizes.asked.size(), 1u);
  EXPECT_EQ(sizeOf(plugin.editorRect()), (Size{270, 400}));
  EXPECT_EQ(editorSize(window), (Size{270, 400}));
}

TEST(Vst3EditorWin32Zoom, AChoiceFromThePanelsMenuResizesTheHostWindow) {
  Vst3HostedPlugin plugin(DRIVE_VST3_BUNDLE);
  plugin.setEditorScale(1.0);
  HostWindow window(270, 400);
  Resizes resizes;
  resizes.attach(plugin, window);
  plugin.openEditor(window.handle());
  window.pump();
  // A right click opens the menu at the point; 150 % is its second item, 15 pixels further down.
  rightClick(window, 100, 100);
  window.pump();
  click(window, 116, 121);
  window.pump();
  plugin.idleEditor();
  ASSERT_EQ(resizes.asked, (std::vector<std::pair<int, int>>{{405, 600}}));
  EXPECT_EQ(sizeOf(plugin.editorRect()), (Size{405, 600}));
  EXPECT_EQ(editorSize(window), (Size{405, 600}));
  EXPECT_TRUE(plugin.automation().empty());
}

}  // namespace
