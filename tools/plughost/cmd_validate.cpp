// plughost validate PLUGIN [--level 1..10] [--seed N] [--json] [--only NAME]... [--skip NAME]...:
// does to a plug-in of any format what hosts do, the odd things included, and reports each check.
#include <chrono>
#include <iostream>
#include <memory>
#include <random>

#include <CLI/CLI.hpp>

#include "tools/plughost/commands.h"
#include "tools/plughost/validate/runner.h"

namespace plughost {

CommandRun defineValidateCommand(CLI::App& command) {
  auto o = std::make_shared<validate::ValidateOptions>();
  auto pluginPath = std::make_shared<std::string>();
  auto seed = std::make_shared<std::uint64_t>(0);
  auto inProcess = std::make_shared<bool>(false);
  auto list = std::make_shared<bool>(false);
  command.add_option("PLUGIN", *pluginPath,
                     "the plug-in: a VST 2 library (.dll or .so), a VST 3 bundle or module "
                     "(.vst3), or an LV2 plug-in URI or bundle folder");
  command
      .add_option("--level", o->level,
                  "1 (quick) to 10 (strictest: more repeats, more random cases); default 5")
      ->check(CLI::Range(validate::kLowestLevel, validate::kHighestLevel));
  command.add_option("--seed", *seed, "seed of the random cases (default: a new one each run)");
  command.add_flag("--json", o->json, "print one JSON document instead of lines");
  command.add_option("--only", o->only, "run only this check or area (repeatable)");
  command.add_option("--skip", o->skip, "leave out this check or area (repeatable)");
  command.add_flag("--in-process", *inProcess,
                   "run every check in this process (a crash then ends the run)");
  command.add_option("--timeout", o->timeoutSeconds, "seconds a check may take (default 300)")
      ->check(CLI::Range(1.0, 86400.0));
  command.add_flag("--list", *list, "list the checks and exit");
  command.footer(
      "Exit status: 0 no check or report failed (skips allowed); 1 a check or report failed; "
      "2 the command line was refused; 3 a check crashed or hung plughost itself (in one "
      "process: on Windows, or with --in-process) and the run ended there: that check is "
      "reported as failed, the ones after it as not run, and one line on standard error says "
      "so.");

  return [o, pluginPath, seed, inProcess, list, &command] {
    if (*list) {
      for (const validate::Check& check : validate::allChecks()) {
        std::cout << validate::fullName(check) << '\n';
      }
      return 0;
    }
    if (pluginPath->empty()) {
      throw CLI::RequiredError("PLUGIN");
    }
    o->plugin = *pluginPath;
    o->isolate = !*inProcess;
    o->seed = command.count("--seed") > 0
                  ? *seed
                  : (std::random_device{}() ^
                     static_cast<std::uint64_t>(
                         std::chrono::steady_clock::now().time_since_epoch().count())) %
                        1000000000ULL;
    return validate::runValidation(*o, std::cout);
  };
}

}  // namespace plughost
