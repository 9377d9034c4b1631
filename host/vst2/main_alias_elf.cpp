// Older hosts look the entry point up as `main`. The DLL gets that name from its module
// definition file; a shared object gets it through an assembler label, since C++ reserves the
// name `main` for programs. Kept apart from the entry itself so that test programs, which have
// a `main` of their own, can link the entry.
#include "host/vst2/aeffect.h"

extern "C" AEffect* VSTPluginMain(HostCallback hostCallback) noexcept;

extern "C" __attribute__((visibility("default"))) AEffect* vstMainAlias(
    HostCallback hostCallback) noexcept __asm__("main");

extern "C" AEffect* vstMainAlias(HostCallback hostCallback) noexcept {
  return VSTPluginMain(hostCallback);
}
