// The fake plug-in every plughost test runs: a small, well-behaved VST 2 effect (a stereo gain
// into a one-pole low-pass, two programs, texts that fit the host's fields, and a panel that is a
// plain child window of the host's), and, through one compile-time flag per build, each fault
// the host and its validator must notice or survive:
//
//   entry points and descriptor
//   FAKE_NO_MAIN / FAKE_NO_VSTPLUGINMAIN  that entry name is not exported
//   FAKE_RETURNS_NULL          the entry point returns null
//   FAKE_BAD_MAGIC             the descriptor's magic is "XstP"
//   FAKE_IGNORES_VERSION       an effect even for a host that answers version 0
//   FAKE_EDITOR_WITHOUT_RECT   the editor flag without a rectangle
//   FAKE_NO_EDITOR_WINDOW      effEditOpen puts nothing in the host's window
//   FAKE_DANGLING_EDITOR       the panel keeps calling into the effect after effClose (Win32,
//                              where the panel has a window procedure of its own)
//   FAKE_UNSAFE_PRESS          a press on the panel goes on using the panel after reporting
//                              the change, even when the host closed the editor in the report
//   requests and parameters
//   FAKE_LONG_TEXT             every text request writes 200 characters
//   FAKE_QUERY_CHANGES         effGetVu, which only asks, switches to program 1
//   FAKE_QUANTIZES             parameters keep only eighths
//   FAKE_CRASHES_ON_NAN        the display text of a NaN parameter dereferences null
//   FAKE_HANGS_ON_NAN          the display text of a NaN parameter never comes back
//   FAKE_REPORTS_AUTOMATION    effOpen reports parameter 1 = 0.25 to the host (not a fault)
//   processing
//   FAKE_NAN_OUTPUT            every output sample is NaN
//   FAKE_SHARED_STATE          the filter state is one static for all instances
//   FAKE_STICKY_NAN            a NaN sample poisons the filter for good
//   FAKE_BLOCK_DEPENDENT       the first frame of every block is treated differently
//   FAKE_SLOW_DENORMALS        subnormal input samples cost a busy wait each
//   FAKE_ALLOCATES             every process call allocates and frees
//   FAKE_LOCKS                 every process call takes a lock
//   FAKE_TORN_PARAMETERS       a parameter is written as two halves, with a pause between
//   FAKE_WRITES_PAST_BLOCK     every process call writes one frame past the block it was given
//   FAKE_WRITES_INPUT          every process call uses its first input frame as scratch
//
// Processing: the input times 2 x Gain, then a low-pass that Tone opens: at Tone 1 the filter is
// out of the path and the gain is one float multiplication, so Gain 0.5 passes samples through
// unchanged, bit for bit.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <xcb/xcb.h>
#endif

#include "host/vst2/aeffect.h"

