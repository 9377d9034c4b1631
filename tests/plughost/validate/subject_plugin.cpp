// The validator's test subject: a small, well-behaved VST 2 effect (a stereo one-pole low-pass
// with gain, two programs, and on Windows a panel that is a plain child window), and, through
// compile-time switches, the faults each validator check must catch:
//   SUBJECT_SHARED_STATE       the filter state is one static for all instances
//   SUBJECT_STICKY_NAN         a NaN sample poisons the filter for good
//   SUBJECT_BLOCK_DEPENDENT    the first frame of every block is treated differently
//   SUBJECT_ALLOCATES          every process call allocates and frees
//   SUBJECT_LOCKS              every process call takes a lock
//   SUBJECT_QUERY_CHANGES      effGetVu, which only asks, switches to program 1
//   SUBJECT_QUANTIZES          parameters keep only eighths
//   SUBJECT_IGNORES_VERSION    an effect even for a host that answers version 0
//   SUBJECT_CRASHES_ON_NAN     the display text of a NaN parameter dereferences null
//   SUBJECT_SLOW_DENORMALS     subnormal input samples cost a busy wait each
//   SUBJECT_TORN_PARAMETERS    a parameter is written as two halves, with a pause between
//   SUBJECT_DANGLING_EDITOR    the panel window keeps calling into the effect after effClose
//   SUBJECT_EDITOR_WITHOUT_RECT  the editor flag without a rectangle
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#ifdef _WIN32
#include <windows.h>
#endif

#include "host/aeffect.h"

namespace {

constexpr int kParams = 2;
constexpr int kPrograms = 2;
const char* const kNames[kParams] = {"Gain", "Tone"};
const char* const kLabels[kParams] = {"x", "%"};

struct Program {
  std::atomic<float> values[kParams];
  char name[24];
};

struct Subject {
  AEffect descriptor{};
  HostCallback host = nullptr;
  Program programs[kPrograms];
  std::atomic<int> current{0};
  double state[2] = {0.0, 0.0};
  EditorRect rect{0, 0, 120, 200};
  void* window = nullptr;
  // What the panel's paint handling calls; cleared by effClose.
  void (*paintHook)(Subject*) = nullptr;
};

#ifdef SUBJECT_SHARED_STATE
double sharedState[2] = {0.0, 0.0};
#endif
#ifdef SUBJECT_LOCKS
// The lock a plug-in of each platform would take: std::mutex is a pthread mutex on Linux, and a
// critical section is what Windows code uses (winpthreads' mutex calls no system function
// unless contended).
#ifdef _WIN32
struct ProcessLock {
  ProcessLock() { InitializeCriticalSection(&section); }
  void lock() { EnterCriticalSection(&section); }
  void unlock() { LeaveCriticalSection(&section); }
  CRITICAL_SECTION section;
} processMutex;
#else
std::mutex processMutex;
#endif
#endif

Subject* self(AEffect* e) {
  return static_cast<Subject*>(e->object);
}

double* filterState(Subject* s) {
#ifdef SUBJECT_SHARED_STATE
  (void)s;
  return sharedState;
#else
  return s->state;
#endif
}

float storedValue(float value) {
#ifdef SUBJECT_QUANTIZES
  return std::round(value * 8.0f) / 8.0f;
#else
  return value;
#endif
}

void storeParameter(std::atomic<float>& slot, float value) {
#ifdef SUBJECT_TORN_PARAMETERS
  // Two 16-bit halves with a pause between: a reader in between sees half old, half new.
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  std::uint32_t old;
  const float previous = slot.load();
  std::memcpy(&old, &previous, sizeof old);
  const std::uint32_t half = (old & 0xffff0000u) | (bits & 0xffffu);
  float halfway;
  std::memcpy(&halfway, &half, sizeof halfway);
  slot.store(halfway);
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
  while (std::chrono::steady_clock::now() < until) {
  }
  slot.store(value);
#else
  slot.store(value);
#endif
}

void paintNothing(Subject*) {}

#ifdef _WIN32
HMODULE moduleOf() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&moduleOf), &module);
  return module;
}

LRESULT CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    if (auto* s = reinterpret_cast<Subject*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
      s->paintHook(s);
    }
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

