// The dispatcher: every opcode of the interface and beyond, with the arguments a careless or
// hostile host may pass, must neither crash nor write past what the interface allows, and
// requests that only ask must not change the effect.
#include <algorithm>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/effect_session.h"

namespace plughost::validate {
namespace {

// What the pointer argument of an opcode is, as far as the host is concerned.
enum class Pointer {
  none,    // the opcode takes no pointer: nothing may be written through it
  input,   // the plug-in reads it: nothing may be written through it either
  output,  // the plug-in writes up to `writable` bytes
  any,     // vendor-defined: anything goes
};

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

struct Profile {
  Pointer pointer = Pointer::none;
  std::size_t writable = 0;
  Value value = Value::plain;
  // Asking only: the program, parameters, current program name and descriptor must not change.
  bool asksOnly = true;
  Counted counted = Counted::parameters;
  float opt = 0.0f;
};

constexpr std::size_t kParameterText = 9;  // 8 characters and the terminator
constexpr std::size_t kProgramName = 24;   // 23 characters and the terminator
constexpr std::size_t kPointerSize = sizeof(void*);

// The published meanings of the 2.4 opcodes, reduced to what the sweep needs. effOpen, effClose,
// effEditOpen and effEditClose are left to the loading and editor checks.
Profile profileOf(std::int32_t opcode) {
  Profile p;
  auto changes = [&p] { p.asksOnly = false; };
  switch (opcode) {
    case effSetProgram:
      changes();
      p.counted = Counted::programs;
      break;
    case effSetProgramName:
      changes();
      p.pointer = Pointer::input;
      break;
    case effGetProgramName:
      p.pointer = Pointer::output;
      p.writable = kProgramName;
      break;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
      p.pointer = Pointer::output;
      p.writable = kParameterText;
      break;
    case effSetSampleRate:
      changes();
      p.opt = 44100.0f;
      break;
    case effSetBlockSize:
      changes();
      p.value = Value::blockSize;
      break;
    case effMainsChanged:
      changes();
      break;
    case effEditGetRect:
      p.pointer = Pointer::output;
      p.writable = kPointerSize;
      break;
    case effEditDraw:
      p.pointer = Pointer::input;
      break;
    case 23:  // effGetChunk
      p.pointer = Pointer::output;
      p.writable = kPointerSize;
      break;
    case 24:  // effSetChunk
      changes();
      p.pointer = Pointer::input;
      p.value = Value::byteSize;
      break;
    case 25:  // effProcessEvents
    case 41:  // effProcessVarIo
    case 75:  // effBeginLoadBank
    case 76:  // effBeginLoadProgram
      changes();
      p.pointer = Pointer::input;
      break;
    case 27:  // effString2Parameter
      changes();
      p.pointer = Pointer::input;
      break;
    case 29:  // effGetProgramNameIndexed
      p.pointer = Pointer::output;
      p.writable = kProgramName;
      p.counted = Counted::programs;
      break;
    case 30:  // effCopyProgram
      changes();
      p.counted = Counted::programs;
      break;
    case 31:  // effConnectInput
      changes();
      p.counted = Counted::inputs;
      break;
    case 32:  // effConnectOutput
      changes();
      p.counted = Counted::outputs;
      break;
    case 33:  // effGetInputProperties: VstPinProperties
      p.pointer = Pointer::output;
      p.writable = 128;
      p.counted = Counted::inputs;
      break;
    case 34:  // effGetOutputProperties
      p.pointer = Pointer::output;
      p.writable = 128;
      p.counted = Counted::outputs;
      break;
    case 38:  // effOfflineNotify
    case 39:  // effOfflinePrepare
    case 40:  // effOfflineRun
      changes();
      p.pointer = Pointer::input;
      p.value = Value::arrayCount;
      break;
    case 42:  // effSetSpeakerArrangement: value and pointer are both arrangements
      changes();
      p.pointer = Pointer::input;
      p.value = Value::inRecord;
      break;
    case 43:  // effSetBlockSizeAndSampleRate
      changes();
      p.value = Value::blockSize;
      p.opt = 44100.0f;
      break;
    case 44:  // effSetBypass
    case 55:  // effSetViewPosition
    case 59:  // effEditKeyDown
    case 60:  // effEditKeyUp
    case 61:  // effSetEditKnobMode
    case 67:  // effBeginSetProgram
    case 68:  // effEndSetProgram
    case 71:  // effStartProcess
    case 72:  // effStopProcess
    case 73:  // effSetTotalSampleToProcess
    case 77:  // effSetProcessPrecision
      changes();
      break;
    case 74:  // effSetPanLaw
      changes();
      p.opt = 0.70710677f;
      break;
    case 45:  // effGetEffectName
      p.pointer = Pointer::output;
      p.writable = 32;
      break;
    case 46:  // effGetErrorText
      p.pointer = Pointer::output;
      p.writable = 256;
      break;
    case 47:  // effGetVendorString
    case 48:  // effGetProductString
      p.pointer = Pointer::output;
      p.writable = 64;
      break;
    case 50:  // effVendorSpecific
      changes();
      p.pointer = Pointer::any;
      p.writable = GuardedBuffer::kSize;
      break;
    case 51:  // effCanDo
      p.pointer = Pointer::input;
      break;
    case 56:  // effGetParameterProperties: VstParameterProperties
      p.pointer = Pointer::output;
      p.writable = 152;
      break;
    case 62:  // effGetMidiProgramName: MidiProgramName
    case 63:  // effGetCurrentMidiProgram
    case 66:  // effGetMidiKeyName: MidiKeyName
      p.pointer = Pointer::output;
      p.writable = 80;
      break;
    case 64:  // effGetMidiProgramCategory: MidiProgramCategory
      p.pointer = Pointer::output;
      p.writable = 76;
      break;
    case 69:  // effGetSpeakerArrangement: value and pointer receive arrangement pointers
      p.pointer = Pointer::output;
      p.writable = kPointerSize;
      p.value = Value::outPointer;
      break;
    case 70:  // effShellGetNextPlugin: advances the shell's enumeration
      changes();
      p.pointer = Pointer::output;
      p.writable = 64;
      break;
    default:
      // Requests that only ask (getters, idle, deprecated editor requests) and every opcode the
      // interface does not define.
      break;
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
          buffer.reset(profile.pointer == Pointer::output ? profile.writable
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
          if (profile.pointer == Pointer::output) {
            if (auto damage = buffer.damage()) {
              findings.add(call + " " + *damage);
            }
          } else if (profile.pointer != Pointer::any && buffer.touched()) {
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
    ask(effGetParamName, i, kParameterText, "name of parameter " + std::to_string(i));
    ask(effGetParamLabel, i, kParameterText, "label of parameter " + std::to_string(i));
    ask(effGetParamDisplay, i, kParameterText, "display of parameter " + std::to_string(i));
  }
  const std::int32_t programs = std::clamp(effect->numPrograms, 0, 1024);
  const std::int32_t current = effect.program();
  for (std::int32_t p = 0; p < programs; ++p) {
    effect.setProgram(p);
    ask(effGetProgramName, 0, kProgramName, "name of program " + std::to_string(p));
    buffer.reset(kProgramName);
    if (effect.dispatch(29, p, -1, buffer.data()) != 0) {  // effGetProgramNameIndexed
      ++texts;
      if (auto damage = buffer.damage()) {
        findings.add("indexed name of program " + std::to_string(p) + ": " + *damage);
      }
    }
  }
  effect.setProgram(current);
  for (auto [opcode, writable, what] :
       {std::tuple{45, std::size_t{32}, "effect name"}, std::tuple{47, std::size_t{64}, "vendor"},
        std::tuple{48, std::size_t{64}, "product"}}) {
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
      {"dispatcher", "sweep", sweep},
      {"dispatcher", "text_limits", textLimits},
  };
}

}  // namespace plughost::validate
