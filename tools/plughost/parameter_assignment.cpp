#include "tools/plughost/parameter_assignment.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "tools/plughost/host_error.h"
#include "tools/plughost/plugin.h"

namespace plughost {
namespace {

bool isSymbol(const std::string& text) {
  if (text.empty() || (std::isalpha(static_cast<unsigned char>(text[0])) == 0 && text[0] != '_')) {
    return false;
  }
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') {
      return false;
    }
  }
  return true;
}

}  // namespace

ParameterAssignment parseParameterAssignment(const std::string& text) {
  auto bad = [&text](const std::string& problem) {
    return HostError("bad --param '" + text + "': " + problem);
  };
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    throw bad("expected INDEX=VALUE");
  }
  const std::string indexText = text.substr(0, equals);
  std::string valueText = text.substr(equals + 1);
  std::optional<std::uint64_t> frame;
  if (const std::size_t at = valueText.find('@'); at != std::string::npos) {
    const std::string frameText = valueText.substr(at + 1);
    std::uint64_t f = 0;
    const auto [end, error] =
        std::from_chars(frameText.data(), frameText.data() + frameText.size(), f);
    if (frameText.empty() || error != std::errc() || end != frameText.data() + frameText.size()) {
      throw bad("frame '" + frameText + "' is not a frame number");
    }
    frame = f;
    valueText.resize(at);
  }

  std::int32_t index = 0;
  auto [end, error] = std::from_chars(indexText.data(), indexText.data() + indexText.size(), index);
  if (indexText.empty() || error != std::errc() || end != indexText.data() + indexText.size() ||
      index < 0) {
    if (!isSymbol(indexText)) {
      throw bad("index '" + indexText + "' is not a parameter number or name");
    }
    index = -1;
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
  return {index, static_cast<float>(value), text, indexText, frame};
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

void resolveParameterAssignments(std::vector<ParameterAssignment>& assignments, Plugin& plugin) {
  for (auto& a : assignments) {
    if (a.index < 0) {
      a.index = plugin.parameterIndex(a.key);
      if (a.index < 0) {
        throw HostError("bad --param '" + a.text + "': the plug-in has no parameter named '" +
                        a.key + "'");
      }
    }
  }
  checkParameterIndices(assignments, plugin.parameterCount());
}

}  // namespace plughost
