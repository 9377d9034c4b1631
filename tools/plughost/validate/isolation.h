// Surviving the plug-in: each check can run in a child process (POSIX), so that a crash or a hang
// is one failed check and the others still run; in this process (always on Windows), a crash or
// a hang is reported as the running check's failure before the process ends.
#pragma once

#include "tools/plughost/validate/check.h"

namespace plughost::validate {

// Prints the failure of the running check and the summary. Called at most once, from a crash
// handler or the watchdog; the process ends right after it returns.
using FatalReport = void (*)(const char* what);

void installFatalHandlers(FatalReport report);

// Whether runIsolated is available on this platform.
bool canIsolate();

// Runs the check in a child process: a crash, an abnormal exit or `timeoutSeconds` without an
// answer becomes a failed outcome.
Outcome runIsolated(const Check& check, const RunOptions& options, double timeoutSeconds);

// Ends the process after a fatal report, with the failure exit status.
[[noreturn]] void endAfterFatalReport();

}  // namespace plughost::validate
