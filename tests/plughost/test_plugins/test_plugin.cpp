// A tiny VST 2 effect for exercising hosts: a gain with two programs, an editor rectangle and
// texts. Compile-time switches turn it into the broken plug-ins a host must survive:
//   TEST_PLUGIN_EXPORT_MAIN / TEST_PLUGIN_EXPORT_VSTPLUGINMAIN  which entry names exist
//   TEST_PLUGIN_RETURNS_NULL      the entry point returns null
//   TEST_PLUGIN_BAD_MAGIC         the descriptor's magic is "XstP"
//   TEST_PLUGIN_LONG_TEXT         every text request writes 200 characters
//   TEST_PLUGIN_NAN_OUTPUT        every output sample is NaN
//   TEST_PLUGIN_REPORTS_AUTOMATION  effOpen reports parameter 1 = 0.25 to the host
//
// Processing: output = input x (2 x gain), so a gain of 0.5 passes float samples unchanged.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "host/aeffect.h"

namespace {

constexpr int kParams = 3;
constexpr int kPrograms = 2;
const char* const kParamNames[kParams] = {"Gain", "Tone", "Spare"};
const char* const kParamLabels[kParams] = {"x", "%", ""};

struct Program {
  float values[kParams];
  char name[24];
};

struct TestEffect {
  AEffect descriptor{};
  HostCallback host = nullptr;
  Program programs[kPrograms] = {{{0.5f, 0.25f, 0.0f}, "Unity"}, {{0.25f, 0.75f, 1.0f}, "Quiet"}};
  int current = 0;
  EditorRect rect{0, 0, 200, 320};
};

TestEffect* self(AEffect* e) {
  return static_cast<TestEffect*>(e->object);
}

void writeText(void* ptr, const char* text) {
#ifdef TEST_PLUGIN_LONG_TEXT
  (void)text;
  std::memset(ptr, 'W', 200);
  static_cast<char*>(ptr)[200] = '\0';
#else
  std::memcpy(ptr, text, std::strlen(text) + 1);  // as long as the text: no bound, on purpose
#endif
}

[[maybe_unused]] VstIntPtr dispatcher(AEffect* e, std::int32_t opcode, std::int32_t index,
                                      VstIntPtr value, void* ptr, float) {
  TestEffect* t = self(e);
  const bool validIndex = index >= 0 && index < kParams;
  switch (opcode) {
    case effOpen:
#ifdef TEST_PLUGIN_REPORTS_AUTOMATION
      t->host(e, audioMasterAutomate, 1, 0, nullptr, 0.25f);
#endif
      return 0;
    case effClose:
      delete t;
      return 1;
    case effSetProgram:
      if (value >= 0 && value < kPrograms) {
        t->current = static_cast<int>(value);
      }
      return 0;
    case effGetProgram:
      return t->current;
    case effSetProgramName:
      std::snprintf(t->programs[t->current].name, 24, "%s", static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName:
      writeText(ptr, t->programs[t->current].name);
      return 0;
    case effGetParamLabel:
      if (validIndex) {
        writeText(ptr, kParamLabels[index]);
      }
      return 0;
    case effGetParamDisplay:
      if (validIndex) {
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", t->programs[t->current].values[index] * 2.0);
        writeText(ptr, text);
      }
      return 0;
    case effGetParamName:
      if (validIndex) {
        writeText(ptr, kParamNames[index]);
      }
      return 0;
    case effEditGetRect:
      *static_cast<EditorRect**>(ptr) = &t->rect;
      return 1;
    case effIdentify:
      return fourCharCode("TsPl");
    default:
      return 0;
  }
}

template <bool accumulate>
[[maybe_unused]] void processBlock(AEffect* e, float** inputs, float** outputs,
                                   std::int32_t frames) {
  const float gain = self(e)->programs[self(e)->current].values[0] * 2.0f;
  for (int c = 0; c < 2; ++c) {
    for (std::int32_t i = 0; i < frames; ++i) {
      float y = inputs[c][i] * gain;
#ifdef TEST_PLUGIN_NAN_OUTPUT
      y = std::numeric_limits<float>::quiet_NaN();
#endif
      outputs[c][i] = accumulate ? outputs[c][i] + y : y;
    }
  }
}

[[maybe_unused]] void setParameter(AEffect* e, std::int32_t index, float value) {
  if (index >= 0 && index < kParams) {
    self(e)->programs[self(e)->current].values[index] = value;
  }
}

[[maybe_unused]] float getParameter(AEffect* e, std::int32_t index) {
  return index >= 0 && index < kParams ? self(e)->programs[self(e)->current].values[index] : 0.0f;
}

[[maybe_unused]] AEffect* createEffect(HostCallback host) {
  if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
    return nullptr;
  }
#ifdef TEST_PLUGIN_RETURNS_NULL
  return nullptr;
#else
#ifdef TEST_PLUGIN_BAD_MAGIC
  // A host must not send effClose through a descriptor it cannot trust, so this one is never
  // freed: static storage keeps leak checkers quiet about it.
  static TestEffect unclosed;
  TestEffect* t = &unclosed;
#else
  auto* t = new (std::nothrow) TestEffect;
  if (t == nullptr) {
    return nullptr;
  }
#endif
  t->host = host;
  AEffect& d = t->descriptor;
#ifdef TEST_PLUGIN_BAD_MAGIC
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
  d.object = t;
  d.uniqueID = fourCharCode("PHts");
  d.version = 7;
  return &d;
#endif
}

}  // namespace

// C++ forbids a function named main that returns a pointer. A shared object gets the name
// through an assembler label; a DLL through its module definition file (main = testPluginMain).
#ifdef _WIN32
#define TEST_PLUGIN_EXPORT
#define TEST_PLUGIN_MAIN_LABEL
#else
#define TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#define TEST_PLUGIN_MAIN_LABEL __asm__("main")
#endif

#ifdef TEST_PLUGIN_EXPORT_MAIN
extern "C" TEST_PLUGIN_EXPORT AEffect* testPluginMain(HostCallback host) TEST_PLUGIN_MAIN_LABEL;
extern "C" AEffect* testPluginMain(HostCallback host) {
  return createEffect(host);
}
#endif

#ifdef TEST_PLUGIN_EXPORT_VSTPLUGINMAIN
extern "C" TEST_PLUGIN_EXPORT AEffect* VSTPluginMain(HostCallback host) {
  return createEffect(host);
}
#endif

// Something to export when neither entry is, so the library is still a valid library.
extern "C" TEST_PLUGIN_EXPORT int testPluginNotAnEntry() {
  return 42;
}
