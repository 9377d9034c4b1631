#include "tools/plughost/parameter_assignment.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "tools/plughost/host_error.h"

namespace plughost {

ParameterAssignment parseParameterAssignment(const std::string& text) {
  auto bad = [&text](const std::string& problem) {
    return HostError("bad --param '" + text + "': " + problem);
  };
  std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    throw bad("expected INDEX=VALUE");
  }
  std::string indexText = text.substr(0, equals);
  std::string valueText = text.substr(equals + 1);

  std::int32_t index = 0;
  auto [end, error] = std::from_chars(indexText.data(), indexText.data() + indexText.size(), index);
  if (indexText.empty() || error != std::errc() || end != indexText.data() + indexText.size() ||
      index < 0) {
    throw bad("index '" + indexText + "' is not a parameter number");
  }

  // strtod rather than from_chars: it reads the same forms everywhere ("0.5", ".5", "1e-1").
  char* valueEnd = nullptr;
  double value = valueText.empty() ? 0.0 : std::strtod(valueText.c_str(), &valueEnd);
  if (valueText.empty() || valueEnd != valueText.c_str() + valueText.size() ||
      !std::isfinite(value)) {
    throw bad("value '" + valueText + "' is not a number");
  }
  if (value < 0.0 || value > 1.0) {
    throw bad("value " + valueText + " is outside the parameter range 0 to 1");
  }
  return {index, static_cast<float>(value), text};
}

void checkParameterIndices(const std::vector<ParameterAssignment>& assignments,
                           std::int32_t parameterCount) {
  for (const auto& a : assignments) {
    if (a.index >= parameterCount) {
      throw HostError("bad --param '" + a.text + "': index " + std::to_string(a.index) +
                      " is out of range (the plug-in has " + std::to_string(parameterCount) +
                      " parameters, 0 to " + std::to_string(parameterCount - 1) + ")");
    }
  }
}

}  // namespace plughost
