// "--param I=V" on the command line: a parameter index and a value in the host's 0..1 range.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

struct ParameterAssignment {
  std::int32_t index;
  float value;
  std::string text;  // as given, for messages
};

// Throws HostError ("bad --param 'x': ...") for anything but INDEX=VALUE with a non-negative
// integer index and a finite value from 0 to 1.
ParameterAssignment parseParameterAssignment(const std::string& text);

// Throws HostError when an index is not below the plug-in's parameter count.
void checkParameterIndices(const std::vector<ParameterAssignment>& assignments,
                           std::int32_t parameterCount);

}  // namespace plughost
