// plughost info PLUGIN [--json]: what a host of the plug-in's format learns by asking.
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/plughost/commands.h"
#include "tools/plughost/plugin.h"

namespace plughost {

CommandRun defineInfoCommand(CLI::App& command) {
  struct Options {
    std::string plugin;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  command
      .add_option("PLUGIN", options->plugin,
                  "the plug-in: a VST 2 library (.dll or .so), a VST 3 bundle or module "
                  "(.vst3), or an LV2 plug-in URI or bundle folder")
      ->required();
  command.add_flag("--json", options->json, "print JSON for scripts instead of a table");

  return [options] {
    const std::unique_ptr<Plugin> plugin = openPlugin(options->plugin);
    plugin->setup(44100.0, 512);
    plugin->describe(std::cout, options->json);
    return 0;
  };
}

}  // namespace plughost
