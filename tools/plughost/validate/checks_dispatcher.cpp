// The dispatcher: every opcode of the interface and beyond, with the arguments a careless or
// hostile host may pass, must neither crash nor write past what the interface allows, and
// requests that only ask must not change the effect.
#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"

namespace plughost::validate {
namespace {

// What the value argument is.
enum class Value {
  plain,       // a number: -1, 0, 1, the count, the largest int
  blockSize,   // a frame count: 0 .. 65536
  byteSize,    // the size of the pointer's data: 0 .. 4096
  arrayCount,  // how many records the pointer holds: 0 or 1
  inRecord,    // a pointer to a record the plug-in reads
  outPointer,  // a pointer to where the plug-in stores a pointer
};

// Which count "count" means for the index.
enum class Counted { parameters, programs, inputs, outputs };

// How the sweep calls an opcode beyond what the opcode table says of its pointer. Requests not
// listed only ask (the program, parameters, current program name and descriptor must not
// change) and take plain values counted against the parameters.
struct SweepArguments {
  std::int32_t opcode;
  bool asksOnly;
  Value value;
  Counted counted;
  float opt;
};

constexpr bool kChanges = false;
constexpr SweepArguments kSweepArguments[] = {
    {effSetProgram, kChanges, Value::plain, Counted::programs, 0.0f},
    {effSetProgramName, kChanges, Value::plain, Counted::parameters, 0.0f},
    {effSetSampleRate, kChanges, Value::plain, Counted::parameters, 44100.0f},
    {effSetBlockSize, kChanges, Value::blockSize, Counted::parameters, 0.0f},
    {effMainsChanged, kChanges, Value::plain, Counted::parameters, 0.0f},
    {24, kChanges, Value::byteSize, Counted::parameters, 0.0f},       // effSetChunk
    {25, kChanges, Value::plain, Counted::parameters, 0.0f},          // effProcessEvents
    {27, kChanges, Value::plain, Counted::parameters, 0.0f},          // effString2Parameter
    {29, true, Value::plain, Counted::programs, 0.0f},                // effGetProgramNameIndexed
    {30, kChanges, Value::plain, Counted::programs, 0.0f},            // effCopyProgram
    {31, kChanges, Value::plain, Counted::inputs, 0.0f},              // effConnectInput
    {32, kChanges, Value::plain, Counted::outputs, 0.0f},             // effConnectOutput
    {33, true, Value::plain, Counted::inputs, 0.0f},                  // effGetInputProperties
    {34, true, Value::plain, Counted::outputs, 0.0f},                 // effGetOutputProperties
    {38, kChanges, Value::arrayCount, Counted::parameters, 0.0f},     // effOfflineNotify
    {39, kChanges, Value::arrayCount, Counted::parameters, 0.0f},     // effOfflinePrepare
    {40, kChanges, Value::arrayCount, Counted::parameters, 0.0f},     // effOfflineRun
    {41, kChanges, Value::plain, Counted::parameters, 0.0f},          // effProcessVarIo
    {42, kChanges, Value::inRecord, Counted::parameters, 0.0f},       // effSetSpeakerArrangement
    {43, kChanges, Value::blockSize, Counted::parameters, 44100.0f},  // ...AndSampleRate
    {44, kChanges, Value::plain, Counted::parameters, 0.0f},          // effSetBypass
    {50, kChanges, Value::plain, Counted::parameters, 0.0f},          // effVendorSpecific
    {55, kChanges, Value::plain, Counted::parameters, 0.0f},          // effSetViewPosition
    {59, kChanges, Value::plain, Counted::parameters, 0.0f},          // effEditKeyDown
    {60, kChanges, Value::plain, Counted::parameters, 0.0f},          // effEditKeyUp
    {61, kChanges, Value::plain, Counted::parameters, 0.0f},          // effSetEditKnobMode
    {67, kChanges, Value::plain, Counted::parameters, 0.0f},          // effBeginSetProgram
    {68, kChanges, Value::plain, Counted::parameters, 0.0f},          // effEndSetProgram
    {69, true, Value::outPointer, Counted::parameters, 0.0f},         // effGetSpeakerArrangement
    {70, kChanges, Value::plain, Counted::parameters, 0.0f},  // effShellGetNextPlugin advances
    {71, kChanges, Value::plain, Counted::parameters, 0.0f},  // effStartProcess
    {72, kChanges, Value::plain, Counted::parameters, 0.0f},  // effStopProcess
    {73, kChanges, Value::plain, Counted::parameters, 0.0f},  // effSetTotalSampleToProcess
    {74, kChanges, Value::plain, Counted::parameters, 0.70710677f},  // effSetPanLaw
    {75, kChanges, Value::plain, Counted::parameters, 0.0f},         // effBeginLoadBank
    {76, kChanges, Value::plain, Counted::parameters, 0.0f},         // effBeginLoadProgram
    {77, kChanges, Value::plain, Counted::parameters, 0.0f},         // effSetProcessPrecision
};

struct Profile {
  PointerKind pointer = PointerKind::none;
  std::size_t writable = 0;
  Value value = Value::plain;
  bool asksOnly = true;
  Counted counted = Counted::parameters;
  float opt = 0.0f;
};

constexpr std::size_t kPointerSize = sizeof(void*);

// effOpen, effClose, effEditOpen and effEditClose are left to the loading and editor checks.
Profile profileOf(std::int32_t opcode) {
  const OpcodeInfo info = opcodeInfo(opcode);
  Profile p;
  p.pointer = info.pointer;
  p.writable = info.writable;
  for (const SweepArguments& arguments : kSweepArguments) {
    if (arguments.opcode == opcode) {
      p.value = arguments.value;
      p.asksOnly = arguments.asksOnly;
      p.counted = arguments.counted;
      p.opt = arguments.opt;
    }
  }
  return p;
}

std::vector<std::int32_t> sweptOpcodes() {
  std::vector<std::int32_t> opcodes;
  for (std::int32_t opcode = -1; opcode <= 80; ++opcode) {
    if (opcode != effOpen && opcode != effClose && opcode != effEditOpen &&
        opcode != effEditClose) {
      opcodes.push_back(opcode);
    }
  }
  for (std::int32_t huge : {128, 1000, 65536, 0x12345678, std::numeric_limits<std::int32_t>::max(),
                            std::numeric_limits<std::int32_t>::min()}) {
    opcodes.push_back(huge);
  }
  return opcodes;
}

struct Snapshot {
  std::int32_t program = 0;
  std::vector<std::uint32_t> parameters;
  std::string programName;
  AEffect descriptor{};
};

Snapshot snapshot(Effect& effect) {
  Snapshot s;
  s.descriptor = *effect.get();
  s.program = effect.program();
  const std::int32_t count = std::clamp(effect->numParams, 0, 4096);
  for (std::int32_t i = 0; i < count; ++i) {
    const float value = effect.parameter(i);
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    s.parameters.push_back(bits);
  }
  GuardedBuffer name(GuardedBuffer::kSize);
  effect.dispatch(effGetProgramName, 0, 0, name.data());
  s.programName = name.text();
  return s;
}

// What changed between two snapshots, if anything.
std::optional<std::string> stateChange(const Snapshot& before, const Snapshot& after) {
  if (before.program != after.program) {
    return "changed the current program from " + std::to_string(before.program) + " to " +
           std::to_string(after.program);
  }
  for (std::size_t i = 0; i < before.parameters.size() && i < after.parameters.size(); ++i) {
    if (before.parameters[i] != after.parameters[i]) {
      float a;
      float b;
      std::memcpy(&a, &before.parameters[i], sizeof a);
      std::memcpy(&b, &after.parameters[i], sizeof b);
      return "changed parameter " + std::to_string(i) + " from " + floatText(a) + " to " +
             floatText(b);
    }
  }
  if (before.programName != after.programName) {
    return "changed the program name from '" + printable(before.programName) + "' to '" +
           printable(after.programName) + "'";
  }
  const AEffect& a = before.descriptor;
  const AEffect& b = after.descriptor;
  if (a.magic != b.magic || a.numPrograms != b.numPrograms || a.numParams != b.numParams ||
      a.numInputs != b.numInputs || a.numOutputs != b.numOutputs || a.flags != b.flags ||
      a.uniqueID != b.uniqueID || a.version != b.version || a.dispatcher != b.dispatcher ||
      a.process != b.process || a.processReplacing != b.processReplacing ||
      a.setParameter != b.setParameter || a.getParameter != b.getParameter) {
    return std::string("changed the descriptor");
  }
  return std::nullopt;
}

std::string sweep(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.start();
  const std::int32_t largest = std::numeric_limits<std::int32_t>::max();
  auto countOf = [&](Counted counted) {
    switch (counted) {
      case Counted::programs:
        return effect->numPrograms;
      case Counted::inputs:
        return effect->numInputs;
      case Counted::outputs:
        return effect->numOutputs;
      case Counted::parameters:
        break;
    }
    return effect->numParams;
  };

  std::vector<std::int32_t> opcodes = sweptOpcodes();
  const int passes = context.scaled(1, 3);
  GuardedBuffer buffer;
  GuardedBuffer second;
  Findings findings;
  long calls = 0;
  for (int pass = 0; pass < passes; ++pass) {
    if (pass == 1) {
      std::reverse(opcodes.begin(), opcodes.end());
    } else if (pass >= 2) {
      for (std::size_t i = opcodes.size(); i > 1; --i) {
        std::swap(opcodes[i - 1], opcodes[static_cast<std::size_t>(
                                      context.rng().range(0, static_cast<std::int64_t>(i) - 1))]);
      }
    }
    // Requests that change things are undone (as far as the program goes) before the next, so
    // that a request which only asks is always seen from the same program.
    const std::int32_t home = pass % 2 == 0 ? 0 : std::max(effect->numPrograms - 1, 0);
    auto goHome = [&] {
      if (effect->numPrograms > 0 && effect.program() != home) {
        effect.setProgram(home);
      }
    };
    goHome();
    Snapshot before = snapshot(effect);
    for (std::int32_t opcode : opcodes) {
      const Profile profile = profileOf(opcode);
      const std::int32_t count = countOf(profile.counted);
      std::vector<VstIntPtr> values;
      switch (profile.value) {
        case Value::plain:
          values = {-1, 0, 1, count, largest};
          break;
        case Value::blockSize:
          values = {0, 1, 64, 512, 65536};
          break;
        case Value::byteSize:
          values = {0, 1, 64, static_cast<VstIntPtr>(GuardedBuffer::kSize)};
          break;
        case Value::arrayCount:
          values = {0, 1};
          break;
        case Value::inRecord:
        case Value::outPointer:
          values = {0};  // replaced by the second buffer's address below
          break;
      }
      for (std::int32_t index : {-1, 0, 1, count, largest}) {
        for (VstIntPtr value : values) {
          buffer.reset(profile.pointer == PointerKind::output ? profile.writable
                                                              : GuardedBuffer::kSize);
          second.reset(profile.value == Value::outPointer ? kPointerSize : GuardedBuffer::kSize);
          if (profile.value == Value::inRecord || profile.value == Value::outPointer) {
            value = reinterpret_cast<VstIntPtr>(second.data());
          }
          const std::string call =
              "opcode " + opcodeText(opcode) + " index " + std::to_string(index) + " value " +
              (profile.value == Value::inRecord || profile.value == Value::outPointer
                   ? std::string("(pointer)")
                   : std::to_string(value));
          context.trace(call);
          effect.dispatch(opcode, index, value, buffer.data(), profile.opt);
          ++calls;
          if (profile.pointer == PointerKind::output) {
            if (auto damage = buffer.damage()) {
              findings.add(call + " " + *damage);
            }
          } else if (profile.pointer != PointerKind::any && buffer.touched()) {
            findings.add(call + " wrote through a pointer it should only read or not use");
          }
          if (profile.value == Value::inRecord && second.touched()) {
            findings.add(call + " wrote into the record it was given to read");
          } else if (profile.value == Value::outPointer) {
            if (auto damage = second.damage()) {
              findings.add(call + " (value's pointer) " + *damage);
            }
          }
          if (profile.asksOnly) {
            Snapshot after = snapshot(effect);
            if (auto change = stateChange(before, after)) {
              findings.add(call + " only asks, yet " + *change);
            }
            before = std::move(after);
          } else {
            goHome();
            before = snapshot(effect);
          }
        }
      }
    }
  }
  findings.throwIfAny("problems in " + std::to_string(calls) + " dispatcher calls");
  return std::to_string(calls) + " calls: " + std::to_string(opcodes.size()) +
         " opcodes (-1 to 80 but open/close/editor open/close, and 6 huge ones) x index and value "
         "in {-1, 0, 1, count, 2^31-1} (sizes and pointers where the opcode needs them), " +
         std::to_string(passes) + (passes == 1 ? " pass" : " passes in different orders") +
         ": no write past the allowed length, no state change from a request that only asks";
}

// Every parameter's and program's texts, each into a buffer with guard bytes right after the
// length the interface allows, and each terminated within it.
std::string textLimits(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.start();
  Findings findings;
  long texts = 0;
  GuardedBuffer buffer;
  auto ask = [&](std::int32_t opcode, std::int32_t index, std::size_t writable,
                 const std::string& what) {
    buffer.reset(writable);
    context.trace(what);
    effect.dispatch(opcode, index, 0, buffer.data());
    ++texts;
    if (auto damage = buffer.damage()) {
      findings.add(what + ": " + *damage);
    } else if (!buffer.terminated()) {
      findings.add(what + ": no terminating zero within " + std::to_string(writable) + " bytes");
    }
  };
  const std::int32_t parameters = std::clamp(effect->numParams, 0, 4096);
  for (std::int32_t i = 0; i < parameters; ++i) {
    ask(effGetParamName, i, kParameterTextBytes, "name of parameter " + std::to_string(i));
    ask(effGetParamLabel, i, kParameterTextBytes, "label of parameter " + std::to_string(i));
    ask(effGetParamDisplay, i, kParameterTextBytes, "display of parameter " + std::to_string(i));
  }
  const std::int32_t programs = std::clamp(effect->numPrograms, 0, 1024);
  const std::int32_t current = effect.program();
  for (std::int32_t p = 0; p < programs; ++p) {
    effect.setProgram(p);
    ask(effGetProgramName, 0, kProgramNameBytes, "name of program " + std::to_string(p));
    buffer.reset(kProgramNameBytes);
    if (effect.dispatch(effGetProgramNameIndexed, p, -1, buffer.data()) != 0) {
      ++texts;
      if (auto damage = buffer.damage()) {
        findings.add("indexed name of program " + std::to_string(p) + ": " + *damage);
      }
    }
  }
  effect.setProgram(current);
  for (auto [opcode, what] :
       {std::pair{effGetEffectName, "effect name"}, std::pair{effGetVendorString, "vendor"},
        std::pair{effGetProductString, "product"}}) {
    const std::size_t writable = opcodeInfo(opcode).writable;
    buffer.reset(writable);
    if (effect.dispatch(opcode, 0, 0, buffer.data()) != 0 || buffer.touched()) {
      ++texts;
      if (auto damage = buffer.damage()) {
        findings.add(std::string(what) + ": " + *damage);
      }
    }
  }
  findings.throwIfAny("texts too long of " + std::to_string(texts));
  return std::to_string(texts) + " texts (" + std::to_string(parameters) +
         " parameters' names, labels and displays in 8 characters + terminator, " +
         std::to_string(programs) +
         " programs' names in 24 bytes, effect/vendor/product names): all within their limits";
}

}  // namespace

std::vector<Check> dispatcherChecks() {
  return {
      {"dispatcher", "sweep", sweep, kNeedsNothing, CheckKind::check, kVst2Plugins},
      {"dispatcher", "text_limits", textLimits, kNeedsNothing, CheckKind::check, kVst2Plugins},
  };
}

}  // namespace plughost::validate
