#include "tools/plughost/host_window_win.h"

#include <algorithm>
#include <cstdint>

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

// The frame around a client area of this size, in the middle of the screen: SetCursorPos clamps
// to the screen, so a pointer script that runs past the editor's edges needs room on every side.
RECT frameInTheMiddle(int clientWidth, int clientHeight) {
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, kHostStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  return RECT{x, y, x + width, y + height};
}

}  // namespace

namespace {

// A user32 export that older systems lack, or null.
template <typename Function>
Function user32Export(const char* name) {
  HMODULE user = GetModuleHandleA("user32.dll");
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): how a system export is typed
  return user != nullptr
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name)))
             : nullptr;
}

// DPI_AWARENESS_CONTEXT values; the headers name them only for newer target systems.
// NOLINTBEGIN(performance-no-int-to-ptr): the contexts are small negative handles
HANDLE awarenessContext(std::intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}
// NOLINTEND(performance-no-int-to-ptr)
constexpr std::intptr_t kUnaware = -1;
constexpr std::intptr_t kSystemAware = -2;
constexpr std::intptr_t kPerMonitorAware = -3;
constexpr std::intptr_t kPerMonitorAwareV2 = -4;

}  // namespace

bool followDpi(bool aware) {
  using SetContext = HANDLE(WINAPI*)(HANDLE);
  const auto setThreadContext = user32Export<SetContext>("SetThreadDpiAwarenessContext");
  if (!aware) {
    // A program without a manifest saying otherwise is unaware on Windows, but Wine makes every
    // process per-monitor aware from the start; the thread that makes the windows says it
    // itself, the same on both.
    if (setThreadContext != nullptr) {
      setThreadContext(awarenessContext(kUnaware));
    }
    return true;
  }
  using SetProcessContext = BOOL(WINAPI*)(HANDLE);
  if (const auto setContext = user32Export<SetProcessContext>("SetProcessDpiAwarenessContext")) {
    for (const std::intptr_t context : {kPerMonitorAwareV2, kPerMonitorAware, kSystemAware}) {
      if (setContext(awarenessContext(context)) != FALSE) {
        break;
      }
    }
  } else if (const auto setAware = user32Export<BOOL(WINAPI*)()>("SetProcessDPIAware")) {
    setAware();
  }
  // Already aware (the process was made so before main) is as good as made so here.
  const auto isAware = user32Export<BOOL(WINAPI*)()>("IsProcessDPIAware");
  return isAware != nullptr && isAware() != FALSE;
}

HostWindow::HostWindow(int clientWidth, int clientHeight)
    : width_(clientWidth), height_(clientHeight) {
  registerHostClass();
  const RECT frame = frameInTheMiddle(clientWidth, clientHeight);
  window_ = CreateWindowExA(0, kHostWindowClass, "plughost", kHostStyle, frame.left, frame.top,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
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

void HostWindow::resize(int clientWidth, int clientHeight) {
  if (window_ == nullptr) {
    return;
  }
  width_ = clientWidth;
  height_ = clientHeight;
  const RECT frame = frameInTheMiddle(clientWidth, clientHeight);
  SetWindowPos(window_, nullptr, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
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
