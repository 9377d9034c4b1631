// The plug-in's import address table is rewritten so that its calls of the C runtime's heap
// functions and of the system's heap, wait and lock functions go through counting versions here.
// Calls a plug-in makes through functions it looks up at run time, or from other libraries it
// loads, are not seen.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "tools/plughost/validate/realtime_probe.h"

namespace plughost::validate::probe {
namespace {

std::atomic<bool> counting{false};
std::atomic<DWORD> countedThread{0};
thread_local int pauseDepth = 0;

enum Kind { heap, lock };

struct Hook {
  const char* name;
  Kind kind;
  void* replacement;
  void* original;
  std::atomic<long> calls;
};

bool counted() {
  return counting.load(std::memory_order_relaxed) &&
         countedThread.load(std::memory_order_relaxed) == GetCurrentThreadId() && pauseDepth == 0;
}

// Each replacement counts and calls what the import table held before.
enum HookIndex {
  hook_malloc,
  hook_calloc,
  hook_realloc,
  hook_free,
  hook__aligned_malloc,
  hook__aligned_free,
  hook_HeapAlloc,
  hook_HeapReAlloc,
  hook_HeapFree,
  hook_LocalAlloc,
  hook_GlobalAlloc,
  hook_VirtualAlloc,
  hook_EnterCriticalSection,
  hook_AcquireSRWLockExclusive,
  hook_AcquireSRWLockShared,
  hook_WaitForSingleObject,
  hook_WaitForSingleObjectEx,
  hook_WaitForMultipleObjects,
  hook_SleepConditionVariableCS,
  hook_SleepConditionVariableSRW,
  hook_Sleep,
  kHookCount,
};

Hook hooks[kHookCount];

template <typename F>
F original(HookIndex index) {
  return reinterpret_cast<F>(hooks[index].original);
}

void tally(HookIndex index) {
  if (counted()) {
    hooks[index].calls.fetch_add(1, std::memory_order_relaxed);
  }
}

void* __cdecl countedMalloc(size_t size) {
  tally(hook_malloc);
  return original<void*(__cdecl*)(size_t)>(hook_malloc)(size);
}
void* __cdecl countedCalloc(size_t count, size_t size) {
  tally(hook_calloc);
  return original<void*(__cdecl*)(size_t, size_t)>(hook_calloc)(count, size);
}
void* __cdecl countedRealloc(void* pointer, size_t size) {
  tally(hook_realloc);
  return original<void*(__cdecl*)(void*, size_t)>(hook_realloc)(pointer, size);
}
void __cdecl countedFree(void* pointer) {
  if (pointer != nullptr) {
    tally(hook_free);
  }
  original<void(__cdecl*)(void*)>(hook_free)(pointer);
}
void* __cdecl countedAlignedMalloc(size_t size, size_t alignment) {
  tally(hook__aligned_malloc);
  return original<void*(__cdecl*)(size_t, size_t)>(hook__aligned_malloc)(size, alignment);
}
void __cdecl countedAlignedFree(void* pointer) {
  if (pointer != nullptr) {
    tally(hook__aligned_free);
  }
  original<void(__cdecl*)(void*)>(hook__aligned_free)(pointer);
}
LPVOID WINAPI countedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  tally(hook_HeapAlloc);
  return original<LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T)>(hook_HeapAlloc)(heap, flags, size);
}
LPVOID WINAPI countedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID pointer, SIZE_T size) {
  tally(hook_HeapReAlloc);
  return original<LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T)>(hook_HeapReAlloc)(heap, flags,
                                                                                    pointer, size);
}
BOOL WINAPI countedHeapFree(HANDLE heap, DWORD flags, LPVOID pointer) {
  tally(hook_HeapFree);
  return original<BOOL(WINAPI*)(HANDLE, DWORD, LPVOID)>(hook_HeapFree)(heap, flags, pointer);
}
HLOCAL WINAPI countedLocalAlloc(UINT flags, SIZE_T size) {
  tally(hook_LocalAlloc);
  return original<HLOCAL(WINAPI*)(UINT, SIZE_T)>(hook_LocalAlloc)(flags, size);
}
HGLOBAL WINAPI countedGlobalAlloc(UINT flags, SIZE_T size) {
  tally(hook_GlobalAlloc);
  return original<HGLOBAL(WINAPI*)(UINT, SIZE_T)>(hook_GlobalAlloc)(flags, size);
}
LPVOID WINAPI countedVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  tally(hook_VirtualAlloc);
  return original<LPVOID(WINAPI*)(LPVOID, SIZE_T, DWORD, DWORD)>(hook_VirtualAlloc)(address, size,
                                                                                    type, protect);
}
void WINAPI countedEnterCriticalSection(LPCRITICAL_SECTION section) {
  tally(hook_EnterCriticalSection);
  original<void(WINAPI*)(LPCRITICAL_SECTION)>(hook_EnterCriticalSection)(section);
}
void WINAPI countedAcquireSRWLockExclusive(PSRWLOCK lock) {
  tally(hook_AcquireSRWLockExclusive);
  original<void(WINAPI*)(PSRWLOCK)>(hook_AcquireSRWLockExclusive)(lock);
}
void WINAPI countedAcquireSRWLockShared(PSRWLOCK lock) {
  tally(hook_AcquireSRWLockShared);
  original<void(WINAPI*)(PSRWLOCK)>(hook_AcquireSRWLockShared)(lock);
}
DWORD WINAPI countedWaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  tally(hook_WaitForSingleObject);
  return original<DWORD(WINAPI*)(HANDLE, DWORD)>(hook_WaitForSingleObject)(handle, milliseconds);
}
DWORD WINAPI countedWaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable) {
  tally(hook_WaitForSingleObjectEx);
  return original<DWORD(WINAPI*)(HANDLE, DWORD, BOOL)>(hook_WaitForSingleObjectEx)(
      handle, milliseconds, alertable);
}
DWORD WINAPI countedWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL all,
                                           DWORD milliseconds) {
  tally(hook_WaitForMultipleObjects);
  return original<DWORD(WINAPI*)(DWORD, const HANDLE*, BOOL, DWORD)>(hook_WaitForMultipleObjects)(
      count, handles, all, milliseconds);
}
BOOL WINAPI countedSleepConditionVariableCS(PCONDITION_VARIABLE condition,
                                            PCRITICAL_SECTION section, DWORD milliseconds) {
  tally(hook_SleepConditionVariableCS);
  return original<BOOL(WINAPI*)(PCONDITION_VARIABLE, PCRITICAL_SECTION, DWORD)>(
      hook_SleepConditionVariableCS)(condition, section, milliseconds);
}
BOOL WINAPI countedSleepConditionVariableSRW(PCONDITION_VARIABLE condition, PSRWLOCK lock,
                                             DWORD milliseconds, ULONG flags) {
  tally(hook_SleepConditionVariableSRW);
  return original<BOOL(WINAPI*)(PCONDITION_VARIABLE, PSRWLOCK, DWORD, ULONG)>(
      hook_SleepConditionVariableSRW)(condition, lock, milliseconds, flags);
}
void WINAPI countedSleep(DWORD milliseconds) {
  tally(hook_Sleep);
  original<void(WINAPI*)(DWORD)>(hook_Sleep)(milliseconds);
}

