#include "tools/plughost/plugin.h"

#include <charconv>

#include "tools/plughost/host_error.h"
#include "tools/plughost/vst2_plugin.h"
#include "tools/plughost/vst3_host.h"
#ifndef _WIN32
#include "tools/plughost/lv2_host.h"
#endif

namespace plughost {

const char* formatName(PluginFormat format) {
  switch (format) {
    case PluginFormat::vst2:
      return "VST 2";
    case PluginFormat::lv2:
      return "LV2";
    case PluginFormat::vst3:
      return "VST 3";
  }
  return "?";
}

int Plugin::parameterIndex(const std::string& key) {
  int index = -1;
  const char* end = key.data() + key.size();
  const auto [stop, error] = std::from_chars(key.data(), end, index);
  if (key.empty() || error != std::errc() || stop != end || index < 0 ||
      index >= parameterCount()) {
    return -1;
  }
  return index;
}

PluginFormat formatOf(const std::string& reference) {
  if (isVst3Reference(reference)) {
    return PluginFormat::vst3;
  }
#ifndef _WIN32
  if (isLv2Reference(reference)) {
    return PluginFormat::lv2;
  }
#endif
  return PluginFormat::vst2;
}

std::unique_ptr<Plugin> openPlugin(const std::string& reference) {
  switch (formatOf(reference)) {
    case PluginFormat::vst3:
      return openVst3Plugin(reference);
#ifndef _WIN32
    case PluginFormat::lv2:
      return std::make_unique<Lv2HostedPlugin>(reference);
#endif
    default:
      break;
  }
  return std::make_unique<Vst2Plugin>(reference);
}

}  // namespace plughost
