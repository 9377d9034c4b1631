#include "tools/plughost/plugin_report.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iomanip>

#include "tools/plughost/host_text.h"
#include "tools/plughost/vst_opcodes.h"

namespace plughost {
namespace {

// A JSON number that prints as the float's shortest text (0.2, not 0.20000000298023224).
double jsonFloat(float value) {
  std::string text = shortestFloatText(value);
  return std::strtod(text.c_str(), nullptr);
}

nlohmann::ordered_json codeJson(std::int32_t code) {
  return {{"text", fourCharText(code)}, {"value", code}};
}

// Column width in characters, counting each UTF-8 sequence once.
std::size_t displayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A table cell: the text without its padding, cut (with "...") where a plug-in wrote far more
// than a host's field holds. The JSON output keeps every character.
std::string cell(const std::string& text) {
  constexpr std::size_t kMaxCell = 24;
  std::string t = trimmed(text);
  if (displayWidth(t) <= kMaxCell) {
    return t;
  }
  std::string cut;
  std::size_t characters = 0;
  for (char c : t) {
    bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && ++characters > kMaxCell - 3) {
      break;
    }
    cut += c;
  }
  return cut + "...";
}

std::string padded(const std::string& text, std::size_t width) {
  std::size_t used = displayWidth(text);
  return text + std::string(width > used ? width - used : 0, ' ');
}

}  // namespace

std::vector<std::string> flagNames(std::int32_t flags) {
  std::vector<std::string> names;
  auto bits = static_cast<std::uint32_t>(flags);
  for (int shift = 0; shift < 32; ++shift) {
    std::uint32_t bit = 1u << shift;
    if ((bits & bit) == 0) {
      continue;
    }
    auto known = std::find_if(
        std::begin(kEffectFlags), std::end(kEffectFlags),
        [bit](const EffectFlag& f) { return static_cast<std::uint32_t>(f.bit) == bit; });
    names.push_back(known != std::end(kEffectFlags) ? known->name
                                                    : hex32(static_cast<std::int32_t>(bit)));
  }
  return names;
}

PluginReport describePlugin(PluginInstance& plugin) {
  // A broken descriptor may claim millions of parameters; list a sane number of them.
  constexpr std::int32_t kMaxListed = 4096;
  const AEffect& e = plugin.effect();
  PluginReport report{};
  report.path = plugin.library().path().string();
  report.entryName = plugin.library().entryName();
  report.magic = e.magic;
  report.uniqueId = e.uniqueID;
  report.version = e.version;
  report.numPrograms = e.numPrograms;
  report.numParams = e.numParams;
  report.numInputs = e.numInputs;
  report.numOutputs = e.numOutputs;
  report.flags = e.flags;
  report.initialDelay = e.initialDelay;
  report.ioRatio = e.ioRatio;
  report.identify = plugin.identify();
  report.editor = plugin.editorRect();
  report.currentProgram = plugin.program();
  for (std::int32_t i = 0; i < std::min(e.numParams, kMaxListed); ++i) {
    report.parameters.push_back({i, plugin.parameterName(i), plugin.parameter(i),
                                 plugin.parameterDisplay(i), plugin.parameterLabel(i)});
  }
  for (std::int32_t p = 0; p < std::min(e.numPrograms, kMaxListed); ++p) {
    report.programs.push_back({p, plugin.programName(p)});
  }
  report.automation = plugin.host().automation();
  return report;
}