void define(HookIndex index, const char* name, Kind kind, void* replacement) {
  hooks[index].name = name;
  hooks[index].kind = kind;
  hooks[index].replacement = replacement;
}

void defineHooks() {
  static const bool defined = [] {
    define(hook_malloc, "malloc", heap, reinterpret_cast<void*>(countedMalloc));
    define(hook_calloc, "calloc", heap, reinterpret_cast<void*>(countedCalloc));
    define(hook_realloc, "realloc", heap, reinterpret_cast<void*>(countedRealloc));
    define(hook_free, "free", heap, reinterpret_cast<void*>(countedFree));
    define(hook__aligned_malloc, "_aligned_malloc", heap,
           reinterpret_cast<void*>(countedAlignedMalloc));
    define(hook__aligned_free, "_aligned_free", heap, reinterpret_cast<void*>(countedAlignedFree));
    define(hook_HeapAlloc, "HeapAlloc", heap, reinterpret_cast<void*>(countedHeapAlloc));
    define(hook_HeapReAlloc, "HeapReAlloc", heap, reinterpret_cast<void*>(countedHeapReAlloc));
    define(hook_HeapFree, "HeapFree", heap, reinterpret_cast<void*>(countedHeapFree));
    define(hook_LocalAlloc, "LocalAlloc", heap, reinterpret_cast<void*>(countedLocalAlloc));
    define(hook_GlobalAlloc, "GlobalAlloc", heap, reinterpret_cast<void*>(countedGlobalAlloc));
    define(hook_VirtualAlloc, "VirtualAlloc", heap, reinterpret_cast<void*>(countedVirtualAlloc));
    define(hook_EnterCriticalSection, "EnterCriticalSection", lock,
           reinterpret_cast<void*>(countedEnterCriticalSection));
    define(hook_AcquireSRWLockExclusive, "AcquireSRWLockExclusive", lock,
           reinterpret_cast<void*>(countedAcquireSRWLockExclusive));
    define(hook_AcquireSRWLockShared, "AcquireSRWLockShared", lock,
           reinterpret_cast<void*>(countedAcquireSRWLockShared));
    define(hook_WaitForSingleObject, "WaitForSingleObject", lock,
           reinterpret_cast<void*>(countedWaitForSingleObject));
    define(hook_WaitForSingleObjectEx, "WaitForSingleObjectEx", lock,
           reinterpret_cast<void*>(countedWaitForSingleObjectEx));
    define(hook_WaitForMultipleObjects, "WaitForMultipleObjects", lock,
           reinterpret_cast<void*>(countedWaitForMultipleObjects));
    define(hook_SleepConditionVariableCS, "SleepConditionVariableCS", lock,
           reinterpret_cast<void*>(countedSleepConditionVariableCS));
    define(hook_SleepConditionVariableSRW, "SleepConditionVariableSRW", lock,
           reinterpret_cast<void*>(countedSleepConditionVariableSRW));
    define(hook_Sleep, "Sleep", lock, reinterpret_cast<void*>(countedSleep));
    return true;
  }();
  (void)defined;
}

