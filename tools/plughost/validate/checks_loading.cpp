// Loading: the library and its effects come and go as hosts make them, including the odd ways
// (many at once, a silent host, an old host, requests twice).
#include <algorithm>
#include <memory>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"

namespace plughost::validate {
namespace {

constexpr std::int32_t kBlock = 256;

// The output of a fresh effect for a fixed input, block by block: what every instance must give.
Channels referenceOutput(const PluginLibrary& library, const Channels& input) {
  Effect effect(library);
  effect.start(44100.0, kBlock);
  return render(effect, input, {kBlock}, {effect.preferredMode(), false});
}

std::string instantiate(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.start();
  return "'" + library.entryName() +
         "' gave a 'VstP' descriptor: " + std::to_string(effect->numInputs) + " in, " +
         std::to_string(effect->numOutputs) + " out, " + std::to_string(effect->numParams) +
         " parameters, " + std::to_string(effect->numPrograms) + " programs, flags " +
         std::to_string(effect->flags);
}

std::string repeatedLoad(Context& context) {
  const int cycles = context.scaled(5, 50);
  const Channels input = makeSignal(Signal::music, 2, kBlock * 4, 44100.0, context.rng().next());
  Channels first;
  AEffect firstDescriptor{};
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace("load " + std::to_string(cycle + 1));
    PluginLibrary library(context.plugin());
    Effect effect(library);
    effect.start(44100.0, kBlock);
    Channels in = input;
    in.resize(static_cast<std::size_t>(std::max(effect.inputs(), 1)), input[0]);
    Channels output = render(effect, in, {kBlock}, {effect.preferredMode(), false});
    if (cycle == 0) {
      first = output;
      firstDescriptor = *effect.get();
      continue;
    }
    const AEffect& d = *effect.get();
    requireThat(d.uniqueID == firstDescriptor.uniqueID &&
                    d.numParams == firstDescriptor.numParams &&
                    d.numPrograms == firstDescriptor.numPrograms &&
                    d.numInputs == firstDescriptor.numInputs &&
                    d.numOutputs == firstDescriptor.numOutputs && d.flags == firstDescriptor.flags,
                [&] {
                  return "load " + std::to_string(cycle + 1) +
                         " gave a descriptor unlike the first (ID, counts or flags differ)";
                });
    if (auto difference = firstDifference(first, output)) {
      throw Failure("load " + std::to_string(cycle + 1) +
                    " processed the same input differently from the first: " + *difference);
    }
  }
  return std::to_string(cycles) +
         " load/instantiate/process/close/unload cycles in one process: the same descriptor and "
         "the same output every time";
}

// Instances are created, run and closed in a seeded random interleaving; every instance's blocks
// must equal those of a lone instance, so no state is shared between them.
std::string manyInstances(Context& context) {
  const int count = context.scaled(8, 64);
  const int blocksEach = 6;
  PluginLibrary library(context.plugin());
  Channels input;
  {
    Effect probe(library);
    input = makeSignal(Signal::music, std::max(probe.inputs(), 1), kBlock * blocksEach, 44100.0,
                       context.rng().next());
  }
  const Channels reference = referenceOutput(library, input);

  struct Running {
    std::unique_ptr<Effect> effect;
    std::unique_ptr<BlockRunner> runner;
    Channels output;
    int blocksDone = 0;
    int number = 0;
  };
  std::vector<Running> alive;
  int created = 0;
  int peak = 0;
  long calls = 0;
  while (created < count || !alive.empty()) {
    const std::int64_t choice = context.rng().range(0, 9);
    if (created < count && (alive.empty() || choice < 3)) {
      Running r;
      r.effect = std::make_unique<Effect>(library);
      r.effect->start(44100.0, kBlock);
      r.runner = std::make_unique<BlockRunner>(*r.effect, kBlock,
                                               ProcessStyle{r.effect->preferredMode(), false});
      r.output = silence(r.effect->outputs(), kBlock * blocksEach);
      r.number = ++created;
      alive.push_back(std::move(r));
      peak = std::max(peak, static_cast<int>(alive.size()));
      continue;
    }
    const auto pick = static_cast<std::size_t>(
        context.rng().range(0, static_cast<std::int64_t>(alive.size()) - 1));
    Running& r = alive[pick];
    if (r.blocksDone < blocksEach) {
      r.runner->run(input, r.output, r.blocksDone * kBlock, kBlock);
      ++r.blocksDone;
      ++calls;
    } else if (choice >= 6 || created == count) {
      if (auto difference = firstDifference(reference, r.output)) {
        throw Failure("instance " + std::to_string(r.number) + " of " + std::to_string(count) +
                      " (with " + std::to_string(alive.size() - 1) +
                      " others alive) differs from a lone instance: " + *difference);
      }
      alive.erase(alive.begin() + static_cast<std::ptrdiff_t>(pick));
    }
  }
  return std::to_string(count) + " instances created, processed and closed interleaved (up to " +
         std::to_string(peak) + " alive at once, " + std::to_string(calls) +
         " process calls): each gave the output of a lone instance";
}

std::string versionZeroHostCheck(Context& context) {
  PluginLibrary library(context.plugin());
  // The descriptor is never attached to the host: the scope routes its calls there.
  HostCallbackRecorder::EntryScope scope(validatorHost(HostAnswers::versionZero));
  AEffect* effect = library.entry()(validatorCallback);
  if (effect != nullptr) {
    if (effect->magic == kEffectMagic && effect->dispatcher != nullptr) {
      effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    throw Failure("'" + library.entryName() +
                  "' returned an effect to a host that answered 0 to audioMasterVersion; the "
                  "convention is null for a host too old to ask");
  }
  return "'" + library.entryName() + "' returned null when the host answered version 0";
}

std::string silentHostCheck(Context& context) {
  PluginLibrary library(context.plugin());
  {
    // The descriptor is never attached to the host: the scope routes its calls there.
    HostCallbackRecorder::EntryScope scope(validatorHost(HostAnswers::silent));
    AEffect* raw = library.entry()(validatorCallback);
    if (raw == nullptr) {
      return "'" + library.entryName() +
             "' returned null to a host that answers 0 to everything (version 0 included)";
    }
    require(raw->magic == kEffectMagic, "the descriptor's magic is wrong under a silent host");
    raw->dispatcher(raw, effClose, 0, 0, nullptr, 0.0f);
  }
  // It made an effect: the whole life cycle must then work without any help from the host.
  Effect effect(library, HostAnswers::silent);
  effect.start();
  for (std::int32_t i = 0; i < std::min(effect->numParams, 64); ++i) {
    effect.setParameter(i, 0.75f);
    GuardedBuffer text(9);
    effect.dispatch(effGetParamDisplay, i, 0, text.data());
  }
  const Channels input =
      makeSignal(Signal::music, std::max(effect.inputs(), 1), 8192, 44100.0, context.rng().next());
  const Channels output = render(effect, input, {512}, {effect.preferredMode(), false});
  if (auto bad = firstNonFinite(output)) {
    throw Failure("under a host that answers 0 to everything: " + *bad);
  }
  return "made an effect although the host answered 0 to everything; it opened, took parameters "
         "and processed 8192 frames to finite output";
}

std::string openTwice(Context& context) {
  PluginLibrary library(context.plugin());
  Effect once(library);
  once.start(44100.0, 512);
  Effect twice(library);
  twice.dispatch(effOpen);
  twice.start(44100.0, 512);  // sends effOpen a second time
  const Channels input =
      makeSignal(Signal::music, std::max(once.inputs(), 1), 8192, 44100.0, context.rng().next());
  const Channels a = render(once, input, {512}, {once.preferredMode(), false});
  const Channels b = render(twice, input, {512}, {twice.preferredMode(), false});
  if (auto difference = firstDifference(a, b)) {
    throw Failure("an effect opened twice processes differently from one opened once: " +
                  *difference);
  }
  return "effOpen twice: no crash, and the same output as an effect opened once";
}

std::string mainsCycles(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.start(44100.0, 512);
  const int cycles = context.scaled(10, 200);
  const Channels input =
      makeSignal(Signal::music, std::max(effect.inputs(), 1), 512, 44100.0, context.rng().next());
  BlockRunner runner(effect, 512, {effect.preferredMode(), false});
  Channels output = silence(effect.outputs(), 512);
  int repeats = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    effect.setActive(false);
    if (context.rng().chance(0.2)) {
      effect.setActive(false);  // off twice
      ++repeats;
    }
    effect.setActive(true);
    if (context.rng().chance(0.2)) {
      effect.setActive(true);  // on twice
      ++repeats;
    }
    runner.run(input, output, 0, 512);
    if (auto bad = firstNonFinite(output)) {
      throw Failure("after off/on cycle " + std::to_string(cycle + 1) + ": " + *bad);
    }
  }
  return std::to_string(cycles) + " effMainsChanged off/on cycles with a block after each (" +
         std::to_string(repeats) + " of them sending off or on twice): output finite";
}

}  // namespace

std::vector<Check> loadingChecks() {
  return {
      {"loading", "instantiate", instantiate},
      {"loading", "repeated_load", repeatedLoad},
      {"loading", "many_instances", manyInstances},
      {"loading", "version_zero_host", versionZeroHostCheck},
      {"loading", "silent_host", silentHostCheck},
      {"loading", "open_twice", openTwice},
      {"loading", "mains_cycles", mainsCycles},
  };
}

}  // namespace plughost::validate
