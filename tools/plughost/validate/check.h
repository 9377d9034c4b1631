// The validator's check framework: named checks grouped by area, each run with its own seeded
// random generator and the chosen level, ending in a pass (with a one-line summary), a failure
// (with the reason) or a skip.
//
// A check function returns its pass summary and reports a failure by throwing Failure (require
// does that); Skipped marks a check that cannot run here (no window system, no editor, ...).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/plughost/plugin.h"

namespace plughost::validate {

constexpr int kLowestLevel = 1;
constexpr int kHighestLevel = 10;

// splitmix64: small, fast, and the same sequence on every platform and compiler, which is what
// makes a seed printed on one machine reproduce a failure on another.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // Uniform in [0, 1).
  double uniform();
  // Uniform in [low, high) as a float.
  float uniformFloat(float low, float high);
  // Uniform integer in [low, high], both included.
  std::int64_t range(std::int64_t low, std::int64_t high);
  bool chance(double probability) { return uniform() < probability; }

 private:
  std::uint64_t state_;
};

// The seed of one check: the run's seed mixed with the check's name, so each check sees the same
// numbers whether it runs alone (--only) or among all the others.
std::uint64_t checkSeed(std::uint64_t runSeed, const std::string& checkName);

struct RunOptions {
  std::filesystem::path plugin;
  int level = 5;
  std::uint64_t seed = 0;
};

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Skipped : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline void require(bool condition, const std::string& reason) {
  if (!condition) {
    throw Failure(reason);
  }
}

// For conditions tested in loops: the reason is only built when the condition fails.
template <typename MakeReason>
void requireThat(bool condition, MakeReason&& makeReason) {
  if (!condition) {
    throw Failure(makeReason());
  }
}

// Collects the problems of a check that keeps going after the first, and fails with the count and
// the first few.
class Findings {
 public:
  void add(const std::string& problem);
  int count() const { return count_; }
  // Throws Failure "<count> <what>: first; second; ..." when anything was added.
  void throwIfAny(const std::string& what) const;

 private:
  static constexpr int kKept = 4;
  int count_ = 0;
  std::vector<std::string> kept_;
};

class Context {
 public:
  Context(const RunOptions& options, const std::string& checkName);

  const std::filesystem::path& plugin() const { return options_.plugin; }
  int level() const { return options_.level; }
  std::uint64_t runSeed() const { return options_.seed; }
  Rng& rng() { return rng_; }

  // A count that grows with the level: `atLowest` at level 1, `atHighest` at level 10, in
  // between on a straight line (rounded).
  int scaled(int atLowest, int atHighest) const;
  double scaled(double atLowest, double atHighest) const;

  // What the check is about to do, kept so that a crash can say where it happened. Cheap enough
  // for every dispatcher call, too dear for every sample.
  void trace(const std::string& step);

  // Things worth knowing that are not failures (behaviour within what the interface allows,
  // measurements); shown under the check's line.
  void note(std::string text) { notes_.push_back(std::move(text)); }
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  RunOptions options_;
  Rng rng_;
  std::vector<std::string> notes_;
};

// Where Context::trace sends its steps: the runner's, or nowhere.
using TraceSink = void (*)(const std::string& step);
void setTraceSink(TraceSink sink);

using CheckFunction = std::string (*)(Context& context);

// What a check needs from where it runs, beyond the plug-in. The runner looks before the check
// starts and skips it, saying what is missing, where this run cannot give it. A check that only
// does more when something is there (a panel opened if a window can be made) asks for itself.
enum Need : unsigned {
  kNeedsNothing = 0,
  kNeedsHostWindow = 1u << 0,    // host windows to open the editor in (a window system)
  kNeedsCallCounting = 1u << 1,  // the plug-in's heap and lock calls counted (realtime_probe.h)
  // Process calls that run at the speed the plug-in's own code sets, for a verdict that compares
  // speeds: no sanitizer instrumenting the host's side of every call.
  kNeedsTrueSpeed = 1u << 2,
};

// A check gives a verdict. A report only measures, and its numbers are judged by nobody: it stays
// out of the count of passed, failed and skipped checks. Either fails when the plug-in breaks the
// interface while it runs (writes past a block, crashes), since that is the plug-in's fault
// whatever was being looked at.
enum class CheckKind { check, report };

// The formats a check applies to. Most work through the one plug-in interface and apply to every
// format; the checks of VST 2's own requests (its descriptor, dispatcher, odd hosts) to VST 2.
enum FormatSet : unsigned {
  kVst2Plugins = 1u << 0,
  kLv2Plugins = 1u << 1,
  kVst3Plugins = 1u << 2,
  kEveryFormat = kVst2Plugins | kLv2Plugins | kVst3Plugins,
};
unsigned formatBit(PluginFormat format);

struct Check {
  const char* area;
  const char* name;  // within the area; the full name is "area.name"
  CheckFunction run;
  unsigned needs = kNeedsNothing;
  CheckKind kind = CheckKind::check;
  unsigned formats = kEveryFormat;
};

// What this run can give the checks: each need met, or why not; and the plug-in's format.
struct Provisions {
  PluginFormat format = PluginFormat::vst2;
  std::string noHostWindow;    // empty: windows can be made
  std::string noCallCounting;  // empty: calls can be counted
  std::string noTrueSpeed;     // empty: speeds can be compared
};

// Why the check cannot run on this format or with these provisions ("applies to VST 2 plug-ins
// only"); empty when it can.
std::string unmetNeeds(const Check& check, const Provisions& provisions);

std::string fullName(const Check& check);

enum class Status { pass, fail, skip };

// "PASS", "FAIL", "SKIP"; a report that was made is "REPORT".
const char* statusWord(Status status, CheckKind kind = CheckKind::check);

struct Outcome {
  Status status = Status::fail;
  std::string reason;
  std::vector<std::string> notes;
  double seconds = 0.0;
};

// Runs one check in this process: exceptions become the outcome, nothing escapes.
Outcome runInProcess(const Check& check, const RunOptions& options);

}  // namespace plughost::validate
