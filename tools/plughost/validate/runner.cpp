#include "tools/plughost/validate/runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/isolation.h"
#include "tools/plughost/validate/realtime_probe.h"

namespace plughost::validate {
namespace {

constexpr const char* kGateCheck = "loading.instantiate";

using Entries = std::vector<std::pair<const Check*, Outcome>>;

// What ended a run early.
enum class Cause { crash, hang };
constexpr int kCauses = 2;

const char* causeWord(Cause cause) {
  return cause == Cause::crash ? "crashed" : "hung";
}

// The fatal path's output, split where what is only known then goes: the crashed check's reason
// and seconds.
struct Ending {
  std::string head;
  std::string middle;
  std::string tail;
};

// What a crash or hang report needs, prepared before each check that runs in this process while
// the heap can still be trusted: a plug-in that crashes may have wrecked it, so the fatal path
// only copies bytes out.
struct RunState {
  const ValidateOptions* options = nullptr;
  std::ostream* out = nullptr;
  bool outIsStandardOutput = false;
  const Check* current = nullptr;
  std::string currentName;
  int notRun = 0;  // the selected checks after the current one
  std::chrono::steady_clock::time_point started;
  Ending endings[kCauses];
  Entries done;
  Tally tally;
};
RunState state;

// In this process, the last step of the running check, for a crash report.
std::string lastStep;
void keepStep(const std::string& step) {
  lastStep = step;
}

// Stand-ins for what only the fatal path knows, cut out of the prepared report. Plain ASCII that
// JSON keeps as it is; no check's name or note contains them.
constexpr const char* kReasonMark = "@@plughost:fatal-reason@@";
constexpr const char* kSecondsMark = "@@plughost:fatal-seconds@@";

const char* statusName(const Check& check, Status status) {
  switch (status) {
    case Status::pass:
      return check.kind == CheckKind::report ? "done" : "pass";
    case Status::skip:
      return "skip";
    case Status::fail:
      break;
  }
  return "fail";
}

nlohmann::json outcomeJson(const Check& check, const Outcome& outcome) {
  nlohmann::json entry;
  entry["name"] = fullName(check);
  entry["area"] = check.area;
  entry["status"] = statusName(check, outcome.status);
  entry["reason"] = outcome.reason;
  entry["notes"] = outcome.notes;
  entry["seconds"] = outcome.seconds;
  return entry;
}

// `endedBy` and `cause`: the check that ended the run, when one did.
nlohmann::json reportDocument(const ValidateOptions& options, const Entries& entries,
                              const Tally& tally, const std::string& endedBy, Cause cause) {
  nlohmann::json document;
  document["plugin"] = options.plugin.string();
  document["format"] = formatName(referenceFormat(options.plugin));
  document["level"] = options.level;
  document["seed"] = options.seed;
  document["checks"] = nlohmann::json::array();
  document["reports"] = nlohmann::json::array();
  for (const auto& [check, outcome] : entries) {
    document[check->kind == CheckKind::report ? "reports" : "checks"].push_back(
        outcomeJson(*check, outcome));
  }
  document["passed"] = tally.passed;
  document["failed"] = tally.failed;
  document["skipped"] = tally.skipped;
  if (endedBy.empty()) {
    document["ended_early"] = nullptr;
  } else {
    document["ended_early"] = {{"check", endedBy}, {"cause", causeWord(cause)}};
  }
  return document;
}

std::string dumped(const nlohmann::json& document) {
  // A plug-in's texts (its error output in a failure's notes) need not be UTF-8; the report must
  // still come out whole.
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string reproduceText(const Check& check, const ValidateOptions& options) {
  return " [reproduce: --level " + std::to_string(options.level) + " --seed " +
         std::to_string(options.seed) + " --only " + fullName(check) + "]";
}

void printLine(std::ostream& out, const ValidateOptions& options, const Check& check,
               const Outcome& outcome) {
  if (!options.json) {
    out << checkLine(check, outcome, options) << std::endl;
  }
}

Outcome notRun(const std::string& endedBy, Cause cause) {
  Outcome outcome;
  outcome.status = Status::skip;
  outcome.reason = "did not run: " + endedBy + " " + causeWord(cause) + ", which ended the run";
  return outcome;
}

// Cuts `text` at the first `mark` (taken out, and with it `around` characters on each side).
std::pair<std::string, std::string> cutAt(const std::string& text, const std::string& mark,
                                          std::size_t around) {
  const std::size_t at = text.find(mark);
  if (at == std::string::npos || at < around) {
    return {text, {}};
  }
  return {text.substr(0, at - around), text.substr(at + mark.size() + around)};
}

// The report as it will read if the check at `index` of `selected` crashes or hangs this
// process: the run so far, that check failed, the rest not run.
void prepareEndings(const std::vector<Check>& selected, std::size_t index) {
  const ValidateOptions& options = *state.options;
  const Check& check = selected[index];
  state.currentName = fullName(check);
  state.notRun = static_cast<int>(selected.size() - index - 1);
  for (int c = 0; c < kCauses; ++c) {
    const auto cause = static_cast<Cause>(c);
    Entries entries = state.done;
    Tally tally = state.tally;
    Outcome failed;
    failed.status = Status::fail;
    failed.reason = kReasonMark;
    entries.emplace_back(&check, failed);
    tally.add(check.kind, Status::fail);
    for (std::size_t i = index + 1; i < selected.size(); ++i) {
      entries.emplace_back(&selected[i], notRun(state.currentName, cause));
      tally.add(selected[i].kind, Status::skip);
    }
    std::string text;
    std::size_t secondsQuotes = 0;
    if (options.json) {
      nlohmann::json document = reportDocument(options, entries, tally, state.currentName, cause);
      for (auto& entry : document[check.kind == CheckKind::report ? "reports" : "checks"]) {
        if (entry["name"] == state.currentName) {
          entry["seconds"] = kSecondsMark;  // a number in the end: the quotes go with the mark
          secondsQuotes = 1;
        }
      }
      text = dumped(document);
    } else {
      text = std::string(statusWord(Status::fail, check.kind)) + " " + state.currentName + ": " +
             kReasonMark + reproduceText(check, options) + " (" + kSecondsMark + " s)\n";
      for (std::size_t i = index + 1; i < selected.size(); ++i) {
        text += checkLine(selected[i], notRun(state.currentName, cause), options) + "\n";
      }
      text += summaryLine(tally, state.currentName + " " + causeWord(cause)) + "\n";
    }
    // The object's keys are sorted: the reason comes before the seconds.
    auto [head, rest] = cutAt(text, kReasonMark, 0);
    auto [middle, tail] = cutAt(rest, kSecondsMark, secondsQuotes);
    state.endings[c] = {std::move(head), std::move(middle), std::move(tail)};
  }
  state.started = std::chrono::steady_clock::now();
}

// ---- The fatal path: no allocation from here to the end of writeEnding ------------------------

void emit(const char* data, std::size_t size) {
  if (state.outIsStandardOutput) {
    writeUnbuffered(1, data, size);
  } else {
    state.out->write(data, static_cast<std::streamsize>(size));
  }
}

void emit(const std::string& text) {
  emit(text.data(), text.size());
}

// The reason's bytes as the inside of a JSON string, or as they are in text.
void emitReasonPart(const char* text, std::size_t size, bool json) {
  if (!json) {
    emit(text, size);
    return;
  }
  char buffer[256];
  std::size_t used = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (used + 8 > sizeof buffer) {
      emit(buffer, used);
      used = 0;
    }
    if (c == '"' || c == '\\') {
      buffer[used++] = '\\';
      buffer[used++] = static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      // Not knowing whether a plug-in's bytes are UTF-8, each stands for itself (as Latin-1).
      used += static_cast<std::size_t>(
          std::snprintf(buffer + used, sizeof buffer - used, "\\u%04x", static_cast<unsigned>(c)));
    } else {
      buffer[used++] = static_cast<char>(c);
    }
  }
  emit(buffer, used);
}

void writeEnding(Cause cause, const char* what) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - state.started).count();
  // First the line that says what happened, in case writing the report fails too.
  char line[512];
  const int length =
      std::snprintf(line, sizeof line,
                    "plughost validate: %s: %s; the run ended there, %d checks after it did not "
                    "run\n",
                    state.currentName.c_str(), what, state.notRun);
  if (length > 0) {
    writeUnbuffered(2, line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
  }
  const Ending& ending = state.endings[static_cast<int>(cause)];
  const bool json = state.options->json;
  emit(ending.head);
  emitReasonPart(what, std::char_traits<char>::length(what), json);
  if (!lastStep.empty()) {
    emitReasonPart(" during: ", 9, json);
    emitReasonPart(lastStep.data(), lastStep.size(), json);
  }
  emit(ending.middle);
  char number[32];
  const int digits = std::snprintf(number, sizeof number, json ? "%.6f" : "%.2f", seconds);
  if (digits > 0) {
    emit(number, static_cast<std::size_t>(digits));
  }
  emit(ending.tail);
  if (!state.outIsStandardOutput) {
    state.out->flush();
  }
}

// 0 before any fatal report, 1 while one is written, 2 once it is.
std::atomic<int> fatalProgress{0};

// A crash or hang of the running check, in this process: the rest of the report, then the end
// (by the caller). A second call, from a fault on another thread or inside the report itself,
// waits a little for the first to finish and leaves the writing to it.
void endRun(Cause cause, const char* what) {
  int expected = 0;
  if (!fatalProgress.compare_exchange_strong(expected, 1)) {
    for (int i = 0; i < 200 && fatalProgress.load() != 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return;
  }
  if (state.current == nullptr || state.out == nullptr) {
    char line[256];
    const int length = std::snprintf(
        line, sizeof line, "plughost validate: %s outside any check; the run ended\n", what);
    if (length > 0) {
      writeUnbuffered(2, line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
    }
  } else {
    writeEnding(cause, what);
  }
  fatalProgress.store(2);
}

void reportCrash(const char* what) {
  endRun(Cause::crash, what);
}

// Ends the process when a check in this process runs past its time.
class Watchdog {
 public:
  explicit Watchdog(double seconds) : thread_([this, seconds] { watch(seconds); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  void watch(double seconds) {
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, std::chrono::duration<double>(seconds),
                        [this] { return finished_; })) {
      char what[64];
      std::snprintf(what, sizeof what, "did not finish within %d s (hangs?)",
                    static_cast<int>(seconds));
      endRun(Cause::hang, what);
      endAfterFatalReport();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace

void Tally::add(CheckKind kind, Status status) {
  if (kind == CheckKind::report) {
    (status == Status::pass   ? reportsMade
     : status == Status::fail ? reportsFailed
                              : reportsSkipped) += 1;
  } else {
    (status == Status::pass ? passed : status == Status::fail ? failed : skipped) += 1;
  }
}

Provisions provisionsHere() {
  Provisions provisions;
  provisions.noHostWindow = EditorHostWindow::whyNoWindows();
  std::string whyNot;
  if (!probe::available(whyNot)) {
    provisions.noCallCounting = whyNot.empty() ? "calls cannot be counted here" : whyNot;
  }
#if PLUGHOST_SANITIZED
  provisions.noTrueSpeed =
      "this build runs under a sanitizer, whose instrumentation distorts speed comparisons";
#endif
  return provisions;
}

std::vector<Check> allChecks() {
  std::vector<Check> checks;
  for (auto area : {loadingChecks, descriptorChecks, dispatcherChecks, parameterChecks,
                    processingChecks, threadChecks, editorChecks, realtimeChecks, timingChecks}) {
    for (const Check& check : area()) {
      checks.push_back(check);
    }
  }
  return checks;
}

bool selects(const std::string& pattern, const Check& check) {
  return pattern == fullName(check) || pattern == check.area;
}

std::string checkLine(const Check& check, const Outcome& outcome, const ValidateOptions& options) {
  std::ostringstream line;
  line << statusWord(outcome.status, check.kind) << ' ' << fullName(check) << ": "
       << outcome.reason;
  if (outcome.status == Status::fail) {
    line << reproduceText(check, options);
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " (%.2f s)", outcome.seconds);
  line << seconds;
  for (const std::string& note : outcome.notes) {
    line << "\n     " << note;
  }
  return line.str();
}

std::string summaryLine(const Tally& tally, const std::string& endedBy) {
  std::string line =
      std::to_string(tally.passed) + " passed, " + std::to_string(tally.failed) + " failed";
  if (tally.skipped > 0) {
    line += ", " + std::to_string(tally.skipped) + " skipped";
  }
  std::string reports;
  for (const auto& [count, word] :
       {std::pair{tally.reportsMade, "made"}, std::pair{tally.reportsFailed, "failed"},
        std::pair{tally.reportsSkipped, "skipped"}}) {
    if (count > 0) {
      reports += (reports.empty() ? "" : ", ") + std::to_string(count) + " " + word;
    }
  }
  if (!reports.empty()) {
    line += "; reports: " + reports;
  }
  if (!endedBy.empty()) {
    line += "; the run ended early: " + endedBy;
  }
  return line;
}

int runValidation(const ValidateOptions& options, std::ostream& out) {
  std::vector<Check> selected;
  for (const Check& check : allChecks()) {
    const bool wanted =
        options.only.empty() || std::any_of(options.only.begin(), options.only.end(),
                                            [&](const auto& p) { return selects(p, check); });
    const bool unwanted = std::any_of(options.skip.begin(), options.skip.end(),
                                      [&](const auto& p) { return selects(p, check); });
    if (wanted && !unwanted) {
      selected.push_back(check);
    }
  }

  state = RunState{};
  state.options = &options;
  state.out = &out;
  state.outIsStandardOutput = &out == &std::cout;
  const bool isolate = options.isolate && canIsolate();
  if (!isolate) {
    installFatalHandlers(reportCrash);
    setTraceSink(keepStep);
  }
  if (!options.json) {
    const auto reports = std::count_if(selected.begin(), selected.end(), [](const Check& check) {
      return check.kind == CheckKind::report;
    });
    out << "plughost validate " << options.plugin.string() << " ("
        << formatName(referenceFormat(options.plugin)) << "): level " << options.level << ", seed "
        << options.seed << ", " << static_cast<std::ptrdiff_t>(selected.size()) - reports
        << " checks";
    if (reports > 0) {
      out << " and " << reports << (reports == 1 ? " report" : " reports");
    }
    out << (isolate ? ", each in a child process" : "") << std::endl;
  }

  Provisions provisions = provisionsHere();
  provisions.format = referenceFormat(options.plugin);
  bool gateFailed = false;
  for (std::size_t i = 0; i < selected.size(); ++i) {
    const Check& check = selected[i];
    Outcome outcome;
    const std::string unmet = unmetNeeds(check, provisions);
    if (gateFailed) {
      outcome.status = Status::skip;
      outcome.reason = std::string("no effect to check (") + kGateCheck + " failed)";
    } else if (!unmet.empty()) {
      outcome.status = Status::skip;
      outcome.reason = unmet;
    } else if (isolate) {
      outcome = runIsolated(check, options, options.timeoutSeconds);
    } else {
      prepareEndings(selected, i);
      lastStep.clear();
      state.current = &check;
      Watchdog watchdog(options.timeoutSeconds);
      outcome = runInProcess(check, options);
      state.current = nullptr;
    }
    if (fullName(check) == kGateCheck && outcome.status == Status::fail) {
      gateFailed = true;
    }
    printLine(out, options, check, outcome);
    state.done.emplace_back(&check, outcome);
    state.tally.add(check.kind, outcome.status);
  }
  if (options.json) {
    out << dumped(reportDocument(options, state.done, state.tally, {}, Cause::crash));
  } else {
    out << summaryLine(state.tally) << '\n';
  }
  out.flush();
  return state.tally.anyFailed() ? kExitSomeFailed : kExitAllPassed;
}

}  // namespace plughost::validate
