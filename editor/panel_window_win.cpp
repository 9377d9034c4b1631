#include "editor/panel_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "host/module_instance_win.h"

namespace {

// Loaded in this order, which is also the order of PanelBitmap.
constexpr const char* kPanelBitmapNames[kPanelBitmapCount] = {
    "IDB_BITFOND",  "IDB_BITINDEX", "IDB_BITINDMK", "IDB_BITNOMBD", "IDB_BITNOMBP", "IDB_BITNOMB0",
    "IDB_BITNOMB1", "IDB_BITNOMB2", "IDB_BITNOMB3", "IDB_BITNOMB4", "IDB_BITNOMB5", "IDB_BITNOMB6",
    "IDB_BITNOMB7", "IDB_BITNOMB8", "IDB_BITNOMB9", "IDB_BITMOINS", "IDB_BITPLUS",
};

HBITMAP panelBitmaps[kPanelBitmapCount] = {};
// The loaded bitmaps' pixels as the canvas composes them, read once per loading.
std::uint32_t* bitmapPixels[kPanelBitmapCount] = {};
PanelBitmapSet bitmapSet;

BITMAPINFO topDownInfo(LONG width, LONG height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The bitmap's pixels as 0x00RRGGBB words, or nothing when it cannot be read.
PanelPixels readPixels(HBITMAP bitmap, std::uint32_t*& storage) {
  BITMAP description{};
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof description, &description) == 0 ||
      description.bmWidth <= 0 || description.bmHeight <= 0) {
    return {};
  }
  const std::size_t count = static_cast<std::size_t>(description.bmWidth) *
                            static_cast<std::size_t>(description.bmHeight);
  storage = new (std::nothrow) std::uint32_t[count];
  if (storage == nullptr) {
    return {};
  }
  BITMAPINFO info = topDownInfo(description.bmWidth, description.bmHeight);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(description.bmHeight), storage,
                             &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != description.bmHeight) {
    delete[] storage;
    storage = nullptr;
    return {};
  }
  return {description.bmWidth, description.bmHeight, storage};
}

class Win32PanelWindow final : public PanelWindow {
 public:
  explicit Win32PanelWindow(std::int32_t zoom = kPanelZooms[0]) : PanelWindow(bitmapSet, zoom) {}
  HWND handle = nullptr;

 protected:
  // Straight into the window's context, outside the paint cycle, as GDI transfers would; in
  // bands of whole rows, the scratch holding one panel's worth of pixels.
  void present(const PanelRect& changed) override {
    if (handle == nullptr) {
      return;
    }
    const std::int32_t bandRows = std::max<std::int32_t>(1, kScratchPixels / changed.width);
    HDC windowDc = GetDC(handle);
    for (std::int32_t top = 0; top < changed.height; top += bandRows) {
      const std::int32_t rows = std::min(bandRows, changed.height - top);
      composeWindowPixels({changed.x, changed.y + top, changed.width, rows}, scratch_,
                          changed.width);
      BITMAPINFO info = topDownInfo(changed.width, rows);
      SetDIBitsToDevice(windowDc, changed.x, changed.y + top, static_cast<DWORD>(changed.width),
                        static_cast<DWORD>(rows), 0, 0, 0, static_cast<UINT>(rows), scratch_, &info,
                        DIB_RGB_COLORS);
    }
    ReleaseDC(handle, windowDc);
  }

