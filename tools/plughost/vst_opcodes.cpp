#include "tools/plughost/vst_opcodes.h"

namespace plughost {

const char* processModeName(ProcessMode mode) {
  return mode == ProcessMode::replacing ? "replacing" : "accumulating";
}

std::optional<ProcessMode> processModeFromName(std::string_view name) {
  for (ProcessMode mode : {ProcessMode::replacing, ProcessMode::accumulating}) {
    if (name == processModeName(mode)) {
      return mode;
    }
  }
  return std::nullopt;
}

std::string opcodeText(std::int32_t opcode) {
  std::string text = std::to_string(opcode);
  if (const char* name = opcodeInfo(opcode).name) {
    text += std::string(" (") + name + ")";
  }
  return text;
}

}  // namespace plughost