namespace {

constexpr int kParams = 2;
constexpr int kPrograms = 2;
constexpr std::size_t kParamTextSize = 9;  // what a host's field for a parameter's texts holds
constexpr std::size_t kProgramNameSize = 24;
const char* const kNames[kParams] = {"Gain", "Tone"};
const char* const kLabels[kParams] = {"x", "%"};

struct Program {
  std::atomic<float> values[kParams];
  char name[kProgramNameSize];
};

struct FakeEffect {
  AEffect descriptor{};
  HostCallback host = nullptr;
  Program programs[kPrograms];
  std::atomic<int> current{0};
  double state[2] = {0.0, 0.0};
  EditorRect rect{0, 0, 200, 320};
  // What the open panel keeps of its own; gone with the panel.
  int* panelPresses = nullptr;
  // The panel: a child window of the host's, drawn by nobody.
#ifdef _WIN32
  HWND window = nullptr;
  // What the panel's paint handling calls; cleared by effClose.
  void (*paintHook)(FakeEffect*) = nullptr;
#else
  xcb_connection_t* connection = nullptr;
  xcb_window_t window = 0;
#endif
};

#ifdef FAKE_SHARED_STATE
double sharedState[2] = {0.0, 0.0};
#endif
#ifdef FAKE_LOCKS
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

FakeEffect* self(AEffect* e) {
  return static_cast<FakeEffect*>(e->object);
}

double* filterState(FakeEffect* f) {
#ifdef FAKE_SHARED_STATE
  (void)f;
  return sharedState;
#else
  return f->state;
#endif
}

float storedValue(float value) {
#ifdef FAKE_QUANTIZES
  return std::round(value * 8.0f) / 8.0f;
#else
  return value;
#endif
}

void storeParameter(std::atomic<float>& slot, float value) {
#ifdef FAKE_TORN_PARAMETERS
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
#endif
  slot.store(value);
}

// At most size - 1 characters and the terminator, as the host's field allows.
void writeText(void* ptr, std::size_t size, const char* text) {
#ifdef FAKE_LONG_TEXT
  (void)size;
  (void)text;
  std::memset(ptr, 'W', 200);
  static_cast<char*>(ptr)[200] = '\0';
#else
  const std::size_t length = strnlen(text, size - 1);
  std::memcpy(ptr, text, length);
  static_cast<char*>(ptr)[length] = '\0';
#endif
}

// ---- The panel ---------------------------------------------------------------------------------

void setParameter(AEffect* e, std::int32_t index, float value);

// A press sets Gain from where it lands, left to right, and tells the host, as a real panel's
// control does.
void pressPanel(FakeEffect* f, int x) {
  const float value =
      std::clamp(static_cast<float>(x) / static_cast<float>(f->rect.right), 0.0f, 1.0f);
  setParameter(&f->descriptor, 0, value);
  f->host(&f->descriptor, audioMasterAutomate, 0, 0, nullptr, value);
#ifndef FAKE_UNSAFE_PRESS
  // The host may have closed the editor while it heard of the change.
  if (f->panelPresses == nullptr) {
    return;
  }
#endif
  ++*f->panelPresses;  // NOLINT(clang-analyzer-core.NullDereference): the fault it exists for
}

void keepPanelState(FakeEffect* f) {
  delete f->panelPresses;
  f->panelPresses = new int(0);
}

void dropPanelState(FakeEffect* f) {
  delete f->panelPresses;
  f->panelPresses = nullptr;
}

#ifdef _WIN32
void paintNothing(FakeEffect*) {}

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
    if (auto* f = reinterpret_cast<FakeEffect*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
      f->paintHook(f);
    }
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_LBUTTONDOWN) {
    if (auto* f = reinterpret_cast<FakeEffect*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
      pressPanel(f, static_cast<short>(LOWORD(lParam)));
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

constexpr char kPanelClass[] = "FakePluginPanel";
// The window class lives while panels are open, so that the library can be unloaded and loaded
// again without a class left pointing into the old copy.
int openPanels = 0;

void closePanel(FakeEffect* f) {
  if (f->window == nullptr) {
    return;
  }
  if (IsWindow(f->window)) {
    SetWindowLongPtrA(f->window, GWLP_USERDATA, 0);
    DestroyWindow(f->window);
  }
  f->window = nullptr;
  dropPanelState(f);
  if (--openPanels == 0) {
    UnregisterClassA(kPanelClass, moduleOf());
  }
}

VstIntPtr openPanel(FakeEffect* f, void* parent) {
  closePanel(f);
  if (openPanels++ == 0) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = panelProc;
    windowClass.hInstance = moduleOf();
    windowClass.lpszClassName = kPanelClass;
    RegisterClassA(&windowClass);
  }
  HWND window =
      CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE, 0, 0, f->rect.right,
                      f->rect.bottom, static_cast<HWND>(parent), nullptr, moduleOf(), nullptr);
  if (window == nullptr) {
    if (--openPanels == 0) {
      UnregisterClassA(kPanelClass, moduleOf());
    }
    return 0;
  }
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(f));
  f->window = window;
  keepPanelState(f);
  return 1;
}

void idlePanel(FakeEffect*) {}
#else
// Waits until the server has done what this connection asked, so that the host, on a
// connection of its own, sees the panel come and go when the request returns.
void roundTrip(xcb_connection_t* connection) {
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void closePanel(FakeEffect* f) {
  if (f->connection == nullptr) {
    return;
  }
  xcb_destroy_window(f->connection, f->window);
  roundTrip(f->connection);
  xcb_disconnect(f->connection);
  f->connection = nullptr;
  f->window = 0;
  dropPanelState(f);
}

// A connection of its own, as an X11 plug-in in a host has, and a child of the host's window.
VstIntPtr openPanel(FakeEffect* f, void* parent) {
  closePanel(f);
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return 0;
  }
  const auto parentWindow = static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(parent));
  const xcb_window_t window = xcb_generate_id(connection);
  const std::uint32_t events = XCB_EVENT_MASK_BUTTON_PRESS;
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, parentWindow, 0, 0,
                    static_cast<std::uint16_t>(f->rect.right),
                    static_cast<std::uint16_t>(f->rect.bottom), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  xcb_map_window(connection, window);
  roundTrip(connection);
  f->connection = connection;
  f->window = window;
  keepPanelState(f);
  return 1;
}

// Nothing is drawn; presses of the left button are handled, the rest read so that they do not
// pile up.
void idlePanel(FakeEffect* f) {
  while (f->connection != nullptr) {
    xcb_generic_event_t* event = xcb_poll_for_event(f->connection);
    if (event == nullptr) {
      break;
    }
    if ((event->response_type & 0x7f) == XCB_BUTTON_PRESS) {
      const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
      if (press->detail == 1) {
        pressPanel(f, press->event_x);
      }
    }
    std::free(event);
  }
}
#endif