  void resize(const PanelSize& size) override {
    if (handle != nullptr) {
      SetWindowPos(handle, nullptr, 0, 0, size.width, size.height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

 private:
  static constexpr std::int32_t kScratchPixels = PanelCanvas::width * PanelCanvas::height;
  std::uint32_t scratch_[kScratchPixels] = {};
};

// The window's dots per inch where the system can tell (Windows 10 and later, and Wine),
// looked up at run time so that the plug-in still loads where it cannot; 0 otherwise. A window
// of a process that is not DPI-aware is told 96, and the system scales it itself.
UINT dpiOf(HWND window) {
  HMODULE user = GetModuleHandleA("user32.dll");
  if (user == nullptr) {
    return 0;
  }
  if (window != nullptr) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): how a system export is typed
    if (auto forWindow = reinterpret_cast<DpiForWindow>(
            reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")))) {
      return forWindow(window);
    }
    return 0;
  }
  using DpiForSystem = UINT(WINAPI*)();
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): how a system export is typed
  if (auto forSystem = reinterpret_cast<DpiForSystem>(
          reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForSystem")))) {
    return forSystem();
  }
  return 0;
}

Win32PanelWindow* panelOf(HWND window) {
  return reinterpret_cast<Win32PanelWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// A window of the class whose user data holds no panel (made by someone else, or a message
// after its panel went) paints as a panel window without an editor does: the background and
// the level's display. Made for the one paint: such paints are rare, and a stand-in kept
// between them would outlive the bitmaps it composes from.
void paintWithoutPanel(HWND window) {
  std::unique_ptr<Win32PanelWindow> standIn(new (std::nothrow) Win32PanelWindow);
  if (standIn == nullptr) {
    return;
  }
  standIn->handle = window;
  standIn->paint();
  standIn->handle = nullptr;
}

void handleMouse(HWND window, UINT message, WPARAM wParam) {
  // The handlers ignore the message's coordinates and ask where the pointer is now.
  POINT point{0, 0};
  GetCursorPos(&point);
  ScreenToClient(window, &point);
  Win32PanelWindow* panel = panelOf(window);
  if (panel == nullptr) {
    return;
  }
  if (message == WM_LBUTTONDOWN) {
    panel->leftButtonDown(point.x, point.y);
  } else if (message == WM_RBUTTONDOWN) {
    panel->rightButtonDown(point.x, point.y);
  } else {
    panel->mouseMove(point.x, point.y, (wParam & MK_LBUTTON) != 0);
  }
}

class Win32WindowSystem final : public PanelWindowSystem {
 public:
  void acquireResources() override {
    // COMCTL32 ordinal 17; editor/CMakeLists.txt imports it by that ordinal.
    InitCommonControls();
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = panelWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = moduleInstance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kPanelWindowClassName;
    RegisterClassA(&windowClass);
    for (std::int32_t i = 0; i < kPanelBitmapCount; ++i) {
      panelBitmaps[i] = LoadBitmapA(moduleInstance, kPanelBitmapNames[i]);
      bitmapSet.bitmaps[i] = readPixels(panelBitmaps[i], bitmapPixels[i]);
    }
  }

  void releaseResources() override {
    UnregisterClassA(kPanelWindowClassName, moduleInstance);
    for (std::int32_t i = 0; i < kPanelBitmapCount; ++i) {
      if (panelBitmaps[i] != nullptr) {
        DeleteObject(panelBitmaps[i]);
        panelBitmaps[i] = nullptr;
      }
      bitmapSet.bitmaps[i] = {};
      delete[] bitmapPixels[i];
      bitmapPixels[i] = nullptr;
    }
  }

  PanelWindow* createWindow(void* parent, std::int32_t zoom) override {
    HWND created = createPanelWindow(static_cast<HWND>(parent), zoom);
    return created != nullptr ? panelWindowOf(created) : nullptr;
  }

  std::int32_t desktopZoom(void* parent) override {
    return panelZoomForDpi(static_cast<std::int32_t>(dpiOf(static_cast<HWND>(parent))));
  }

  void destroyWindow(PanelWindow* window) override {
    // The window's own last message disposes of the panel behind it.
    HWND handle = static_cast<Win32PanelWindow*>(window)->handle;
    if (handle != nullptr) {
      DestroyWindow(handle);
    }
  }

  // The host dispatches the window's messages itself, and GDI draws synchronously.
  void handleEvents(PanelWindow* /*window*/) override {}
  void finishDrawing(PanelWindow* /*window*/) override {}
};

}  // namespace

PanelWindowSystem& panelWindowSystem() {
  static Win32WindowSystem system;
  return system;
}

HWND createPanelWindow(HWND parent, std::int32_t zoom) {
  if (parent == nullptr) {
    // A child needs a parent; without one the system would at best make a top-level window.
    return nullptr;
  }
  auto* panel = new (std::nothrow) Win32PanelWindow(zoom);
  if (panel == nullptr) {
    return nullptr;
  }
  const PanelSize size = panel->size();
  HWND created = CreateWindowExA(0, kPanelWindowClassName, "Window", WS_CHILD | WS_VISIBLE, 0, 0,
                                 size.width, size.height, parent, nullptr, moduleInstance, nullptr);
  if (created == nullptr) {
    delete panel;
    return nullptr;
  }
  panel->handle = created;
  SetWindowLongPtrA(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(panel));
  return created;
}

PanelWindow* panelWindowOf(HWND window) {
  return panelOf(window);
}

HWND panelWindowHandle(const PanelEditor& editor) {
  auto* window = static_cast<Win32PanelWindow*>(editor.panelWindow());
  return window != nullptr ? window->handle : nullptr;
}

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Held for the whole message: a handler that calls the host may see this window destroyed
  // under it (a nested WM_NCDESTROY), and must still be able to find it disposed afterwards.
  Win32PanelWindow* panel = panelOf(window);
  std::optional<PanelWindow::InUse> inUse;
  if (panel != nullptr) {
    inUse.emplace(*panel);
  }
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paintInfo;
      BeginPaint(window, &paintInfo);
      if (panel != nullptr) {
        panel->paint();
      } else {
        paintWithoutPanel(window);
      }
      EndPaint(window, &paintInfo);
      return 0;
    }
    case WM_ERASEBKGND:
      // The paint that follows sets every pixel from the bitmaps. Erased first with the class
      // brush, the window would show a flat patch of it in between, from the moment it is shown
      // until that paint; only a panel without its picture is left to the default.
      if (bitmapSet[PanelBitmap::background].pixels != nullptr) {
        return 1;
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MOUSEMOVE:
      handleMouse(window, message, wParam);
      break;
    case WM_NCDESTROY:
      // The window's last message, whether the editor closes it or its parent takes it along;
      // an editor still attached keeps its place in the open count until the host closes it,
      // but must not touch this window again.
      if (panel != nullptr) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (PanelEditor* editor = panel->editor()) {
          editor->forgetWindow();
        }
        panel->handle = nullptr;
        PanelWindow::dispose(panel);
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HBITMAP panelBitmapHandle(PanelBitmap bitmap) {
  const auto index = static_cast<std::int32_t>(bitmap);
  return index >= 0 && index < kPanelBitmapCount ? panelBitmaps[index] : nullptr;
}
