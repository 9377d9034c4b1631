#include "tools/plughost/plugin_library.h"

#include <system_error>

#include "tools/plughost/host_error.h"

namespace plughost {

// The 2.4 name first: a library that exports both means the same function under both.
constexpr const char* kEntryNames[] = {"VSTPluginMain", "main"};

PluginLibrary::PluginLibrary(std::filesystem::path path) : path_(std::move(path)) {
  const std::string name = "plug-in '" + path_.string() + "'";
  std::error_code error;
  if (!std::filesystem::exists(path_, error)) {
    throw HostError(name + ": no such file");
  }
  if (!std::filesystem::is_regular_file(path_, error)) {
    throw HostError(name + ": not a regular file");
  }
  std::string reason;
  handle_ = platform::openLibrary(path_, reason);
  if (handle_ == nullptr) {
    throw HostError(name + ": cannot be loaded: " + reason);
  }
  for (const char* entryName : kEntryNames) {
    if (void* symbol = platform::findSymbol(handle_, entryName)) {
      entry_ = reinterpret_cast<PluginEntry>(symbol);
      entryName_ = entryName;
      return;
    }
  }
  platform::closeLibrary(handle_);
  handle_ = nullptr;
  throw HostError(name + ": exports no entry point (neither 'VSTPluginMain' nor 'main')");
}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) {
    platform::closeLibrary(handle_);
  }
}

}  // namespace plughost
