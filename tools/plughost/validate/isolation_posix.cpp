#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/plughost/validate/isolation.h"

#if PLUGHOST_SANITIZED
#include <dlfcn.h>
#include <link.h>
#endif

namespace plughost::validate {
namespace {

FatalReport fatalReport = nullptr;

void onFatalSignal(int signal) {
  // A fault on another thread while one report is being written, or inside the report itself,
  // lands here again: the report sees to it that it is written once.
  if (fatalReport != nullptr) {
    char what[64];
    std::snprintf(what, sizeof what, "crashed with signal %d (%s)", signal, strsignal(signal));
    fatalReport(what);
  }
  _exit(kEndedEarlyExitStatus);
}

// The child talks to the parent through a pipe in messages of a kind letter and length-prefixed
// fields: 'T' and the step the check is about to take, 'R' and the outcome.
void writeField(std::string& out, const std::string& field) {
  out += std::to_string(field.size()) + ":" + field;
}

bool readField(const std::string& in, std::size_t& at, std::string& field) {
  const std::size_t colon = in.find(':', at);
  if (colon == std::string::npos || colon == at || colon - at > 12) {
    return false;
  }
  const std::size_t length = std::stoul(in.substr(at, colon - at));
  if (colon + 1 + length > in.size()) {
    return false;
  }
  field = in.substr(colon + 1, length);
  at = colon + 1 + length;
  return true;
}

std::string encodeOutcome(const Outcome& outcome) {
  std::string out = "R";
  writeField(out, std::to_string(static_cast<int>(outcome.status)));
  writeField(out, std::to_string(outcome.seconds));
  writeField(out, outcome.reason);
  writeField(out, std::to_string(outcome.notes.size()));
  for (const std::string& note : outcome.notes) {
    writeField(out, note);
  }
  return out;
}

// Reads the messages; returns whether an outcome came. `lastStep` is the last 'T' seen.
bool decodeMessages(const std::string& in, Outcome& outcome, std::string& lastStep) {
  std::size_t at = 0;
  bool complete = false;
  while (at < in.size()) {
    const char kind = in[at++];
    std::string field;
    if (kind == 'T') {
      if (!readField(in, at, field)) {
        break;
      }
      lastStep = field;
    } else if (kind == 'R') {
      std::string status;
      std::string seconds;
      std::string notes;
      if (!readField(in, at, status) || !readField(in, at, seconds) ||
          !readField(in, at, outcome.reason) || !readField(in, at, notes)) {
        break;
      }
      outcome.status = static_cast<Status>(std::stoi(status));
      outcome.seconds = std::stod(seconds);
      for (unsigned long n = std::stoul(notes); n > 0; --n) {
        if (!readField(in, at, field)) {
          return false;
        }
        outcome.notes.push_back(field);
      }
      complete = true;
    } else {
      break;
    }
  }
  return complete;
}

int childChannel = -1;

void writeAll(int fd, const std::string& message) {
  std::size_t written = 0;
  while (written < message.size()) {
    const ssize_t n = write(fd, message.data() + written, message.size() - written);
    if (n <= 0) {
      return;
    }
    written += static_cast<std::size_t>(n);
  }
}

// In the child: every step goes to the parent at once, so that it survives a crash.
void sendStep(const std::string& step) {
  std::string message = "T";
  writeField(message, step);
  writeAll(childChannel, message);
}

// The last lines a plug-in printed on its error output, without terminal colour codes.
std::vector<std::string> lastLines(const std::string& text, std::size_t count) {
  std::vector<std::string> lines;
  std::string line;
  auto finish = [&] {
    if (!line.empty()) {
      lines.push_back(line);
    }
    line.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\033') {
      while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) == 0) {
        ++i;
      }
    } else if (c == '\n' || c == '\r') {
      finish();
    } else {
      line += c;
    }
  }
  finish();
  if (lines.size() > count) {
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  }
  return lines;
}

#if PLUGHOST_SANITIZED
// A sanitizer that finds a fault ends the process itself, with its own report on standard error
// and no signal for the handlers above.
void onSanitizerDeath() {
  if (fatalReport != nullptr) {
    fatalReport("stopped by the sanitizer (its report is on standard error)");
  }
  _exit(kEndedEarlyExitStatus);
}

