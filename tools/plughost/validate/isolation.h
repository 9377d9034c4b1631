// Surviving the plug-in: each check can run in a child process (POSIX), so that a crash or a hang
// is one failed check and the others still run; in this process (always on Windows), a crash or
// a hang is reported as the running check's failure before the process ends.
#pragma once

#include <cstddef>

#include "tools/plughost/validate/check.h"

namespace plughost::validate {

// The exit status of a run that a crash or hang in this process ended.
constexpr int kEndedEarlyExitStatus = 3;

// Prints the failure of the running check and the rest of the report. Called from a crash
// handler (on any thread, possibly on a heap the plug-in wrecked); the process ends right after
// it returns.
using FatalReport = void (*)(const char* what);

void installFatalHandlers(FatalReport report);

// Whether runIsolated is available on this platform.
bool canIsolate();

// Runs the check in a child process: a crash, an abnormal exit or `timeoutSeconds` without an
// answer becomes a failed outcome.
Outcome runIsolated(const Check& check, const RunOptions& options, double timeoutSeconds);

// Ends the process after a fatal report, with kEndedEarlyExitStatus. Nothing buffered is
// flushed: the report was written unbuffered, and what a plug-in left in the C library's buffers
// must not land after it.
[[noreturn]] void endAfterFatalReport();

// Writes to standard output (stream 1) or error (2) with one system call after another: no
// buffer, no allocation, no lock of the C library, for the fatal path.
void writeUnbuffered(int stream, const char* data, std::size_t size);

}  // namespace plughost::validate
