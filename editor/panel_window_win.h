// The panel's process-wide window resources (window class, bitmap set, open count), its window
// procedure and the block transfers that draw it. Shared by every PanelEditor in the process and
// used on the host's user-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/panel_layout.h"

inline constexpr char panelWindowClassName[] = "DelayWindowClass";

// Counts one more open panel; the first one in the process initialises the common controls,
// registers the window class and loads the bitmap set.
void acquirePanelResources();
// Counts one panel fewer; the last one unregisters the class and deletes the bitmaps. The class
// can only go once no window of it is left, so every panel window must be destroyed before.
void releasePanelResources();

// The panel's child window in the host's window, or null when it cannot be made.
HWND createPanelWindow(HWND parent);

// Draws the listed transfers into the window. A null window draws nothing: GetDC(nullptr) would
// be the whole screen.
void drawPanelTransfers(HWND window, const PanelTransferList& transfers);

// Redraws one control's numeric display when it is dirty.
void drawDisplay(HWND window, std::int32_t index);

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Inspection for the in-process editor tests. Nothing of this is exported: a host sees `main`
// and nothing else.
std::int32_t openPanelEditorCount();
HBITMAP panelBitmapHandle(PanelBitmap bitmap);
