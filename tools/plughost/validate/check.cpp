#include "tools/plughost/validate/check.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace plughost::validate {

std::uint64_t Rng::next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double Rng::uniform() {
  return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

float Rng::uniformFloat(float low, float high) {
  const float value = low + static_cast<float>(uniform()) * (high - low);
  // Rounding can land on `high` itself; keep the interval half-open.
  return value < high ? value : low;
}

std::int64_t Rng::range(std::int64_t low, std::int64_t high) {
  const auto span = static_cast<std::uint64_t>(high - low) + 1;
  if (span == 0) {
    return static_cast<std::int64_t>(next());
  }
  return low + static_cast<std::int64_t>(next() % span);
}

std::uint64_t checkSeed(std::uint64_t runSeed, const std::string& checkName) {
  // FNV-1a of the name, then one splitmix step so that similar names give unrelated seeds.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : checkName) {
    hash = (hash ^ c) * 0x100000001b3ULL;
  }
  Rng mixer(runSeed ^ hash);
  return mixer.next();
}

void Findings::add(const std::string& problem) {
  if (count_++ < kKept) {
    kept_.push_back(problem);
  }
}

void Findings::throwIfAny(const std::string& what) const {
  if (count_ == 0) {
    return;
  }
  std::string reason = std::to_string(count_) + " " + what + ": ";
  for (std::size_t i = 0; i < kept_.size(); ++i) {
    reason += (i > 0 ? "; " : "") + kept_[i];
  }
  if (count_ > kKept) {
    reason += "; ...";
  }
  throw Failure(reason);
}

namespace {
TraceSink traceSink = nullptr;
}

void setTraceSink(TraceSink sink) {
  traceSink = sink;
}

void Context::trace(const std::string& step) {
  if (traceSink != nullptr) {
    traceSink(step);
  }
}

Context::Context(const RunOptions& options, const std::string& checkName)
    : options_(options), rng_(checkSeed(options.seed, checkName)) {}

int Context::scaled(int atLowest, int atHighest) const {
  return static_cast<int>(
      std::lround(scaled(static_cast<double>(atLowest), static_cast<double>(atHighest))));
}

double Context::scaled(double atLowest, double atHighest) const {
  const int level = std::clamp(options_.level, kLowestLevel, kHighestLevel);
  const double t =
      static_cast<double>(level - kLowestLevel) / static_cast<double>(kHighestLevel - kLowestLevel);
  return atLowest + (atHighest - atLowest) * t;
}

std::string fullName(const Check& check) {
  return std::string(check.area) + "." + check.name;
}

const char* statusWord(Status status, CheckKind kind) {
  switch (status) {
    case Status::pass:
      return kind == CheckKind::report ? "REPORT" : "PASS";
    case Status::skip:
      return "SKIP";
    case Status::fail:
      break;
  }
  return "FAIL";
}

unsigned formatBit(PluginFormat format) {
  switch (format) {
    case PluginFormat::lv2:
      return kLv2Plugins;
    case PluginFormat::vst3:
      return kVst3Plugins;
    case PluginFormat::vst2:
      break;
  }
  return kVst2Plugins;
}

std::string unmetNeeds(const Check& check, const Provisions& provisions) {
  if ((check.formats & formatBit(provisions.format)) == 0) {
    std::vector<const char*> names;
    for (PluginFormat format : {PluginFormat::vst2, PluginFormat::lv2, PluginFormat::vst3}) {
      if ((check.formats & formatBit(format)) != 0) {
        names.push_back(formatName(format));
      }
    }
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
      list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + std::string(names[i]);
    }
    return "applies to " + list + " plug-ins only";
  }
  if ((check.needs & kNeedsHostWindow) != 0 && !provisions.noHostWindow.empty()) {
    return "needs a host window: " + provisions.noHostWindow;
  }
  if ((check.needs & kNeedsCallCounting) != 0 && !provisions.noCallCounting.empty()) {
    return provisions.noCallCounting;
  }
  if ((check.needs & kNeedsTrueSpeed) != 0 && !provisions.noTrueSpeed.empty()) {
    return provisions.noTrueSpeed;
  }
  return {};
}

Outcome runInProcess(const Check& check, const RunOptions& options) {
  Outcome outcome;
  Context context(options, fullName(check));
  const auto started = std::chrono::steady_clock::now();
  try {
    outcome.reason = check.run(context);
    outcome.status = Status::pass;
  } catch (const Skipped& e) {
    outcome.status = Status::skip;
    outcome.reason = e.what();
  } catch (const std::exception& e) {
    // Failure, and the host's own errors (a library that will not load) alike.
    outcome.status = Status::fail;
    outcome.reason = e.what();
  } catch (...) {
    outcome.status = Status::fail;
    outcome.reason = "an exception that is not a std::exception came out of the plug-in";
  }
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  outcome.notes = context.notes();
  return outcome;
}

}  // namespace plughost::validate