bool writeSlot(void** slot, void* value) {
  DWORD previous = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) {
    return false;
  }
  *slot = value;
  VirtualProtect(slot, sizeof *slot, previous, &previous);
  return true;
}

}  // namespace

bool available(std::string& /*whyNot*/) {
  return true;
}

std::string instrument(const std::filesystem::path& library) {
  defineHooks();
  HMODULE module = GetModuleHandleW(std::filesystem::absolute(library).wstring().c_str());
  if (module == nullptr) {
    return "the plug-in's module is not loaded";
  }
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) {
    return {};
  }
  // Each imported library's resolved addresses are compared with what that library exports under
  // the names above; this finds the entries whether or not the import names survive in the file.
  for (auto* import =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    HMODULE imported = GetModuleHandleA(reinterpret_cast<const char*>(base + import->Name));
    if (imported == nullptr) {
      continue;
    }
    for (Hook& hook : hooks) {
      void* target = reinterpret_cast<void*>(GetProcAddress(imported, hook.name));
      if (target == nullptr) {
        continue;
      }
      for (auto** slot = reinterpret_cast<void**>(base + import->FirstThunk); *slot != nullptr;
           ++slot) {
        // One original per name: a second runtime exporting the same name keeps its own calls.
        if (*slot == target && (hook.original == nullptr || hook.original == target) &&
            writeSlot(slot, hook.replacement)) {
          hook.original = target;
        }
      }
    }
  }
  return {};
}

void begin() {
  defineHooks();
  for (Hook& hook : hooks) {
    hook.calls.store(0, std::memory_order_relaxed);
  }
  countedThread.store(GetCurrentThreadId(), std::memory_order_relaxed);
  counting.store(true, std::memory_order_relaxed);
}

Counts end() {
  counting.store(false, std::memory_order_relaxed);
  countedThread.store(0, std::memory_order_relaxed);
  Counts counts;
  for (const Hook& hook : hooks) {
    const long n = hook.calls.load(std::memory_order_relaxed);
    if (n == 0) {
      continue;
    }
    (hook.kind == lock ? counts.lockCalls : counts.heapCalls) += n;
    if (!counts.detail.empty()) {
      counts.detail += ", ";
    }
    counts.detail += std::string(hook.name) + " x" + std::to_string(n);
  }
  return counts;
}

Pause::Pause() {
  ++pauseDepth;
}

Pause::~Pause() {
  --pauseDepth;
}

}  // namespace plughost::validate::probe
