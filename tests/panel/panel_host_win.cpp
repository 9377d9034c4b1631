// The suite's host under Wine: plughost's HostWindow placed where the test wants it, the pointer
// set with SetCursorPos and the press or move sent straight to the panel window (which reads the
// pointer itself), and the pixels read back from the window's device context.
#include <windows.h>

#include <memory>

#include "tests/panel/panel_host.h"
#include "tests/wine/panel_test_support.h"
#include "tools/plughost/host_window_win.h"

namespace panelhost {
namespace {

constexpr char kPanelClass[] = "DelayWindowClass";

// Client-area corners of the two frames on the 1280 x 1024 screen, far enough from its edges
// for drags that leave the panel (SetCursorPos clamps to the screen).
constexpr POINT kSlots[2] = {{300, 200}, {700, 200}};

class Win32Frame final : public Frame {
 public:
  explicit Win32Frame(int slot) : window_(kPanelWidth, kPanelHeight) {
    const POINT corner = kSlots[slot == 0 ? 0 : 1];
    SetWindowPos(window_.handle(), nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    window_.pump();
  }

  void* parent() const override { return window_.handle(); }
  void destroy() override { DestroyWindow(window_.handle()); }
  bool alive() override { return IsWindow(window_.handle()) != 0; }

  int panelCount() override {
    int count = 0;
    for (HWND child = FindWindowExA(window_.handle(), nullptr, kPanelClass, nullptr);
         child != nullptr; child = FindWindowExA(window_.handle(), child, kPanelClass, nullptr)) {
      ++count;
    }
    return count;
  }

  void pump() override { window_.pump(); }
  bool toFront() override { return false; }

  Image picture() override { return paneltest::captureWindow(target()); }

  void scribble(const Area& area, std::uint32_t rgb) override {
    paneltest::scribble(target(), area.x, area.y, area.width, area.height,
                        RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff));
  }

  void invalidate(const Area& area) override {
    const RECT part{area.x, area.y, area.x + area.width, area.y + area.height};
    RedrawWindow(target(), &part, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }

  void press(int x, int y) override {
    HWND panel = target();
    paneltest::pressAt(panel, x, y);
  }

  void move(int x, int y, bool leftButton) override {
    HWND panel = target();
    paneltest::moveTo(panel, x, y, leftButton);
  }

  void doubleClick(int x, int y) override {
    HWND panel = target();
    paneltest::pointerTo(panel, x, y);
    pump();
    INPUT clicks[4] = {};
    const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                            MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 4; ++i) {
      clicks[i].type = INPUT_MOUSE;
      clicks[i].mi.dwFlags = flags[i];
    }
    ASSERT_EQ(SendInput(4, clicks, sizeof(INPUT)), 4u);
    // The clicks reach the window through its queue; the second release is the last of them.
    // The wait only keeps a lost click from hanging the run: the messages decide.
    int releases = 0;
    while (releases < 2) {
      if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 10000, QS_ALLINPUT) == WAIT_TIMEOUT) {
        ADD_FAILURE() << "the double click did not arrive";
        return;
      }
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == panel && message.message == WM_LBUTTONUP) {
          ++releases;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }

  void exercise() override {
    HWND host = window_.handle();
    RedrawWindow(host, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    paneltest::pointerTo(host, 40, 40);
    SendMessageA(host, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
    SendMessageA(host, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 60));
    SendMessageA(host, WM_MOUSEMOVE, 0, MAKELPARAM(60, 60));
    pump();
  }

 private:
  // The panel window when there is one, the frame itself otherwise.
  HWND target() const {
    HWND panel = FindWindowExA(window_.handle(), nullptr, kPanelClass, nullptr);
    return panel != nullptr ? panel : window_.handle();
  }

  plughost::HostWindow window_;
};

}  // namespace

std::unique_ptr<Frame> Frame::make(int slot) {
  return std::make_unique<Win32Frame>(slot);
}

std::optional<bool> panelResourcesHeld() {
  WNDCLASSA info{};
  return GetClassInfoA(testhost::pluginLibrary(), kPanelClass, &info) != 0;
}

}  // namespace panelhost
