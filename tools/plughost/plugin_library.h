// A VST 2 plug-in library on disk: loaded on construction, unloaded on destruction, with its
// entry point looked up under the names hosts use. Loading is platform-specific
// (plugin_library_posix.cpp, plugin_library_win.cpp); everything else is shared.
#pragma once

#include <filesystem>
#include <string>

#include "host/vst2/aeffect.h"

namespace plughost {

using PluginEntry = AEffect* (*)(HostCallback hostCallback);

class PluginLibrary {
 public:
  // Throws HostError when the file is missing, cannot be loaded, or exports no entry point.
  explicit PluginLibrary(std::filesystem::path path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::filesystem::path& path() const { return path_; }
  PluginEntry entry() const { return entry_; }
  // "VSTPluginMain" or "main": the name the entry was found under.
  const std::string& entryName() const { return entryName_; }

 private:
  std::filesystem::path path_;
  void* handle_ = nullptr;
  PluginEntry entry_ = nullptr;
  std::string entryName_;
};

// The platform's part. openLibrary returns null and sets error on failure; findSymbol returns
// null for a name that the library itself does not export.
namespace platform {
void* openLibrary(const std::filesystem::path& path, std::string& error);
void closeLibrary(void* handle);
void* findSymbol(void* handle, const char* name);
}  // namespace platform

}  // namespace plughost
