// The library's module instance handle, kept by the attach hook for the panel editor.
#pragma once

#include <windows.h>

extern HINSTANCE moduleInstance;
