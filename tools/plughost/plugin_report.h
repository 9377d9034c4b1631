// Everything a host learns about an effect by asking, gathered once, and shown as a table for
// people or as JSON for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/vst2/aeffect.h"
#include "tools/plughost/plugin_instance.h"

namespace plughost {

struct ParameterReport {
  std::int32_t index;
  std::string name;
  float value;
  std::string display;
  std::string label;
};

struct ProgramReport {
  std::int32_t index;
  std::string name;
};

struct PluginReport {
  std::string path;
  std::string entryName;
  std::int32_t magic;
  std::int32_t uniqueId;
  std::int32_t version;
  std::int32_t numPrograms;
  std::int32_t numParams;
  std::int32_t numInputs;
  std::int32_t numOutputs;
  std::int32_t flags;
  std::int32_t initialDelay;
  float ioRatio;
  std::int32_t identify;
  std::optional<EditorRect> editor;
  std::int32_t currentProgram;
  std::vector<ParameterReport> parameters;
  std::vector<ProgramReport> programs;
  std::vector<AutomationReport> automation;  // reported while the host asked
};

// Published names of the set bits, in bit order; an unnamed bit appears as "0x00000040".
std::vector<std::string> flagNames(std::int32_t flags);

// Asks an opened effect for everything; leaves its current program as it was.
PluginReport describePlugin(PluginInstance& plugin);

nlohmann::ordered_json toJson(const PluginReport& report);
void printTable(std::ostream& out, const PluginReport& report);

}  // namespace plughost
