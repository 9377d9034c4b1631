#include <windows.h>

#include <csignal>
#include <cstdio>
#include <exception>

#include "tools/plughost/validate/isolation.h"

namespace plughost::validate {
namespace {

FatalReport fatalReport = nullptr;
LONG reporting = 0;

void reportOnce(const char* what) {
  if (InterlockedExchange(&reporting, 1) == 0 && fatalReport != nullptr) {
    fatalReport(what);
  }
  endAfterFatalReport();
}

const char* exceptionName(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
      return "access violation";
    case EXCEPTION_STACK_OVERFLOW:
      return "stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "illegal instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "integer division by zero";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
      return "floating-point exception";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return "array bounds exceeded";
    case EXCEPTION_PRIV_INSTRUCTION:
      return "privileged instruction";
    default:
      return "exception";
  }
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info) {
  char what[128];
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  std::snprintf(what, sizeof what, "crashed: %s (0x%08lX) at %p", exceptionName(code),
                static_cast<unsigned long>(code), info->ExceptionRecord->ExceptionAddress);
  reportOnce(what);
  return EXCEPTION_EXECUTE_HANDLER;
}

void onAbort(int) {
  reportOnce("crashed: abort() was called");
}

void onTerminate() {
  reportOnce("crashed: std::terminate (an exception escaped a plug-in thread?)");
}

}  // namespace

void installFatalHandlers(FatalReport report) {
  fatalReport = report;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(onUnhandledException);
  std::signal(SIGABRT, onAbort);
  std::set_terminate(onTerminate);
}

bool canIsolate() {
  return false;
}

Outcome runIsolated(const Check& check, const RunOptions& options, double /*timeoutSeconds*/) {
  return runInProcess(check, options);
}

void endAfterFatalReport() {
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) {
  }
}

}  // namespace plughost::validate
