#include "editor/panel_window_win.h"

#include <commctrl.h>

#include "editor/panel_editor_win.h"
#include "editor/panel_input.h"
#include "host/module_instance_win.h"

namespace {

constexpr std::int32_t panelBitmapCount = static_cast<std::int32_t>(PanelBitmap::plusMark) + 1;

// Loaded in this order, which is also the order of PanelBitmap.
constexpr const char* panelBitmapNames[panelBitmapCount] = {
    "IDB_BITFOND",  "IDB_BITINDEX", "IDB_BITINDMK", "IDB_BITNOMBD", "IDB_BITNOMBP", "IDB_BITNOMB0",
    "IDB_BITNOMB1", "IDB_BITNOMB2", "IDB_BITNOMB3", "IDB_BITNOMB4", "IDB_BITNOMB5", "IDB_BITNOMB6",
    "IDB_BITNOMB7", "IDB_BITNOMB8", "IDB_BITNOMB9", "IDB_BITMOINS", "IDB_BITPLUS",
};

std::int32_t openEditorCount = 0;
HBITMAP panelBitmaps[panelBitmapCount] = {};

// Valid only between the start and the end of one draw call.
HDC windowDc = nullptr;
HDC memoryDc = nullptr;

DWORD rasterOperation(PanelRasterOperation operation) {
  switch (operation) {
    case PanelRasterOperation::andSource:
      return SRCAND;
    case PanelRasterOperation::xorSource:
      return SRCINVERT;
    case PanelRasterOperation::copy:
      break;
  }
  return SRCCOPY;
}

PanelEditor* attachedEditor(HWND window) {
  return reinterpret_cast<PanelEditor*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// The editor and window of one mouse message, as the portable mouse handling sees them. Only
// handed over while an editor is attached.
class WindowEditorActions final : public PanelEditorActions {
 public:
  WindowEditorActions(PanelEditor* editor, HWND window) : editor(editor), window(window) {}
  void restoreValues() override { editor->restoreValues(); }
  void saveValues() override { editor->saveValues(); }
  void setParameterFromPanel(float value, std::int32_t index) override {
    editor->setParameterFromPanel(value, index);
  }
  void drawKnobControl(std::int32_t index) override { editor->drawKnobControl(window, index); }

 private:
  PanelEditor* editor;
  HWND window;
};

void drawDisplayOfWindow(void* window, std::int32_t index) {
  drawDisplay(static_cast<HWND>(window), index);
}

void handleMouse(HWND window, UINT message, WPARAM wParam) {
  // The handlers ignore the message's coordinates and ask where the pointer is now.
  POINT point{0, 0};
  GetCursorPos(&point);
  ScreenToClient(window, &point);

  PanelEditor* editor = attachedEditor(window);
  WindowEditorActions actions(editor, window);
  const PanelInputContext context{editor != nullptr ? &actions : nullptr, &drawDisplayOfWindow,
                                  window};
  if (message == WM_LBUTTONDOWN) {
    handleLeftButtonDown(context, point.x, point.y);
  } else {
    handleMouseMove(context, point.x, point.y, (wParam & MK_LBUTTON) != 0);
  }
}

void paint(HWND window) {
  PAINTSTRUCT paintInfo;
  BeginPaint(window, &paintInfo);
  // The whole window, not just the invalid region: every paint redraws everything.
  PanelTransferList background;
  background.items[0] = {
      PanelBitmap::background, PanelRasterOperation::copy, 0, 0, panelWidth, panelHeight, 0, 0};
  background.count = 1;
  drawPanelTransfers(window, background);

  PanelEditor* editor = attachedEditor(window);
  if (editor != nullptr) {
    editor->restoreValues();
  }
  for (std::int32_t i = 0; i < 3; ++i) {
    panelControlTable.dirty[i] = 1;
    if (editor != nullptr) {
      editor->drawKnobControl(window, i);
    }
  }
  panelControlTable.dirty[3] = 1;
  drawDisplay(window, 3);
  EndPaint(window, &paintInfo);
}

}  // namespace

void acquirePanelResources() {
  ++openEditorCount;
  if (openEditorCount != 1) {
    return;
  }
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
  windowClass.lpszClassName = panelWindowClassName;
  RegisterClassA(&windowClass);
  for (std::int32_t i = 0; i < panelBitmapCount; ++i) {
    panelBitmaps[i] = LoadBitmapA(moduleInstance, panelBitmapNames[i]);
  }
}

void releasePanelResources() {
  if (openEditorCount <= 0) {
    return;
  }
  --openEditorCount;
  if (openEditorCount != 0) {
    return;
  }
  UnregisterClassA(panelWindowClassName, moduleInstance);
  for (HBITMAP& bitmap : panelBitmaps) {
    if (bitmap != nullptr) {
      DeleteObject(bitmap);
      bitmap = nullptr;
    }
  }
}

HWND createPanelWindow(HWND parent) {
  if (parent == nullptr) {
    // A child needs a parent; without one the system would at best make a top-level window.
    return nullptr;
  }
  return CreateWindowExA(0, panelWindowClassName, "Window", WS_CHILD | WS_VISIBLE, 0, 0, panelWidth,
                         panelHeight, parent, nullptr, moduleInstance, nullptr);
}

void drawPanelTransfers(HWND window, const PanelTransferList& transfers) {
  if (window == nullptr) {
    return;
  }
  windowDc = GetDC(window);
  memoryDc = CreateCompatibleDC(windowDc);
  HGDIOBJ originalBitmap = nullptr;
  for (const PanelTransfer& transfer : transfers) {
    HBITMAP source = panelBitmapHandle(transfer.source);
    if (source == nullptr) {
      // Selecting nothing would leave the previous bitmap selected and draw that instead.
      continue;
    }
    HGDIOBJ previous = SelectObject(memoryDc, source);
    if (originalBitmap == nullptr) {
      originalBitmap = previous;
    }
    BitBlt(windowDc, transfer.x, transfer.y, transfer.width, transfer.height, memoryDc,
           transfer.sourceX, transfer.sourceY, rasterOperation(transfer.operation));
  }
  // A bitmap still selected into a context cannot be deleted by the last close.
  if (originalBitmap != nullptr) {
    SelectObject(memoryDc, originalBitmap);
  }
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
  memoryDc = nullptr;
  windowDc = nullptr;
}

void drawDisplay(HWND window, std::int32_t index) {
  if (!controlNeedsDraw(index)) {
    return;
  }
  drawPanelTransfers(window, takeDisplayDraw(index));
}

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
      handleMouse(window, message, wParam);
      break;
    case WM_NCDESTROY:
      // Destroyed with its parent while the editor is still open: the editor keeps its place in
      // the open count until the host closes it, but must not touch this handle again.
      if (PanelEditor* editor = attachedEditor(window)) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        editor->forgetWindow();
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

std::int32_t openPanelEditorCount() {
  return openEditorCount;
}

HBITMAP panelBitmapHandle(PanelBitmap bitmap) {
  const auto index = static_cast<std::int32_t>(bitmap);
  return index >= 0 && index < panelBitmapCount ? panelBitmaps[index] : nullptr;
}
