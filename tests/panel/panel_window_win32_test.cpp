// Cases of the panel suite only the Win32 backend has: its window class and window as Windows
// sees them, presses that arrive without a move between them, unloading the DLL, and windows of
// the class that hold no panel.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/panel/panel_suite.h"
#include "tests/wine/panel_test_support.h"

namespace panelsuite {
namespace {

using Automation = AutomationReport;

constexpr char kPanelClass[] = "DelayWindowClass";

HWND handleOf(const panelhost::Frame& frame) {
  return static_cast<HWND>(frame.parent());
}

HWND panelOf(const panelhost::Frame& frame) {
  return FindWindowExA(handleOf(frame), nullptr, kPanelClass, nullptr);
}

TEST_F(PanelTest, Win32ClassAndWindowAsWindowsSeesThem) {
  ASSERT_EQ(hosted.open(), 1);
  HWND panel = panelOf(*hosted.frame);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(GetParent(panel), handleOf(*hosted.frame));
  EXPECT_TRUE(IsWindowVisible(panel));
  const LONG style = GetWindowLongA(panel, GWL_STYLE);
  EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_POPUP), WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(GetWindowLongA(panel, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
  char title[32] = {};
  GetWindowTextA(panel, title, sizeof title);
  EXPECT_STREQ(title, "Window");
  RECT client{};
  GetClientRect(panel, &client);
  EXPECT_EQ(client.right, 270);
  EXPECT_EQ(client.bottom, 400);
  POINT origin{0, 0};
  MapWindowPoints(panel, handleOf(*hosted.frame), &origin, 1);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);

  WNDCLASSA info{};
  ASSERT_NE(GetClassInfoA(testhost::pluginLibrary(), kPanelClass, &info), 0);
  EXPECT_EQ(info.style, 0u);  // no double-click style: a double click is two presses
  EXPECT_EQ(info.hbrBackground, GetSysColorBrush(COLOR_BTNFACE));
  EXPECT_EQ(info.hCursor, nullptr);
  EXPECT_EQ(info.hIcon, nullptr);
  EXPECT_EQ(info.cbWndExtra, 0);
  // The window procedure lives in the plug-in.
  HMODULE owner = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(info.lpfnWndProc), &owner);
  EXPECT_EQ(owner, testhost::pluginLibrary());

  EXPECT_EQ(hosted.close(), 0);
  EXPECT_FALSE(IsWindow(panel));
}

// Messages need no move between two presses, as the pointer does on X11.
TEST_F(PanelTest, Win32PressesElsewhereWhileStillDragging) {
  openShown();
  hosted.press(55, 30);  // knob 0 to 0.5, dragging
  hosted.takeAutomation();
  // Released but not moved since: the knob and its buttons ignore presses.
  hosted.press(40, 43);
  hosted.press(78, 79);  // plus button of control 0
  hosted.press(78, 88);  // minus button of control 0
  EXPECT_TRUE(hosted.takeAutomation().empty());
  EXPECT_EQ(hosted.get(0), 0.5f);
  // Another control still answers, and then both knobs follow the pointer together.
  hosted.press(119, 43);  // knob 1, straight left of its centre (134, 43)
  EXPECT_EQ(hosted.takeAutomation(), (std::vector<Automation>{{1, 0.2142857164f}}));
  hosted.move(20, 43, true);  // left of both centres
  EXPECT_EQ(hosted.takeAutomation(),
            (std::vector<Automation>{{0, 0.2142857164f}, {1, 0.2142857164f}}));
  EXPECT_TRUE(shows(hosted, {{{9, 20}, {9, 20}, {21, 9}}, {"+ 2.1", "+ 2.1", "+ 5.0", "+ 2.0"}}));
  hosted.move(20, 43, false);
  hosted.press(78, 79);
  EXPECT_EQ(hosted.takeAutomation(),
            (std::vector<Automation>{{0, static_cast<float>(0.2142857164f + 0.01)}}));
}

TEST(PanelUnload, Win32UnloadingTheLibraryLeavesNoPanelBehind) {
  // A copy of the library gets a module of its own, which this test can really unload.
  const std::string copy = std::string(DRIVE_PLUGIN_PATH) + ".unload-test.dll";
  ASSERT_NE(CopyFileA(DRIVE_PLUGIN_PATH, copy.c_str(), FALSE), 0);
  HMODULE library = LoadLibraryA(copy.c_str());
  ASSERT_NE(library, nullptr);
  auto entry = reinterpret_cast<testhost::PluginEntry>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "main")));
  ASSERT_NE(entry, nullptr);
  AEffect* effect = entry(HostRecorder::callback);
  ASSERT_NE(effect, nullptr);
  auto frame = panelhost::Frame::make();
  ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, frame->parent(), 0.0f), 1);
  frame->pump();
  HWND panel = panelOf(*frame);
  ASSERT_NE(panel, nullptr);
  WNDCLASSA info{};
  EXPECT_NE(GetClassInfoA(library, kPanelClass, &info), 0);

  EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
  // A window left behind would call into the unloaded code: stop before unloading then.
  ASSERT_FALSE(IsWindow(panel));
  ASSERT_EQ(GetClassInfoA(library, kPanelClass, &info), 0);
  ASSERT_NE(FreeLibrary(library), 0);
  EXPECT_EQ(GetModuleHandleA(copy.c_str()), nullptr);

  frame->exercise();
  EXPECT_TRUE(frame->alive());
  frame.reset();
  DeleteFileA(copy.c_str());
}

// Anyone may make a window of the class while it is registered; with no panel behind it, it
// shows what a panel shows without an editor (the background and the level's display) and the
// mouse does nothing there.
TEST_F(PanelTest, Win32WindowOfTheClassWithoutAPanel) {
  openShown();
  auto otherFrame = panelhost::Frame::make(1);
  HWND stranger =
      CreateWindowExA(0, kPanelClass, "Stranger", WS_CHILD | WS_VISIBLE, 0, 0, 270, 400,
                      handleOf(*otherFrame), nullptr, testhost::pluginLibrary(), nullptr);
  ASSERT_NE(stranger, nullptr);
  ASSERT_EQ(GetWindowLongPtrA(stranger, GWLP_USERDATA), 0);
  paneltest::repaint(stranger);
  const PanelView withoutEditor{{paneltest::kNotDrawn, paneltest::kNotDrawn, paneltest::kNotDrawn},
                                {nullptr, nullptr, nullptr, "+ 2.0"}};
  EXPECT_TRUE(samePicture(paneltest::captureWindow(stranger), expectedPanel(withoutEditor)));
  panelhost::savePicture(paneltest::captureWindow(stranger), "panel_class_without_panel");

  for (const auto& [x, y] : {std::pair{100, 300}, std::pair{100, 350}, std::pair{196, 111},
                             std::pair{78, 79}, std::pair{40, 43}}) {
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
    paneltest::pressAt(stranger, x, y);
    paneltest::moveTo(stranger, x + 10, y, true);
    paneltest::moveTo(stranger, x + 10, y, false);
  }
  EXPECT_TRUE(hosted.takeAutomation().empty());
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(hosted.get(i), i == 3 ? 0.2f : 0.5f) << i;
  }
  paneltest::repaint(stranger);
  EXPECT_TRUE(samePicture(paneltest::captureWindow(stranger), expectedPanel(withoutEditor)));
  hosted.repaint();
  EXPECT_TRUE(shows(hosted, kDefaultView));

  // Gone before the last panel closes, which unregisters the class.
  DestroyWindow(stranger);
}

}  // namespace
}  // namespace panelsuite
