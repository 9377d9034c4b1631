// LoadLibrary-based loading for Windows DLLs.
#include <windows.h>

#include "tools/plughost/plugin_library.h"

namespace plughost::platform {

void* openLibrary(const std::filesystem::path& path, std::string& error) {
  // No "cannot find DLL" message boxes: the failure comes back as an error code.
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(std::filesystem::absolute(path).wstring().c_str());
  DWORD code = GetLastError();
  SetErrorMode(previousMode);
  if (module == nullptr) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : "";
    if (text != nullptr) {
      LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
      message.pop_back();
    }
    error = (message.empty() ? "Windows error" : message) + " (error " + std::to_string(code) + ")";
  }
  return module;
}

void closeLibrary(void* handle) {
  FreeLibrary(static_cast<HMODULE>(handle));
}

void* findSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

}  // namespace plughost::platform
