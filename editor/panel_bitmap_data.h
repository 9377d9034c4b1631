// The panel's bitmaps compiled into the plug-in, for window systems whose libraries carry no
// resources. Generated at build time from the same resources/*.bmp the DLL's resource script
// names, in the order of PanelBitmap.
#pragma once

#include "editor/panel_canvas.h"

const PanelBitmapSet& embeddedPanelBitmaps();
