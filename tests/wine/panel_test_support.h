// The Windows side of the panel tests: the committed bitmap files decoded by Windows itself, a
// window read back from its device context, host windows and scripted pointer input. The
// picture a panel must show is tests/support/panel_pictures.h.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/panel_pictures.h"

namespace paneltest {

inline Image readBitmap(HDC dc, HBITMAP bitmap) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  Image image;
  image.width = info.bmWidth;
  image.height = info.bmHeight;
  image.pixels.resize(static_cast<std::size_t>(image.width) *
                      static_cast<std::size_t>(image.height));
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof request.bmiHeader;
  request.bmiHeader.biWidth = image.width;
  request.bmiHeader.biHeight = -image.height;  // top-down
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(image.height), image.pixels.data(), &request,
            DIB_RGB_COLORS);
  for (std::uint32_t& pixel : image.pixels) {
    pixel &= 0xffffff;
  }
  return image;
}

// Decoded by LoadImage, independently of the decoder that made the X11 build's bitmaps.
inline Image loadResourceFile(const std::string& fileName) {
  const std::string path = std::string(DRIVE_SOURCE_DIR) + "/resources/" + fileName;
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  EXPECT_NE(bitmap, nullptr) << path;
  if (bitmap == nullptr) {
    return {};
  }
  HDC screen = GetDC(nullptr);
  Image image = readBitmap(screen, bitmap);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return image;
}

// What the window's device context shows of its client area.
inline Image captureWindow(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  Image image;
  image.width = client.right;
  image.height = client.bottom;
  image.pixels.assign(static_cast<std::size_t>(image.width * image.height), 0);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC windowDc = GetDC(window);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  HBITMAP section = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memoryDc, section);
  BitBlt(memoryDc, 0, 0, image.width, image.height, windowDc, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* source = static_cast<const std::uint32_t*>(bits);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    image.pixels[i] = source[i] & 0xffffff;
  }
  SelectObject(memoryDc, previous);
  DeleteObject(section);
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
  return image;
}

// Paints a rectangle of the window in one colour straight through its device context, so that
// a test can see whether a later step draws there again.
inline void scribble(HWND window, int x, int y, int width, int height, COLORREF colour) {
  HDC dc = GetDC(window);
  HBRUSH brush = CreateSolidBrush(colour);
  RECT area{x, y, x + width, y + height};
  FillRect(dc, &area, brush);
  DeleteObject(brush);
  ReleaseDC(window, dc);
}

// ---- Host window and pointer -------------------------------------------------------------

inline void pumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// A plain top-level window like a host's editor frame, its client area at (x, y) on the screen.
inline HWND createHostWindow(int x, int y, int width = 300, int height = 440) {
  static const ATOM hostClass = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = "PanelTestHostWindow";
    return RegisterClassA(&windowClass);
  }();
  (void)hostClass;
  HWND window = CreateWindowExA(0, "PanelTestHostWindow", "Host", WS_POPUP, x, y, width, height,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  // Shown without activation: Wine then leaves it to no window manager, and destroying it does
  // not wait for one to answer.
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  pumpMessages();
  return window;
}

// Puts the real pointer over a client point of the window. The system's own move that the warp
// causes stays queued until messages are next pumped.
inline void pointerTo(HWND window, int x, int y) {
  POINT point{x, y};
  ClientToScreen(window, &point);
  SetCursorPos(point.x, point.y);
}

// A message whose coordinates lie far from the pointer: the panel must read the pointer itself.
inline LPARAM misleadingCoordinates() {
  return MAKELPARAM(1, 1);
}

inline void pressAt(HWND window, int x, int y) {
  pointerTo(window, x, y);
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, misleadingCoordinates());
}

inline void moveTo(HWND window, int x, int y, bool leftButton) {
  pointerTo(window, x, y);
  SendMessageA(window, WM_MOUSEMOVE, leftButton ? MK_LBUTTON : 0, misleadingCoordinates());
}

// Full repaint through the window's own paint handling, now.
inline void repaint(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

}  // namespace paneltest
