// The LV2 forms of plughost's commands: the same options, with an LV2 plug-in URI or bundle
// folder where a VST 2 library would be.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plughost {

int runLv2Info(const std::string& reference, bool json);

struct Lv2ProcessOptions {
  std::string plugin;
  std::string input;
  std::string output;
  std::vector<std::string> parameters;
  std::int32_t block = 512;
  std::optional<std::uint32_t> rate;
  bool pcm16 = false;
  bool pcm24 = false;
};
int runLv2Process(const Lv2ProcessOptions& options);

}  // namespace plughost