nlohmann::ordered_json toJson(const PluginReport& r) {
  nlohmann::ordered_json json;
  json["path"] = r.path;
  json["entry"] = r.entryName;
  json["magic"] = codeJson(r.magic);
  json["uniqueId"] = codeJson(r.uniqueId);
  json["version"] = r.version;
  json["numPrograms"] = r.numPrograms;
  json["numParams"] = r.numParams;
  json["numInputs"] = r.numInputs;
  json["numOutputs"] = r.numOutputs;
  json["flags"] = {{"value", r.flags}, {"names", flagNames(r.flags)}};
  json["initialDelay"] = r.initialDelay;
  json["ioRatio"] = jsonFloat(r.ioRatio);
  json["identify"] = codeJson(r.identify);
  if (r.editor) {
    const EditorRect& rect = *r.editor;
    json["editor"] = {{"top", rect.top},
                      {"left", rect.left},
                      {"bottom", rect.bottom},
                      {"right", rect.right},
                      {"width", rect.right - rect.left},
                      {"height", rect.bottom - rect.top}};
  } else {
    json["editor"] = nullptr;
  }
  json["currentProgram"] = r.currentProgram;
  json["parameters"] = nlohmann::ordered_json::array();
  for (const auto& p : r.parameters) {
    json["parameters"].push_back({{"index", p.index},
                                  {"name", p.name},
                                  {"value", jsonFloat(p.value)},
                                  {"display", p.display},
                                  {"label", p.label}});
  }
  json["programs"] = nlohmann::ordered_json::array();
  for (const auto& p : r.programs) {
    json["programs"].push_back({{"index", p.index}, {"name", p.name}});
  }
  json["automation"] = nlohmann::ordered_json::array();
  for (const auto& a : r.automation) {
    json["automation"].push_back({{"index", a.index}, {"value", jsonFloat(a.value)}});
  }
  return json;
}

void printTable(std::ostream& out, const PluginReport& r) {
  auto row = [&out](const char* key, const std::string& value) {
    out << "  " << std::left << std::setw(14) << key << value << '\n';
  };
  auto code = [](std::int32_t value) {
    std::string text = fourCharText(value);
    return text.rfind("0x", 0) == 0 ? text : text + "  (" + hex32(value) + ")";
  };
  std::string flags = std::to_string(r.flags);
  for (std::size_t i = 0; const auto& name : flagNames(r.flags)) {
    flags += (i++ == 0 ? "  " : " | ") + name;
  }

  out << "Plug-in " << r.path << " (entry " << r.entryName << ")\n";
  row("magic", code(r.magic));
  row("unique ID", code(r.uniqueId));
  row("version", std::to_string(r.version));
  row("programs", std::to_string(r.numPrograms));
  row("parameters", std::to_string(r.numParams));
  row("inputs", std::to_string(r.numInputs));
  row("outputs", std::to_string(r.numOutputs));
  row("flags", flags);
  row("initial delay", std::to_string(r.initialDelay) + " frames");
  row("io ratio", shortestFloatText(r.ioRatio));
  row("effIdentify", code(r.identify));
  if (r.editor) {
    const EditorRect& e = *r.editor;
    row("editor", std::to_string(e.right - e.left) + " x " + std::to_string(e.bottom - e.top) +
                      "  (top " + std::to_string(e.top) + ", left " + std::to_string(e.left) +
                      ", bottom " + std::to_string(e.bottom) + ", right " +
                      std::to_string(e.right) + ")");
  } else {
    row("editor", "none");
  }

  if (!r.parameters.empty()) {
    std::size_t nameWidth = 4;
    std::size_t displayWidthMax = 7;
    std::size_t valueWidth = 5;
    for (const auto& p : r.parameters) {
      nameWidth = std::max(nameWidth, displayWidth(cell(p.name)));
      displayWidthMax = std::max(displayWidthMax, displayWidth(cell(p.display)));
      valueWidth = std::max(valueWidth, shortestFloatText(p.value).size());
    }
    out << "\nParameters\n";
    out << "  " << std::left << std::setw(4) << "#" << padded("name", nameWidth + 2)
        << padded("value", valueWidth + 2) << padded("display", displayWidthMax + 2) << "label\n";
    for (const auto& p : r.parameters) {
      out << "  " << std::left << std::setw(4) << p.index << padded(cell(p.name), nameWidth + 2)
          << padded(shortestFloatText(p.value), valueWidth + 2)
          << padded(cell(p.display), displayWidthMax + 2) << cell(p.label) << '\n';
    }
  }
  if (!r.programs.empty()) {
    out << "\nPrograms\n";
    for (const auto& p : r.programs) {
      out << "  " << std::left << std::setw(4) << p.index << cell(p.name)
          << (p.index == r.currentProgram ? "  (current)" : "") << '\n';
    }
  }
  if (!r.automation.empty()) {
    out << "\nAutomation reported while asked\n";
    for (const auto& a : r.automation) {
      out << "  parameter " << a.index << " = " << shortestFloatText(a.value) << '\n';
    }
  }
}

}  // namespace plughost
