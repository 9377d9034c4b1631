#include <windows.h>

#include "host/module_instance_win.h"

HINSTANCE moduleInstance = nullptr;

// Called on process and thread attach and detach alike: each call refreshes the handle, and the
// library never refuses to load.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
  moduleInstance = instance;
  return TRUE;
}