// Each sanitizer runtime keeps its own death callback (GCC links UBSan's apart from ASan's), so
// every loaded object that offers the setter gets it.
int setDeathCallbackIn(dl_phdr_info* info, std::size_t /*size*/, void* /*data*/) {
  void* object =
      dlopen(info->dlpi_name[0] == '\0' ? nullptr : info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
  if (object != nullptr) {
    using Setter = void (*)(void (*)());
    if (auto* set = reinterpret_cast<Setter>(dlsym(object, "__sanitizer_set_death_callback"))) {
      set(onSanitizerDeath);
    }
    dlclose(object);
  }
  return 0;
}
#endif

}  // namespace

void installFatalHandlers(FatalReport report) {
  fatalReport = report;
#if PLUGHOST_SANITIZED
  dl_iterate_phdr(setDeathCallbackIn, nullptr);
#endif
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

bool canIsolate() {
  return true;
}

Outcome runIsolated(const Check& check, const RunOptions& options, double timeoutSeconds) {
  int channel[2];
  int errors[2];
  if (pipe(channel) != 0) {
    return runInProcess(check, options);
  }
  if (pipe(errors) != 0) {
    close(channel[0]);
    close(channel[1]);
    return runInProcess(check, options);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    for (int fd : {channel[0], channel[1], errors[0], errors[1]}) {
      close(fd);
    }
    return runInProcess(check, options);
  }
  if (child == 0) {
    close(channel[0]);
    close(errors[0]);
    // What the plug-in prints goes to the parent, which shows the end of it with a failure.
    dup2(errors[1], STDERR_FILENO);
    close(errors[1]);
    // The default actions: the parent reads a crash from the exit status.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
      ::signal(signal, SIG_DFL);
    }
    childChannel = channel[1];
    setTraceSink(sendStep);
    writeAll(channel[1], encodeOutcome(runInProcess(check, options)));
    // No exit handlers, no flushing of buffers inherited from the parent, no plug-in static
    // destructors: what was to be learnt is in the pipe.
    _exit(0);
  }
  close(channel[1]);
  close(errors[1]);

  constexpr std::size_t kKeptErrorOutput = 16384;
  std::string received;
  std::string errorOutput;
  bool timedOut = false;
  bool channelOpen = true;
  bool errorsOpen = true;
  char buffer[4096];
  while (channelOpen || errorsOpen) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int remaining = static_cast<int>((timeoutSeconds - elapsed) * 1000.0);
    if (remaining <= 0) {
      timedOut = true;
      break;
    }
    pollfd watch[2] = {{channelOpen ? channel[0] : -1, POLLIN, 0},
                       {errorsOpen ? errors[0] : -1, POLLIN, 0}};
    const int ready = poll(watch, 2, remaining);
    if (ready <= 0) {
      continue;  // interrupted or timed out: the deadline is checked above
    }
    if (channelOpen && (watch[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = read(channel[0], buffer, sizeof buffer);
      if (n <= 0) {
        channelOpen = false;
      } else {
        received.append(buffer, static_cast<std::size_t>(n));
      }
    }
    if (errorsOpen && (watch[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = read(errors[0], buffer, sizeof buffer);
      if (n <= 0) {
        errorsOpen = false;
      } else {
        errorOutput.append(buffer, static_cast<std::size_t>(n));
        if (errorOutput.size() > 2 * kKeptErrorOutput) {
          errorOutput.erase(0, errorOutput.size() - kKeptErrorOutput);
        }
      }
    }
  }
  close(channel[0]);
  close(errors[0]);
  if (timedOut) {
    kill(child, SIGKILL);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  Outcome outcome;
  std::string lastStep;
  const bool complete = decodeMessages(received, outcome, lastStep);
  const std::string during = lastStep.empty() ? "" : " during: " + lastStep;
  if (timedOut) {
    outcome = Outcome{};
    outcome.reason = "did not finish within " + std::to_string(static_cast<int>(timeoutSeconds)) +
                     " s (hangs?)" + during;
  } else if (WIFSIGNALED(status)) {
    outcome = Outcome{};
    outcome.reason = "crashed with signal " + std::to_string(WTERMSIG(status)) + " (" +
                     strsignal(WTERMSIG(status)) + ")" + during;
  } else if (!complete) {
    outcome = Outcome{};
    outcome.reason = "the check's process ended with exit status " +
                     std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                     " before reporting" + during;
  }
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (outcome.status == Status::fail) {
    for (const std::string& line : lastLines(errorOutput, 4)) {
      outcome.notes.push_back("plug-in's error output: " + line);
    }
  }
  return outcome;
}

void endAfterFatalReport() {
  _exit(kEndedEarlyExitStatus);
}

void writeUnbuffered(int stream, const char* data, std::size_t size) {
  const int fd = stream == 2 ? STDERR_FILENO : STDOUT_FILENO;
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace plughost::validate
