// The panel's Win32 backend: the window class "DelayWindowClass" and its window procedure, the
// bitmap set loaded from the library's resources, and the device-context transfer that shows
// the panel's canvas. Everything the panel decides is in panel_editor.h. Used on the host's
// user-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/panel_editor.h"

inline constexpr char kPanelWindowClassName[] = "DelayWindowClass";

LRESULT CALLBACK panelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The panel's child window in the host's window with no editor attached, at a zoom's size, or
// null when it cannot be made. Counted resources must be held (acquirePanelResources) while it
// exists.
HWND createPanelWindow(HWND parent, std::int32_t zoom = kPanelZooms[0]);

// The panel behind a window of the class, null for any other window.
PanelWindow* panelWindowOf(HWND window);
// The window of an open editor, null while it has none.
HWND panelWindowHandle(const PanelEditor& editor);

// Inspection for the in-process editor tests. Nothing of this is exported: a host sees `main`
// and nothing else.
HBITMAP panelBitmapHandle(PanelBitmap bitmap);
inline void acquirePanelResources() {
  acquirePanelResources(panelWindowSystem());
}
inline void releasePanelResources() {
  releasePanelResources(panelWindowSystem());
}
