#include "tools/plughost/host_window_win.h"

#include <algorithm>

#include "tools/plughost/host_error.h"

namespace plughost {
namespace {

constexpr char kHostWindowClass[] = "PlughostEditorHost";
// A popup has no frame, so its client area is the whole window; clipping the children keeps
// the frame's own background painting off the editor.
constexpr DWORD kHostStyle = WS_POPUP | WS_CLIPCHILDREN;

void registerHostClass() {
  // Once per process; the class goes with the process.
  static const ATOM registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = kHostWindowClass;
    return RegisterClassA(&windowClass);
  }();
  (void)registered;
}

}  // namespace

HostWindow::HostWindow(int clientWidth, int clientHeight) {
  registerHostClass();
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, kHostStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // In the middle of the screen: SetCursorPos clamps to the screen, so a pointer script that
  // runs past the editor's edges needs room on every side.
  const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  window_ = CreateWindowExA(0, kHostWindowClass, "plughost", kHostStyle, x, y, width, height,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window_ == nullptr) {
    throw HostError("cannot create a host window for the editor (Windows error " +
                    std::to_string(GetLastError()) + ")");
  }
  // Shown without activation: under Wine no window manager then takes part, and the window
  // neither waits for one nor takes the focus from the user's own windows.
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  pump();
}

HostWindow::~HostWindow() {
  destroy();
  pump();
}

void HostWindow::destroy() {
  if (window_ != nullptr) {
    DestroyWindow(window_);
    window_ = nullptr;
  }
}

void HostWindow::pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

POINT HostWindow::clientToScreen(POINT client) const {
  ClientToScreen(window_, &client);
  return client;
}

}  // namespace plughost
