// Running the selected checks of a plug-in and reporting them: one line per check (and per
// report), then the counts, or one JSON document. A run that a check ends (a crash or hang of
// plughost itself, when checks run in this process) still lists every selected check.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/isolation.h"

namespace plughost::validate {

// What runValidation's exit status says. (2 is plughost's own for a command line it refuses.)
constexpr int kExitAllPassed = 0;   // no check or report failed (skips allowed)
constexpr int kExitSomeFailed = 1;  // a check or report failed; all the selected ones ran
// A check crashed or hung plughost itself (checks in this process: Windows, --in-process): it
// is reported as failed, and the ones after it as not run.
constexpr int kExitEndedEarly = kEndedEarlyExitStatus;

struct ValidateOptions : RunOptions {
  bool json = false;
  // Full names ("processing.block_sizes") or areas ("processing"); empty selects everything.
  std::vector<std::string> only;
  std::vector<std::string> skip;
  // Run every check in a child process where the platform allows it.
  bool isolate = true;
  double timeoutSeconds = 300.0;
};

// The counts of a run: checks by outcome, and reports apart from them.
struct Tally {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
  int reportsMade = 0;
  int reportsFailed = 0;
  int reportsSkipped = 0;
  void add(CheckKind kind, Status status);
  bool anyFailed() const { return failed + reportsFailed > 0; }
};

// What this machine and build give the checks: asks the window system and the probe.
Provisions provisionsHere();

// Every check, in the order they run: loading first, timing last.
std::vector<Check> allChecks();

// Whether `pattern` (a full name or an area) selects the check.
bool selects(const std::string& pattern, const Check& check);

// Runs the checks and writes the report; the result is the exit status (kExit*). A crash or hang
// in this process does not return: the report is written and the process ends.
int runValidation(const ValidateOptions& options, std::ostream& out);

// The check line as printed: "FAIL area.name: reason [reproduce: ...]".
std::string checkLine(const Check& check, const Outcome& outcome, const ValidateOptions& options);
// "38 passed, 1 failed, 2 skipped; reports: 1 made"; `endedBy` names the check that ended the
// run, when one did.
std::string summaryLine(const Tally& tally, const std::string& endedBy = {});

}  // namespace plughost::validate