#ifdef FAKE_NO_EDITOR_WINDOW
constexpr bool kOpensNoWindow = true;
#else
constexpr bool kOpensNoWindow = false;
#endif

// ---- Requests ----------------------------------------------------------------------------------

VstIntPtr dispatcher(AEffect* e, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                     void* ptr, float) {
  FakeEffect* f = self(e);
  const bool validIndex = index >= 0 && index < kParams;
  switch (opcode) {
    case effOpen:
#ifdef FAKE_REPORTS_AUTOMATION
      f->host(e, audioMasterAutomate, 1, 0, nullptr, 0.25f);
#endif
      return 0;
    case effClose:
#if defined(FAKE_DANGLING_EDITOR) && defined(_WIN32)
      // The panel stays, and its paint handling now calls through a cleared pointer. The effect
      // is not freed, so the fault is the same every time.
      f->paintHook = nullptr;
      return 1;
#else
      closePanel(f);
      delete f;
      return 1;
#endif
    case effSetProgram:
      if (value >= 0 && value < kPrograms) {
        f->current = static_cast<int>(value);
      }
      return 0;
    case effGetProgram:
      return f->current;
    case effSetProgramName:
      std::snprintf(f->programs[f->current].name, kProgramNameSize, "%s",
                    static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName:
      writeText(ptr, kProgramNameSize, f->programs[f->current].name);
      return 0;
    case 29:  // effGetProgramNameIndexed
      if (index >= 0 && index < kPrograms) {
        writeText(ptr, kProgramNameSize, f->programs[index].name);
        return 1;
      }
      return 0;
    case effGetParamLabel:
      if (validIndex) {
        writeText(ptr, kParamTextSize, kLabels[index]);
      }
      return 0;
    case effGetParamName:
      if (validIndex) {
        writeText(ptr, kParamTextSize, kNames[index]);
      }
      return 0;
    case effGetParamDisplay:
      if (validIndex) {
        const float v = f->programs[f->current].values[index].load();
#ifdef FAKE_CRASHES_ON_NAN
        if (std::isnan(v)) {
          volatile int* nowhere = nullptr;
          *nowhere = 1;  // NOLINT(clang-analyzer-core.NullDereference): the fault it exists for
        }
#endif
#ifdef FAKE_HANGS_ON_NAN
        if (std::isnan(v)) {
          for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
          }
        }
#endif
        // Gain as the factor it applies, Tone in percent.
        char text[32];
        if (index == 0) {
          std::snprintf(text, sizeof text, "%.3f", 2.0 * static_cast<double>(v));
        } else {
          std::snprintf(text, sizeof text, "%.1f", 100.0 * static_cast<double>(v));
        }
        writeText(ptr, kParamTextSize, text);
      }
      return 0;
    case effGetVu:  // NOLINT(bugprone-branch-clone): the branches differ in other variants
#ifdef FAKE_QUERY_CHANGES
      f->current = 1;
#endif
      return 0;
    case effEditGetRect:
#ifdef FAKE_EDITOR_WITHOUT_RECT
      return 0;
#else
      *static_cast<EditorRect**>(ptr) = &f->rect;
      return 1;
#endif
    case effEditOpen:
      if (kOpensNoWindow) {
        return 1;
      }
      return openPanel(f, ptr);
    case effEditClose:
      closePanel(f);
      return 0;
    case effEditIdle:
      idlePanel(f);
      return 0;
    case effIdentify:
      return fourCharCode("TsPl");
    case 45:  // effGetEffectName
      writeText(ptr, 32, "Fake plug-in");
      return 1;
    case 47:  // effGetVendorString
      writeText(ptr, 64, "plughost tests");
      return 1;
    case 48:  // effGetProductString
      writeText(ptr, 64, "Fake");
      return 1;
    default:
      return 0;
  }
}

// ---- Processing --------------------------------------------------------------------------------

