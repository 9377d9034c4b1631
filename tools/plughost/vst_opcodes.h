// What plughost knows of the VST 2 interface beyond host/vst2/aeffect.h, in one place: the process
// entries, every dispatcher opcode with its name and what its pointer argument is (and how many
// bytes a plug-in may write through it), and the host requests by their published numbers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/vst2/aeffect.h"

namespace plughost {

// The two process entries of a descriptor.
enum class ProcessMode { replacing, accumulating };

// "replacing" or "accumulating": the words of the command line and of messages.
const char* processModeName(ProcessMode mode);
std::optional<ProcessMode> processModeFromName(std::string_view name);

// What a dispatcher request's pointer argument is, as far as the host is concerned.
enum class PointerKind {
  none,    // the opcode takes no pointer: nothing may be written through it
  input,   // the plug-in reads it: nothing may be written through it either
  output,  // the plug-in writes up to `writable` bytes
  any,     // vendor-defined: anything goes
};

struct OpcodeInfo {
  std::int32_t opcode;
  const char* name;
  PointerKind pointer;
  // For output pointers: how many bytes the plug-in may write.
  std::size_t writable;
};

// A parameter's name, label or display: 8 characters and the terminator.
constexpr std::size_t kParameterTextBytes = 9;
// A program's name: 23 characters and the terminator.
constexpr std::size_t kProgramNameBytes = 24;
// Vendor-defined requests may use a region of any size; hosts hand 4 KiB.
constexpr std::size_t kVendorRegionBytes = 4096;

namespace detail {
constexpr PointerKind kNone = PointerKind::none;
constexpr PointerKind kIn = PointerKind::input;
constexpr PointerKind kOut = PointerKind::output;
constexpr PointerKind kAny = PointerKind::any;
constexpr std::size_t kPointerBytes = sizeof(void*);
}  // namespace detail

// The dispatcher opcodes of interface version 2.4, by number (kOpcodes[n].opcode == n).
constexpr std::array<OpcodeInfo, 80> kOpcodes = {{
    {0, "effOpen", detail::kNone, 0},
    {1, "effClose", detail::kNone, 0},
    {2, "effSetProgram", detail::kNone, 0},
    {3, "effGetProgram", detail::kNone, 0},
    {4, "effSetProgramName", detail::kIn, 0},
    {5, "effGetProgramName", detail::kOut, kProgramNameBytes},
    {6, "effGetParamLabel", detail::kOut, kParameterTextBytes},
    {7, "effGetParamDisplay", detail::kOut, kParameterTextBytes},
    {8, "effGetParamName", detail::kOut, kParameterTextBytes},
    {9, "effGetVu", detail::kNone, 0},
    {10, "effSetSampleRate", detail::kNone, 0},
    {11, "effSetBlockSize", detail::kNone, 0},
    {12, "effMainsChanged", detail::kNone, 0},
    // Stores a pointer to the editor's rectangle.
    {13, "effEditGetRect", detail::kOut, detail::kPointerBytes},
    {14, "effEditOpen", detail::kNone, 0},
    {15, "effEditClose", detail::kNone, 0},
    {16, "effEditDraw", detail::kIn, 0},
    {17, "effEditMouse", detail::kNone, 0},
    {18, "effEditKey", detail::kNone, 0},
    {19, "effEditIdle", detail::kNone, 0},
    {20, "effEditTop", detail::kNone, 0},
    {21, "effEditSleep", detail::kNone, 0},
    {22, "effIdentify", detail::kNone, 0},
    // Stores a pointer to the chunk.
    {23, "effGetChunk", detail::kOut, detail::kPointerBytes},
    {24, "effSetChunk", detail::kIn, 0},
    {25, "effProcessEvents", detail::kIn, 0},
    {26, "effCanBeAutomated", detail::kNone, 0},
    {27, "effString2Parameter", detail::kIn, 0},
    {28, "effGetNumProgramCategories", detail::kNone, 0},
    {29, "effGetProgramNameIndexed", detail::kOut, kProgramNameBytes},
    {30, "effCopyProgram", detail::kNone, 0},
    {31, "effConnectInput", detail::kNone, 0},
    {32, "effConnectOutput", detail::kNone, 0},
    // VstPinProperties.
    {33, "effGetInputProperties", detail::kOut, 128},
    {34, "effGetOutputProperties", detail::kOut, 128},
    {35, "effGetPlugCategory", detail::kNone, 0},
    {36, "effGetCurrentPosition", detail::kNone, 0},
    {37, "effGetDestinationBuffer", detail::kNone, 0},
    {38, "effOfflineNotify", detail::kIn, 0},
    {39, "effOfflinePrepare", detail::kIn, 0},
    {40, "effOfflineRun", detail::kIn, 0},
    {41, "effProcessVarIo", detail::kIn, 0},
    // Value and pointer are both arrangements the plug-in reads.
    {42, "effSetSpeakerArrangement", detail::kIn, 0},
    {43, "effSetBlockSizeAndSampleRate", detail::kNone, 0},
    {44, "effSetBypass", detail::kNone, 0},
    {45, "effGetEffectName", detail::kOut, 32},
    {46, "effGetErrorText", detail::kOut, 256},
    {47, "effGetVendorString", detail::kOut, 64},
    {48, "effGetProductString", detail::kOut, 64},
    {49, "effGetVendorVersion", detail::kNone, 0},
    {50, "effVendorSpecific", detail::kAny, kVendorRegionBytes},
    {51, "effCanDo", detail::kIn, 0},
    {52, "effGetTailSize", detail::kNone, 0},
    {53, "effIdle", detail::kNone, 0},
    {54, "effGetIcon", detail::kNone, 0},
    {55, "effSetViewPosition", detail::kNone, 0},
    // VstParameterProperties.
    {56, "effGetParameterProperties", detail::kOut, 152},
    {57, "effKeysRequired", detail::kNone, 0},
    {58, "effGetVstVersion", detail::kNone, 0},
    {59, "effEditKeyDown", detail::kNone, 0},
    {60, "effEditKeyUp", detail::kNone, 0},
    {61, "effSetEditKnobMode", detail::kNone, 0},
    // MidiProgramName.
    {62, "effGetMidiProgramName", detail::kOut, 80},
    {63, "effGetCurrentMidiProgram", detail::kOut, 80},
    // MidiProgramCategory.
    {64, "effGetMidiProgramCategory", detail::kOut, 76},
    {65, "effHasMidiProgramsChanged", detail::kNone, 0},
    // MidiKeyName.
    {66, "effGetMidiKeyName", detail::kOut, 80},
    {67, "effBeginSetProgram", detail::kNone, 0},
    {68, "effEndSetProgram", detail::kNone, 0},
    // Value and pointer each receive a pointer to an arrangement.
    {69, "effGetSpeakerArrangement", detail::kOut, detail::kPointerBytes},
    {70, "effShellGetNextPlugin", detail::kOut, 64},
    {71, "effStartProcess", detail::kNone, 0},
    {72, "effStopProcess", detail::kNone, 0},
    {73, "effSetTotalSampleToProcess", detail::kNone, 0},
    {74, "effSetPanLaw", detail::kNone, 0},
    {75, "effBeginLoadBank", detail::kIn, 0},
    {76, "effBeginLoadProgram", detail::kIn, 0},
    {77, "effSetProcessPrecision", detail::kNone, 0},
    {78, "effGetNumMidiInputChannels", detail::kNone, 0},
    {79, "effGetNumMidiOutputChannels", detail::kNone, 0},
}};

constexpr bool opcodesInOrder() {
  for (std::size_t i = 0; i < kOpcodes.size(); ++i) {
    if (kOpcodes[i].opcode != static_cast<std::int32_t>(i)) {
      return false;
    }
  }
  return true;
}
static_assert(opcodesInOrder(), "kOpcodes is indexed by opcode");

// The entry of a defined opcode; an opcode the interface does not define takes no pointer.
constexpr OpcodeInfo opcodeInfo(std::int32_t opcode) {
  if (opcode >= 0 && opcode < static_cast<std::int32_t>(kOpcodes.size())) {
    return kOpcodes[static_cast<std::size_t>(opcode)];
  }
  return {opcode, nullptr, PointerKind::none, 0};
}

// The text of a dispatcher opcode for messages: "7 (effGetParamDisplay)", or just the number.
std::string opcodeText(std::int32_t opcode);

// The descriptor's flag bits: those of the interface header, then the later published ones a
// Linux plug-in may set; with the published name and a plain word for messages.
struct EffectFlag {
  std::int32_t bit;
  const char* name;
  const char* word;
};

constexpr EffectFlag kEffectFlags[] = {
    {effFlagsHasEditor, "effFlagsHasEditor", "editor"},
    {effFlagsHasClip, "effFlagsHasClip", "clip"},
    {effFlagsHasVu, "effFlagsHasVu", "VU"},
    {effFlagsCanMono, "effFlagsCanMono", "mono"},
    {effFlagsCanReplacing, "effFlagsCanReplacing", "replacing"},
    {32, "effFlagsProgramChunks", "program chunks"},
    {256, "effFlagsIsSynth", "synth"},
    {512, "effFlagsNoSoundInStop", "no sound in stop"},
    {4096, "effFlagsCanDoubleReplacing", "double replacing"},
};

// Dispatcher opcodes beyond those host/vst2/aeffect.h names, for the requests plughost sends
// itself.
enum DispatcherOpcode24 : std::int32_t {
  effGetChunk = 23,
  effGetProgramNameIndexed = 29,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
};

// Host requests beyond the five the interface header names, by their published numbers.
enum HostOpcode24 : std::int32_t {
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

}  // namespace plughost
