#include <windows.h>

#include <csignal>
#include <cstdio>
#include <exception>

#include "tools/plughost/validate/isolation.h"

namespace plughost::validate {
namespace {

FatalReport fatalReport = nullptr;

// A fault on another thread while one report is being written, or inside the report itself,
// comes here again: the report sees to it that it is written once.
void reportAndEnd(const char* what) {
  if (fatalReport != nullptr) {
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
  reportAndEnd(what);
  return EXCEPTION_EXECUTE_HANDLER;
}

void onAbort(int) {
  reportAndEnd("crashed: abort() was called");
}

void onTerminate() {
  reportAndEnd("crashed: std::terminate (an exception escaped a plug-in thread?)");
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
  TerminateProcess(GetCurrentProcess(), kEndedEarlyExitStatus);
  for (;;) {
  }
}

void writeUnbuffered(int stream, const char* data, std::size_t size) {
  const HANDLE handle = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return;
  }
  while (size > 0) {
    const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (WriteFile(handle, data, chunk, &written, nullptr) == 0 || written == 0) {
      return;
    }
    data += written;
    size -= written;
  }
}

}  // namespace plughost::validate
