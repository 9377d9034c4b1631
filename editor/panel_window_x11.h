// The panel's X11 backend, on xcb: each open panel has its own connection to the display the
// host's environment names, made when the panel opens and closed with it, and one child window
// of the host's window. Errors are replies the panel reads, never a handler that ends the
// process, and a lost display only stops the drawing. Used on the host's user-interface thread
// only; the audio path never reaches it.
#pragma once

#include <xcb/xcb.h>

#include "editor/panel_editor.h"

// The X window of an open editor, 0 while it has none.
xcb_window_t panelWindowId(const PanelEditor& editor);
