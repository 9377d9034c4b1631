// Running the selected checks of a plug-in and reporting them: one line per check, then
// "N passed, N failed" (and ", N skipped"), or one JSON document.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/plughost/validate/check.h"

namespace plughost::validate {

struct ValidateOptions : RunOptions {
  bool json = false;
  // Full names ("processing.block_sizes") or areas ("processing"); empty selects everything.
  std::vector<std::string> only;
  std::vector<std::string> skip;
  // Run every check in a child process where the platform allows it.
  bool isolate = true;
  double timeoutSeconds = 300.0;
};

// What this machine and build give the checks: asks the window system and the probe.
Provisions provisionsHere();

// Every check, in the order they run: loading first, timing last.
std::vector<Check> allChecks();

// Whether `pattern` (a full name or an area) selects the check.
bool selects(const std::string& pattern, const Check& check);

// Runs the checks and writes the report; the result is the exit status (0 when nothing failed).
int runValidation(const ValidateOptions& options, std::ostream& out);

// The check line as printed: "FAIL area.name: reason [reproduce: ...]".
std::string checkLine(const Check& check, const Outcome& outcome, const ValidateOptions& options);
std::string summaryLine(int passed, int failed, int skipped);

}  // namespace plughost::validate
