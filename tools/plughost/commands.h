// The command table's interface: each command adds its options to its own CLI11 subcommand and
// returns the function that runs it once the command line has been parsed. Commands report
// problems by throwing (HostError, wav::WavError); main prints the one error line.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace plughost {

using CommandRun = std::function<int()>;
using CommandDefinition = CommandRun (*)(CLI::App& command);

struct CommandEntry {
  const char* name;
  const char* description;
  CommandDefinition define;
};

CommandRun defineInfoCommand(CLI::App& command);
CommandRun defineProcessCommand(CLI::App& command);
CommandRun defineBenchCommand(CLI::App& command);
CommandRun defineSnapshotCommand(CLI::App& command);
CommandRun defineValidateCommand(CLI::App& command);

}  // namespace plughost
