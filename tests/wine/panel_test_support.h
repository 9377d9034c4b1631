// Pixels for the panel tests: the committed bitmap files, a window read back from its device
// context, the picture a panel in a given state must show, and scripted pointer input.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace paneltest {

// 0x00RRGGBB per pixel, rows from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

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

// A bitmap file of resources/, as committed (not as the DLL's resources hold it).
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

// ---- The picture a panel must show --------------------------------------------------------

struct KnobOffset {
  int x;
  int y;
};

// What the panel shows: the index offsets of knobs 0..2 from their box corner, and each
// display as five characters: sign ('+' for the unlit dash, '-' for the lit one), tens (' ' for
// the blank digit), units, '.', tenths. A knob at notDrawn or a null display shows only the
// background there.
inline constexpr KnobOffset notDrawn{-1, -1};
struct PanelView {
  KnobOffset knobs[3];
  const char* displays[4];
};

inline constexpr int knobBoxX[3] = {31, 110, 194};
inline constexpr int knobBoxY = 19;
inline constexpr int displayOriginX[4] = {28, 104, 185, 145};
inline constexpr int displayOriginY[4] = {79, 79, 79, 111};

struct CommittedBitmaps {
  Image background, index, mask, blank, point, minus, plus;
  Image digits[10];
};

inline const CommittedBitmaps& committedBitmaps() {
  static const CommittedBitmaps bitmaps = [] {
    CommittedBitmaps b;
    b.background = loadResourceFile("bitfond.bmp");
    b.index = loadResourceFile("bitindex.bmp");
    b.mask = loadResourceFile("bitindmk.bmp");
    b.blank = loadResourceFile("bitnombd.bmp");
    b.point = loadResourceFile("bitnombp.bmp");
    b.minus = loadResourceFile("bitmoins.bmp");
    b.plus = loadResourceFile("bitplus.bmp");
    for (int d = 0; d < 10; ++d) {
      b.digits[d] = loadResourceFile("bitnomb" + std::to_string(d) + ".bmp");
    }
    return b;
  }();
  return bitmaps;
}

inline void paste(Image& target, const Image& source, int x, int y) {
  for (int row = 0; row < source.height; ++row) {
    for (int column = 0; column < source.width; ++column) {
      target.at(x + column, y + row) = source.at(column, row);
    }
  }
}

inline const Image& displayGlyph(char c) {
  const CommittedBitmaps& b = committedBitmaps();
  if (c == ' ') {
    return b.blank;
  }
  EXPECT_TRUE(c >= '0' && c <= '9') << "display character '" << c << "'";
  return b.digits[(c >= '0' && c <= '9') ? c - '0' : 0];
}

inline Image expectedPanel(const PanelView& view) {
  const CommittedBitmaps& b = committedBitmaps();
  Image image = b.background;
  for (int i = 0; i < 3; ++i) {
    if (view.knobs[i].x == notDrawn.x && view.knobs[i].y == notDrawn.y) {
      continue;
    }
    const int x0 = knobBoxX[i] + view.knobs[i].x;
    const int y0 = knobBoxY + view.knobs[i].y;
    // Mask AND, then sprite XOR, over whatever the background shows there.
    for (int row = 0; row < 6; ++row) {
      for (int column = 0; column < 6; ++column) {
        std::uint32_t& pixel = image.at(x0 + column, y0 + row);
        pixel = (pixel & b.mask.at(column, row)) ^ b.index.at(column, row);
      }
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (view.displays[i] == nullptr) {
      continue;
    }
    const std::string text = view.displays[i];
    EXPECT_EQ(text.size(), 5u) << text;
    EXPECT_EQ(text[3], '.') << text;
    const int x0 = displayOriginX[i];
    const int y0 = displayOriginY[i];
    paste(image, text[0] == '-' ? b.minus : b.plus, x0 + 16, y0 + 3);
    paste(image, displayGlyph(text[1]), x0 + 20, y0);
    paste(image, displayGlyph(text[2]), x0 + 27, y0);
    paste(image, b.point, x0 + 33, y0);
    paste(image, displayGlyph(text[4]), x0 + 36, y0);
  }
  return image;
}

// Every pixel equal; otherwise the count and the first few differences.
inline ::testing::AssertionResult samePicture(const Image& actual, const Image& expected) {
  if (actual.width != expected.width || actual.height != expected.height) {
    return ::testing::AssertionFailure()
           << "size " << actual.width << " x " << actual.height << ", expected " << expected.width
           << " x " << expected.height;
  }
  int differences = 0;
  std::string first;
  for (int y = 0; y < actual.height; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      if (actual.at(x, y) != expected.at(x, y)) {
        if (++differences <= 8) {
          char line[80];
          std::snprintf(line, sizeof line, "\n  (%d, %d): %06x, expected %06x", x, y,
                        actual.at(x, y), expected.at(x, y));
          first += line;
        }
      }
    }
  }
  if (differences == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << differences << " pixels differ" << first;
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
