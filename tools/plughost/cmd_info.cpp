// plughost info PLUGIN [--json]: the descriptor, texts and programs a host sees.
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/plughost/commands.h"
#ifndef _WIN32
#include "tools/plughost/cmd_lv2.h"
#include "tools/plughost/lv2_host.h"
#endif
#include "tools/plughost/plugin_instance.h"
#include "tools/plughost/plugin_report.h"

namespace plughost {

CommandRun defineInfoCommand(CLI::App& command) {
  struct Options {
    std::string plugin;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  command
      .add_option("PLUGIN", options->plugin,
                  "the plug-in library (.dll or .so), or an LV2 plug-in URI or bundle folder")
      ->required();
  command.add_flag("--json", options->json, "print JSON for scripts instead of a table");

  return [options] {
#ifndef _WIN32
    if (isLv2Reference(options->plugin)) {
      return runLv2Info(options->plugin, options->json);
    }
#endif
    PluginLibrary library(options->plugin);
    HostCallbackRecorder host;
    PluginReport report;
    {
      PluginInstance plugin(library, host);
      plugin.open();
      plugin.setSampleRate(44100.0f);
      plugin.setBlockSize(512);
      report = describePlugin(plugin);
    }
    if (options->json) {
      std::cout << toJson(report).dump(2) << '\n';
    } else {
      printTable(std::cout, report);
    }
    return 0;
  };
}

}  // namespace plughost
