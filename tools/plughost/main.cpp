// plughost: a command-line VST 2 host. Each command lives in its own file and registers
// through the table below; main parses the command line, runs the chosen command and turns
// every failure into one error line and a non-zero exit status.
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/plughost/commands.h"

namespace {

using plughost::CommandEntry;

const CommandEntry kCommands[] = {
    {"info", "Show what a host sees of a plug-in: descriptor, parameters, programs",
     plughost::defineInfoCommand},
    {"process", "Run a WAV file through a plug-in block by block and write the result",
     plughost::defineProcessCommand},
    {"bench", "Time a plug-in's processing of a realistic stereo signal",
     plughost::defineBenchCommand},
    {"snapshot", "Open a plug-in's editor, script pointer actions on it and save it as PNG",
     plughost::defineSnapshotCommand},
    {"validate", "Do to a plug-in what hosts do, the odd things included, and report each check",
     plughost::defineValidateCommand},
};

constexpr int kUsageError = 2;

std::string firstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? "invalid command line" : line;
}

int runPlughost(int argc, char** argv) {
  CLI::App app{"plughost: load a VST 2 plug-in, inspect it, run audio through it, time it",
               "plughost"};
  // Paths like /tmp/x.wav are file names, not Windows-style options, on every platform.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  plughost::CommandRun chosen;
  for (const CommandEntry& entry : kCommands) {
    CLI::App* command = app.add_subcommand(entry.name, entry.description);
    plughost::CommandRun run = entry.define(*command);
    command->callback([&chosen, run] { chosen = run; });
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "plughost: error: %s (see plughost --help)\n",
                 firstLine(e.what()).c_str());
    return kUsageError;
  }

  try {
    return chosen();
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "plughost: error: %s\n", firstLine(e.what()).c_str());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Setting up the command line can throw too, and nothing may leave main as an exception.
  try {
    return runPlughost(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plughost: error: %s\n", firstLine(e.what()).c_str());
  } catch (...) {
    std::fprintf(stderr, "plughost: error: an exception of unknown type\n");
  }
  return 1;
}
