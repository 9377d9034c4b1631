// Threads: the host's audio thread, a thread that automates parameters and programs, and the
// user-interface thread all meet in one plug-in; and instances run in parallel on their own
// threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/editor_window.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"
#include "tools/plughost/vst2_plugin.h"

namespace plughost::validate {
namespace {

constexpr std::int32_t kBlock = 256;
constexpr std::size_t kParameterText = 9;

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The first problem any thread finds; the others stop at the next look.
class FirstProblem {
 public:
  void report(const std::string& problem) {
    std::lock_guard lock(mutex_);
    if (problem_.empty()) {
      problem_ = problem;
    }
    stop_.store(true);
  }
  bool stopped() const { return stop_.load(std::memory_order_relaxed); }
  void stop() { stop_.store(true); }
  void throwIfAny() const {
    std::lock_guard lock(mutex_);
    if (!problem_.empty()) {
      throw Failure(problem_);
    }
  }

 private:
  mutable std::mutex mutex_;
  std::string problem_;
  std::atomic<bool> stop_{false};
};

std::string processVsParameters(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> started = source.start(44100.0, kBlock);
  Plugin& plugin = *started;
  // VST 2's display texts go into the host's buffer, whose bounds are watched.
  Effect* effect = vst2Effect(plugin);
  const std::int32_t parameters = std::clamp(plugin.parameterCount(), 0, 64);
  const std::int32_t programs = std::clamp(plugin.programCount(), 0, 8);

  // Every value a reader may see: each program's own values, and what each written value reads
  // back as when nothing else is going on.
  std::vector<float> written = {0.0f, 0.125f, 0.25f, 0.5f, 0.75f, 1.0f};
  for (int i = context.scaled(2, 8); i > 0; --i) {
    written.push_back(context.rng().uniformFloat(0.0f, 1.0f));
  }
  std::vector<std::set<std::uint32_t>> allowed(static_cast<std::size_t>(parameters));
  for (std::int32_t p = 0; p < std::max(programs, 1); ++p) {
    if (programs > 0) {
      plugin.setProgram(p);
    }
    for (std::int32_t i = 0; i < parameters; ++i) {
      allowed[static_cast<std::size_t>(i)].insert(bitsOf(plugin.parameter(i)));
    }
  }
  for (float value : written) {
    for (std::int32_t i = 0; i < parameters; ++i) {
      plugin.setParameter(i, value);
      allowed[static_cast<std::size_t>(i)].insert(bitsOf(plugin.parameter(i)));
    }
  }

  FirstProblem problem;
  std::atomic<long> blocks{0};
  std::atomic<long> writes{0};
  std::atomic<long> reads{0};
  const Channels input =
      makeSignal(Signal::music, std::max(plugin.inputCount(), 1), kBlock, 44100.0, 5);
  auto readAndCheck = [&](Rng& rng, GuardedBuffer& text) {
    if (parameters == 0) {
      return;
    }
    const auto i = static_cast<std::int32_t>(rng.range(0, parameters - 1));
    const float value = plugin.parameter(i);
    reads.fetch_add(1, std::memory_order_relaxed);
    if (allowed[static_cast<std::size_t>(i)].count(bitsOf(value)) == 0) {
      problem.report("parameter " + std::to_string(i) + " read as " + floatText(value) +
                     ", a value never written (torn or invented)");
    }
    if (effect == nullptr) {
      plugin.parameterDisplay(i);
      return;
    }
    text.reset(kParameterText);
    effect->dispatch(effGetParamDisplay, i, 0, text.data());
    if (auto damage = text.damage()) {
      problem.report("display of parameter " + std::to_string(i) +
                     " while other threads run: " + *damage);
    }
  };

  std::thread audio([&] {
    try {
      BlockRunner runner(plugin, kBlock, {plugin.preferredMode(), false});
      Channels output = silence(plugin.outputCount(), kBlock);
      while (!problem.stopped()) {
        runner.run(input, output, 0, kBlock);
        blocks.fetch_add(1, std::memory_order_relaxed);
        if (auto bad = firstNonFinite(output)) {
          problem.report("audio thread, block " + std::to_string(blocks.load()) + ": " + *bad);
        }
      }
    } catch (const std::exception& e) {
      problem.report(std::string("audio thread: ") + e.what());
    }
  });
  std::thread automation([&, seed = context.rng().next()] {
    Rng rng(seed);
    GuardedBuffer text;
    while (!problem.stopped()) {
      const std::int64_t what = rng.range(0, 19);
      if (what < 12 && parameters > 0) {
        plugin.setParameter(static_cast<std::int32_t>(rng.range(0, parameters - 1)),
                            written[static_cast<std::size_t>(
                                rng.range(0, static_cast<std::int64_t>(written.size()) - 1))]);
        writes.fetch_add(1, std::memory_order_relaxed);
      } else if (what < 15 && programs > 1) {
        plugin.setProgram(static_cast<std::int32_t>(rng.range(0, programs - 1)));
      } else {
        readAndCheck(rng, text);
      }
    }
  });

  // This thread is the user interface: the editor's idle where there is a panel, otherwise a
  // reader of values and texts. Only VST 2 lets other threads change what an open panel shows;
  // the other formats' panels hear of changes on their own thread.
  const auto duration = std::chrono::duration<double>(context.scaled(0.3, 4.0));
  std::string interfaceRole = "read values and texts";
  try {
    std::unique_ptr<OpenEditor> panel;
    if (EditorHostWindow::supported() && effect != nullptr &&
        ((*effect)->flags & effFlagsHasEditor) != 0) {
      panel = std::make_unique<OpenEditor>(plugin);
      interfaceRole = "ran editor idle with the panel open";
    }
    // Timed from here: opening a panel can take most of a short run on a loaded machine (Wine
    // especially), and the threads must meet for the whole duration.
    const auto end = std::chrono::steady_clock::now() + duration;
    Rng rng(context.rng().next());
    GuardedBuffer text;
    long idles = 0;
    while (!problem.stopped() && std::chrono::steady_clock::now() < end) {
      if (panel) {
        panel->idle();
        ++idles;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      readAndCheck(rng, text);
    }
    if (panel) {
      interfaceRole += " (" + std::to_string(idles) + " idles)";
    }
    problem.stop();
  } catch (const std::exception& e) {
    problem.report(std::string("interface thread: ") + e.what());
  }
  audio.join();
  automation.join();
  problem.throwIfAny();
  char seconds[16];
  std::snprintf(seconds, sizeof seconds, "%.1f", duration.count());
  return "for " + std::string(seconds) + " s: " + std::to_string(blocks.load()) +
         " blocks processed on one thread while another made " + std::to_string(writes.load()) +
         " parameter writes, program switches and text requests, and a third " + interfaceRole +
         "; " + std::to_string(reads.load()) +
         " values read, each one that was written; output finite";
}

std::string parallelInstances(Context& context) {
  PluginSource source(context.plugin());
  const int threads = context.level() < 5 ? 2 : 4;
  const std::int32_t total = context.scaled(16384, 131072);
  Channels input;
  Channels reference;
  {
    const std::unique_ptr<Plugin> plugin = source.start(44100.0, 1024);
    input = makeSignal(Signal::music, std::max(plugin->inputCount(), 1), total, 44100.0,
                       context.rng().next());
    reference = render(*plugin, input, {1024}, {plugin->preferredMode(), false});
  }
  std::vector<std::unique_ptr<Plugin>> plugins;
  plugins.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) {
    plugins.push_back(source.start(44100.0, 1024));
  }
  FirstProblem problem;
  std::vector<Channels> outputs(static_cast<std::size_t>(threads));
  std::vector<std::thread> running;
  running.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      try {
        Plugin& plugin = *plugins[static_cast<std::size_t>(t)];
        outputs[static_cast<std::size_t>(t)] =
            render(plugin, input, {1024}, {plugin.preferredMode(), false});
      } catch (const std::exception& e) {
        problem.report("thread " + std::to_string(t) + ": " + e.what());
      }
    });
  }
  for (std::thread& t : running) {
    t.join();
  }
  problem.throwIfAny();
  for (int t = 0; t < threads; ++t) {
    if (auto difference = firstDifference(reference, outputs[static_cast<std::size_t>(t)])) {
      throw Failure(
          "instance " + std::to_string(t + 1) + " of " + std::to_string(threads) +
          " processing at the same time on its own thread differs from a lone one: " + *difference);
    }
  }
  return std::to_string(threads) + " instances processing " + std::to_string(total) +
         " frames at the same time, each on its own thread: bit-identical to a lone instance";
}

}  // namespace

std::vector<Check> threadChecks() {
  return {
      {"threads", "process_vs_parameters", processVsParameters},
      {"threads", "parallel_instances", parallelInstances},
  };
}

}  // namespace plughost::validate