constexpr char kPanelClass[] = "ValidatorSubjectPanel";
// The window class lives while panels are open, so that the library can be unloaded and loaded
// again without a class left pointing into the old copy.
int openPanels = 0;

void closePanel(Subject* s) {
  if (s->window == nullptr) {
    return;
  }
  HWND window = static_cast<HWND>(s->window);
  if (IsWindow(window)) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  s->window = nullptr;
  if (--openPanels == 0) {
    UnregisterClassA(kPanelClass, moduleOf());
  }
}

VstIntPtr openPanel(Subject* s, void* parent) {
  closePanel(s);
  if (openPanels++ == 0) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = panelProc;
    windowClass.hInstance = moduleOf();
    windowClass.lpszClassName = kPanelClass;
    RegisterClassA(&windowClass);
  }
  HWND window = CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 120,
                                static_cast<HWND>(parent), nullptr, moduleOf(), nullptr);
  if (window == nullptr) {
    if (--openPanels == 0) {
      UnregisterClassA(kPanelClass, moduleOf());
    }
    return 0;
  }
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
  s->window = window;
  return 1;
}
#endif

// At most size - 1 characters and the terminator, as the host's field allows.
void writeText(void* ptr, std::size_t size, const char* text) {
  const std::size_t length = strnlen(text, size - 1);
  std::memcpy(ptr, text, length);
  static_cast<char*>(ptr)[length] = '\0';
}

VstIntPtr dispatcher(AEffect* e, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                     void* ptr, float) {
  Subject* s = self(e);
  const bool validIndex = index >= 0 && index < kParams;
  switch (opcode) {
    case effClose:
#ifdef SUBJECT_DANGLING_EDITOR
      // The panel stays, and its paint handling now calls through a cleared pointer. The effect
      // is not freed, so the fault is the same every time.
      s->paintHook = nullptr;
      return 1;
#else
#ifdef _WIN32
      closePanel(s);
#endif
      delete s;
      return 1;
#endif
    case effSetProgram:
      if (value >= 0 && value < kPrograms) {
        s->current = static_cast<int>(value);
      }
      return 0;
    case effGetProgram:
      return s->current;
    case effSetProgramName:
      writeText(s->programs[s->current].name, 24, static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName:
      writeText(ptr, 24, s->programs[s->current].name);
      return 0;
    case 29:  // effGetProgramNameIndexed
      if (index >= 0 && index < kPrograms) {
        writeText(ptr, 24, s->programs[index].name);
        return 1;
      }
      return 0;
    case effGetParamLabel:
      if (validIndex) {
        writeText(ptr, 9, kLabels[index]);
      }
      return 0;
    case effGetParamName:
      if (validIndex) {
        writeText(ptr, 9, kNames[index]);
      }
      return 0;
    case effGetParamDisplay:
      if (validIndex) {
        const float v = s->programs[s->current].values[index].load();
#ifdef SUBJECT_CRASHES_ON_NAN
        if (std::isnan(v)) {
          volatile int* nowhere = nullptr;
          *nowhere = 1;  // NOLINT(clang-analyzer-core.NullDereference): the fault it exists for
        }
#endif
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", static_cast<double>(v));
        writeText(ptr, 9, text);
      }
      return 0;
    case effGetVu:  // NOLINT(bugprone-branch-clone): the branches differ in other variants
#ifdef SUBJECT_QUERY_CHANGES
      s->current = 1;
#endif
      return 0;
    case effEditGetRect:
#if defined(_WIN32) && !defined(SUBJECT_EDITOR_WITHOUT_RECT)
      *static_cast<EditorRect**>(ptr) = &s->rect;
      return 1;
#else
      return 0;
#endif
#ifdef _WIN32
    case effEditOpen:
      return openPanel(s, ptr);
    case effEditClose:
      closePanel(s);
      return 0;
#endif
    case 45:  // effGetEffectName
      writeText(ptr, 32, "Validator subject");
      return 1;
    case 47:  // effGetVendorString
      writeText(ptr, 64, "plughost tests");
      return 1;
    case 48:  // effGetProductString
      writeText(ptr, 64, "Subject");
      return 1;
    default:
      return 0;
  }
}

template <bool accumulate>
void processBlock(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
#ifdef SUBJECT_ALLOCATES
  void* scratch = std::malloc(static_cast<std::size_t>(frames) * sizeof(float) + 16);
  static_cast<volatile char*>(scratch)[0] = 0;
  std::free(scratch);
#endif
#ifdef SUBJECT_LOCKS
  std::lock_guard lock(processMutex);
#endif
  Subject* s = self(e);
  const Program& program = s->programs[s->current];
  const double gain = 2.0 * program.values[0].load();
  const double k = 0.05 + 0.9 * std::clamp(program.values[1].load(), 0.0f, 1.0f);
  double* state = filterState(s);
  for (int c = 0; c < 2; ++c) {
    double y = state[c];
    for (std::int32_t i = 0; i < frames; ++i) {
      const float x = inputs[c][i];
#ifdef SUBJECT_SLOW_DENORMALS
      if (std::fpclassify(x) == FP_SUBNORMAL) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(200);
        while (std::chrono::steady_clock::now() < until) {
        }
      }
#endif
      double target = static_cast<double>(x) * gain;
#ifdef SUBJECT_BLOCK_DEPENDENT
      if (i == 0) {
        target *= 0.5;
      }
#endif
      y += k * (target - y);
#ifndef SUBJECT_STICKY_NAN
      // A non-finite sample restarts the filter; values too small to hear are dropped before
      // they turn into subnormal arithmetic.
      if (!std::isfinite(y) || std::fabs(y) < 1e-30) {
        y = 0.0;
      }
#endif
      const float out = static_cast<float>(std::isnan(y) ? y : std::clamp(y, -4.0, 4.0));
      outputs[c][i] = accumulate ? outputs[c][i] + out : out;
    }
    state[c] = y;
  }
}

