// "--param I=V" on the command line: a parameter named by its number (or a format's own name for
// it, an LV2 port symbol) and a value in the host's 0..1 range, optionally at a frame of the
// run ("I=V@F") for a change inside the audio.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plughost {

class Plugin;

struct ParameterAssignment {
  std::int32_t index;  // -1 while named by something else than its number
  float value;
  std::string text;  // as given, for messages
  std::string key;   // the part before '='
  std::optional<std::uint64_t> frame;
};

// Throws HostError ("bad --param 'x': ...") for anything but KEY=VALUE[@FRAME] with KEY a
// non-negative integer or a symbol (a letter or '_', then letters, digits, '_'), a finite value
// from 0 to 1 and a non-negative integer frame.
ParameterAssignment parseParameterAssignment(const std::string& text);

// Throws HostError when an index is not below the plug-in's parameter count.
void checkParameterIndices(const std::vector<ParameterAssignment>& assignments,
                           std::int32_t parameterCount);

// Finds each assignment's parameter in the plug-in (its number or its name); throws HostError
// for one the plug-in does not have.
void resolveParameterAssignments(std::vector<ParameterAssignment>& assignments, Plugin& plugin);

}  // namespace plughost
