// dlopen-based loading for Linux shared objects.
#include <dlfcn.h>
#include <link.h>

#include "tools/plughost/plugin_library.h"

namespace plughost::platform {

void* openLibrary(const std::filesystem::path& path, std::string& error) {
  // An absolute path keeps dlopen from searching the library path for a bare file name.
  std::filesystem::path absolute = std::filesystem::absolute(path);
  void* handle = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "unknown dlopen error";
  }
  return handle;
}

void closeLibrary(void* handle) {
  dlclose(handle);
}

void* findSymbol(void* handle, const char* name) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    return nullptr;
  }
  // dlsym also searches the library's dependencies; a `main` found there is not the plug-in's
  // (and calling some other program's main as an entry point would be a disaster).
  link_map* map = nullptr;
  Dl_info info{};
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || dladdr(symbol, &info) == 0 || map == nullptr ||
      // NOLINTNEXTLINE(performance-no-int-to-ptr): the loader gives the base as a number
      info.dli_fbase != reinterpret_cast<void*>(map->l_addr)) {
    // l_addr is the load bias; for a shared object it equals the base dladdr reports.
    return nullptr;
  }
  return symbol;
}

}  // namespace plughost::platform