void setParameter(AEffect* e, std::int32_t index, float value) {
  if (index >= 0 && index < kParams) {
    Subject* s = self(e);
    storeParameter(s->programs[s->current].values[index], storedValue(value));
  }
}

float getParameter(AEffect* e, std::int32_t index) {
  if (index < 0 || index >= kParams) {
    return 0.0f;
  }
  Subject* s = self(e);
  return s->programs[s->current].values[index].load();
}

AEffect* createSubject(HostCallback host) {
#ifndef SUBJECT_IGNORES_VERSION
  if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
    return nullptr;
  }
#endif
  auto* s = new (std::nothrow) Subject;
  if (s == nullptr) {
    return nullptr;
  }
  s->host = host;
  for (int p = 0; p < kPrograms; ++p) {
    s->programs[p].values[0] = 0.5f;
    s->programs[p].values[1] = p == 0 ? 0.25f : 0.75f;
    std::snprintf(s->programs[p].name, 24, "%s", p == 0 ? "Soft" : "Bright");
  }
  s->paintHook = paintNothing;
  AEffect& d = s->descriptor;
  d.magic = kEffectMagic;
  d.dispatcher = dispatcher;
  d.process = processBlock<true>;
  d.processReplacing = processBlock<false>;
  d.setParameter = setParameter;
  d.getParameter = getParameter;
  d.numPrograms = kPrograms;
  d.numParams = kParams;
  d.numInputs = 2;
  d.numOutputs = 2;
  d.flags = effFlagsCanReplacing;
#if defined(_WIN32) || defined(SUBJECT_EDITOR_WITHOUT_RECT)
  d.flags |= effFlagsHasEditor;
#endif
  d.ioRatio = 1.0f;
  d.object = s;
  d.uniqueID = fourCharCode("VSbj");
  d.version = 1;
  return &d;
}

}  // namespace

#ifdef _WIN32
// The DLL's export names come from its module definition file (main = subjectMain).
extern "C" AEffect* subjectMain(HostCallback host) {
  return createSubject(host);
}
extern "C" AEffect* VSTPluginMain(HostCallback host) {
  return createSubject(host);
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* subjectMain(HostCallback host) __asm__(
    "main");
extern "C" AEffect* subjectMain(HostCallback host) {
  return createSubject(host);
}
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
  return createSubject(host);
}
#endif