template <bool accumulate>
void processBlock(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
#ifdef FAKE_ALLOCATES
  void* scratch = std::malloc(static_cast<std::size_t>(frames) * sizeof(float) + 16);
  static_cast<volatile char*>(scratch)[0] = 0;
  std::free(scratch);
#endif
#ifdef FAKE_LOCKS
  std::lock_guard lock(processMutex);
#endif
  FakeEffect* f = self(e);
  const Program& program = f->programs[f->current];
  const float gain = 2.0f * program.values[0].load();
  const float tone = std::clamp(program.values[1].load(), 0.0f, 1.0f);
  const double k = 0.05 + 0.95 * static_cast<double>(tone);
  double* state = filterState(f);
  for (int c = 0; c < 2; ++c) {
    double y = state[c];
    for (std::int32_t i = 0; i < frames; ++i) {
      const float x = inputs[c][i];
#ifdef FAKE_SLOW_DENORMALS
      if (std::fpclassify(x) == FP_SUBNORMAL) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(200);
        while (std::chrono::steady_clock::now() < until) {
        }
      }
#endif
      float out = x * gain;
      if (tone < 1.0f) {
        double target = static_cast<double>(out);
#ifdef FAKE_BLOCK_DEPENDENT
        if (i == 0) {
          target *= 0.5;
        }
#endif
        y += k * (target - y);
#ifndef FAKE_STICKY_NAN
        // A non-finite sample restarts the filter; values too small to hear are dropped before
        // they turn into subnormal arithmetic.
        if (!std::isfinite(y) || std::fabs(y) < 1e-30) {
          y = 0.0;
        }
#endif
        out = static_cast<float>(std::isnan(y) ? y : std::clamp(y, -4.0, 4.0));
      }
#ifdef FAKE_NAN_OUTPUT
      out = std::numeric_limits<float>::quiet_NaN();
#endif
      outputs[c][i] = accumulate ? outputs[c][i] + out : out;
    }
    state[c] = y;
#ifdef FAKE_WRITES_PAST_BLOCK
    outputs[c][frames] = 0.0f;
#endif
#ifdef FAKE_WRITES_INPUT
    if (frames > 0) {
      inputs[c][0] = 1.0f;
    }
#endif
  }
}

void setParameter(AEffect* e, std::int32_t index, float value) {
  if (index >= 0 && index < kParams) {
    FakeEffect* f = self(e);
    storeParameter(f->programs[f->current].values[index], storedValue(value));
  }
}

float getParameter(AEffect* e, std::int32_t index) {
  if (index < 0 || index >= kParams) {
    return 0.0f;
  }
  FakeEffect* f = self(e);
  return f->programs[f->current].values[index].load();
}

// ---- The descriptor ----------------------------------------------------------------------------

[[maybe_unused]] AEffect* createEffect(HostCallback host) {
#ifndef FAKE_IGNORES_VERSION
  if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
    return nullptr;
  }
#endif
#ifdef FAKE_RETURNS_NULL
  return nullptr;
#endif
#ifdef FAKE_BAD_MAGIC
  // A host must not send effClose through a descriptor it cannot trust, so this one is never
  // freed: static storage keeps leak checkers quiet about it.
  static FakeEffect unclosed;
  FakeEffect* f = &unclosed;
#else
  auto* f = new (std::nothrow) FakeEffect;
  if (f == nullptr) {
    return nullptr;
  }
#endif
  f->host = host;
  const struct {
    float gain, tone;
    const char* name;
  } programs[kPrograms] = {{0.5f, 0.25f, "Unity"}, {0.25f, 0.75f, "Quiet"}};
  for (int p = 0; p < kPrograms; ++p) {
    f->programs[p].values[0] = programs[p].gain;
    f->programs[p].values[1] = programs[p].tone;
    std::snprintf(f->programs[p].name, kProgramNameSize, "%s", programs[p].name);
  }
#ifdef _WIN32
  f->paintHook = paintNothing;
#endif
  AEffect& d = f->descriptor;
#ifdef FAKE_BAD_MAGIC
  d.magic = fourCharCode("XstP");
#else
  d.magic = kEffectMagic;
#endif
  d.dispatcher = dispatcher;
  d.process = processBlock<true>;
  d.processReplacing = processBlock<false>;
  d.setParameter = setParameter;
  d.getParameter = getParameter;
  d.numPrograms = kPrograms;
  d.numParams = kParams;
  d.numInputs = 2;
  d.numOutputs = 2;
  d.flags = effFlagsHasEditor | effFlagsCanReplacing;
  d.ioRatio = 1.0f;
  d.object = f;
  d.uniqueID = fourCharCode("PHts");
  d.version = 7;
  return &d;
}

}  // namespace

// C++ forbids a function named main that returns a pointer. A shared object gets the name
// through an assembler label; a DLL through its module definition file (main = fakePluginMain).
#ifdef _WIN32
#define FAKE_EXPORT
#define FAKE_MAIN_LABEL
#else
#define FAKE_EXPORT __attribute__((visibility("default")))
#define FAKE_MAIN_LABEL __asm__("main")
#endif

#ifndef FAKE_NO_MAIN
extern "C" FAKE_EXPORT AEffect* fakePluginMain(HostCallback host) FAKE_MAIN_LABEL;
extern "C" AEffect* fakePluginMain(HostCallback host) {
  return createEffect(host);
}
#endif

#ifndef FAKE_NO_VSTPLUGINMAIN
extern "C" FAKE_EXPORT AEffect* VSTPluginMain(HostCallback host) {
  return createEffect(host);
}
#endif

// Something to export when neither entry is, so the library is still a valid library.
extern "C" FAKE_EXPORT int fakePluginNotAnEntry() {
  return 42;
}
