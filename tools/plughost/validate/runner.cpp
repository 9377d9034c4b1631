#include "tools/plughost/validate/runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/isolation.h"
#include "tools/plughost/validate/realtime_probe.h"

namespace plughost::validate {
namespace {

constexpr const char* kGateCheck = "loading.instantiate";

struct Tally {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
  void add(Status status) {
    (status == Status::pass ? passed : status == Status::fail ? failed : skipped) += 1;
  }
};

// What a crash or hang report needs: the run so far. Written between checks only.
struct RunState {
  const ValidateOptions* options = nullptr;
  std::ostream* out = nullptr;
  const Check* current = nullptr;
  std::vector<std::pair<const Check*, Outcome>> done;
  Tally tally;
};
RunState state;

// In this process, the last step of the running check, for a crash report.
std::string lastStep;
void keepStep(const std::string& step) {
  lastStep = step;
}

nlohmann::json outcomeJson(const Check& check, const Outcome& outcome) {
  nlohmann::json entry;
  entry["name"] = fullName(check);
  entry["area"] = check.area;
  entry["status"] = outcome.status == Status::pass   ? "pass"
                    : outcome.status == Status::fail ? "fail"
                                                     : "skip";
  entry["reason"] = outcome.reason;
  entry["notes"] = outcome.notes;
  entry["seconds"] = outcome.seconds;
  return entry;
}

void printReport(std::ostream& out, const ValidateOptions& options,
                 const std::vector<std::pair<const Check*, Outcome>>& done, const Tally& tally) {
  if (!options.json) {
    out << summaryLine(tally.passed, tally.failed, tally.skipped) << std::endl;
    return;
  }
  nlohmann::json document;
  document["plugin"] = options.plugin.string();
  document["level"] = options.level;
  document["seed"] = options.seed;
  document["checks"] = nlohmann::json::array();
  for (const auto& [check, outcome] : done) {
    document["checks"].push_back(outcomeJson(*check, outcome));
  }
  document["passed"] = tally.passed;
  document["failed"] = tally.failed;
  document["skipped"] = tally.skipped;
  out << document.dump(2) << std::endl;
}

void printLine(std::ostream& out, const ValidateOptions& options, const Check& check,
               const Outcome& outcome) {
  if (!options.json) {
    out << checkLine(check, outcome, options) << std::endl;
  }
}

// Crash or hang of the running check, in this process: its failure and the summary, then the end.
void reportFatal(const char* what) {
  if (state.current == nullptr || state.out == nullptr) {
    return;
  }
  Outcome outcome;
  outcome.status = Status::fail;
  outcome.reason = std::string(what) + (lastStep.empty() ? "" : " during: " + lastStep) +
                   "; the checks after it did not run";
  printLine(*state.out, *state.options, *state.current, outcome);
  state.done.emplace_back(state.current, outcome);
  state.tally.add(Status::fail);
  printReport(*state.out, *state.options, state.done, state.tally);
  state.out->flush();
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
      const std::string what =
          "did not finish within " + std::to_string(static_cast<int>(seconds)) + " s (hangs?)";
      reportFatal(what.c_str());
      endAfterFatalReport();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace

Provisions provisionsHere() {
  Provisions provisions;
  provisions.noHostWindow = EditorHostWindow::whyNoWindows();
  std::string whyNot;
  if (!probe::available(whyNot)) {
    provisions.noCallCounting = whyNot.empty() ? "calls cannot be counted here" : whyNot;
  }
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
  line << statusWord(outcome.status) << ' ' << fullName(check) << ": " << outcome.reason;
  if (outcome.status == Status::fail) {
    line << " [reproduce: --level " << options.level << " --seed " << options.seed << " --only "
         << fullName(check) << "]";
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " (%.2f s)", outcome.seconds);
  line << seconds;
  for (const std::string& note : outcome.notes) {
    line << "\n     " << note;
  }
  return line.str();
}

std::string summaryLine(int passed, int failed, int skipped) {
  std::string line = std::to_string(passed) + " passed, " + std::to_string(failed) + " failed";
  if (skipped > 0) {
    line += ", " + std::to_string(skipped) + " skipped";
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
  const bool isolate = options.isolate && canIsolate();
  if (!isolate) {
    installFatalHandlers(reportFatal);
    setTraceSink(keepStep);
  }
  if (!options.json) {
    out << "plughost validate " << options.plugin.string() << ": level " << options.level
        << ", seed " << options.seed << ", " << selected.size() << " checks"
        << (isolate ? ", each in a child process" : "") << std::endl;
  }

  const Provisions provisions = provisionsHere();
  bool gateFailed = false;
  for (const Check& check : selected) {
    state.current = &check;
    lastStep.clear();
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
      Watchdog watchdog(options.timeoutSeconds);
      outcome = runInProcess(check, options);
    }
    if (fullName(check) == kGateCheck && outcome.status == Status::fail) {
      gateFailed = true;
    }
    printLine(out, options, check, outcome);
    state.done.emplace_back(&check, outcome);
    state.tally.add(outcome.status);
  }
  state.current = nullptr;
  printReport(out, options, state.done, state.tally);
  return state.tally.failed == 0 ? 0 : 1;
}

}  // namespace plughost::validate
