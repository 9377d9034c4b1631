// Loading: plug-ins come and go as hosts make them, many at once and over and over, through the
// one plug-in interface; and a VST 2 library's entry point meets the odd hosts (a silent one, an
// old one) and requests twice.
#include <algorithm>
#include <memory>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"
#include "tools/plughost/vst2_plugin.h"

namespace plughost::validate {
namespace {

constexpr std::int32_t kBlock = 256;

// The output of a fresh plug-in for a fixed input, block by block: what every instance must give.
Channels referenceOutput(PluginSource& source, const Channels& input) {
  const std::unique_ptr<Plugin> plugin = source.start(44100.0, kBlock);
  return render(*plugin, input, {kBlock}, {plugin->preferredMode(), false});
}

std::string instantiate(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start();
  if (const Effect* effect = vst2Effect(*plugin)) {
    return "'" + source.library()->entryName() +
           "' gave a 'VstP' descriptor: " + std::to_string((*effect)->numInputs) + " in, " +
           std::to_string((*effect)->numOutputs) + " out, " + std::to_string((*effect)->numParams) +
           " parameters, " + std::to_string((*effect)->numPrograms) + " programs, flags " +
           std::to_string((*effect)->flags);
  }
  return std::string(formatName(plugin->format())) + " plug-in '" + plugin->name() +
         "' made and switched on: " + std::to_string(plugin->inputCount()) + " in, " +
         std::to_string(plugin->outputCount()) + " out, " +
         std::to_string(plugin->parameterCount()) + " parameters, " +
         std::to_string(plugin->programCount()) + " programs" +
         (plugin->editorRect() ? ", an editor" : ", no editor");
}

// What a host learns of a plug-in when it loads it; the same every time.
struct Identity {
  std::string name;
  int inputs = 0;
  int outputs = 0;
  int parameters = 0;
  int programs = 0;
  // VST 2's descriptor fields beyond the counts.
  std::int32_t uniqueID = 0;
  std::int32_t flags = 0;

  bool operator==(const Identity&) const = default;
};

Identity identityOf(Plugin& plugin) {
  Identity identity{plugin.name(), plugin.inputCount(), plugin.outputCount(),
                    plugin.parameterCount(), plugin.programCount()};
  if (const Effect* effect = vst2Effect(plugin)) {
    identity.uniqueID = (*effect)->uniqueID;
    identity.flags = (*effect)->flags;
  }
  return identity;
}

std::string repeatedLoad(Context& context) {
  const int cycles = context.scaled(5, 50);
  const Channels input = makeSignal(Signal::music, 2, kBlock * 4, 44100.0, context.rng().next());
  Channels first;
  Identity firstIdentity;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    context.trace("load " + std::to_string(cycle + 1));
    PluginSource source(context.plugin());
    const std::unique_ptr<Plugin> plugin = source.start(44100.0, kBlock);
    Channels in = input;
    in.resize(static_cast<std::size_t>(std::max(plugin->inputCount(), 1)), input[0]);
    Channels output = render(*plugin, in, {kBlock}, {plugin->preferredMode(), false});
    if (cycle == 0) {
      first = output;
      firstIdentity = identityOf(*plugin);
      continue;
    }
    requireThat(identityOf(*plugin) == firstIdentity, [&] {
      return "load " + std::to_string(cycle + 1) +
             " gave a descriptor unlike the first (name, ID, counts or flags differ)";
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
  PluginSource source(context.plugin());
  Channels input;
  {
    const std::unique_ptr<Plugin> probe = source.open();
    input = makeSignal(Signal::music, std::max(probe->inputCount(), 1), kBlock * blocksEach,
                       44100.0, context.rng().next());
  }
  const Channels reference = referenceOutput(source, input);

  struct Running {
    std::unique_ptr<Plugin> plugin;
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
      r.plugin = source.start(44100.0, kBlock);
      r.runner = std::make_unique<BlockRunner>(*r.plugin, kBlock,
                                               ProcessStyle{r.plugin->preferredMode(), false});
      r.output = silence(r.plugin->outputCount(), kBlock * blocksEach);
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
  Vst2Plugin view(effect);
  const Channels output = render(view, input, {512}, {effect.preferredMode(), false});
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
  Vst2Plugin onceView(once);
  Vst2Plugin twiceView(twice);
  const Channels a = render(onceView, input, {512}, {once.preferredMode(), false});
  const Channels b = render(twiceView, input, {512}, {twice.preferredMode(), false});
  if (auto difference = firstDifference(a, b)) {
    throw Failure("an effect opened twice processes differently from one opened once: " +
                  *difference);
  }
  return "effOpen twice: no crash, and the same output as an effect opened once";
}

std::string mainsCycles(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start(44100.0, 512);
  const int cycles = context.scaled(10, 200);
  const Channels input = makeSignal(Signal::music, std::max(plugin->inputCount(), 1), 512, 44100.0,
                                    context.rng().next());
  BlockRunner runner(*plugin, 512, {plugin->preferredMode(), false});
  Channels output = silence(plugin->outputCount(), 512);
  int repeats = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    plugin->setActive(false);
    if (context.rng().chance(0.2)) {
      plugin->setActive(false);  // off twice
      ++repeats;
    }
    plugin->setActive(true);
    if (context.rng().chance(0.2)) {
      plugin->setActive(true);  // on twice
      ++repeats;
    }
    runner.run(input, output, 0, 512);
    if (auto bad = firstNonFinite(output)) {
      throw Failure("after off/on cycle " + std::to_string(cycle + 1) + ": " + *bad);
    }
  }
  return std::to_string(cycles) + " " + requestWords(source.format()).switchOffOn +
         " cycles with a block after each (" + std::to_string(repeats) +
         " of them sending off or on twice): output finite";
}

}  // namespace

std::vector<Check> loadingChecks() {
  return {
      {"loading", "instantiate", instantiate},
      {"loading", "repeated_load", repeatedLoad},
      {"loading", "many_instances", manyInstances},
      {"loading", "version_zero_host", versionZeroHostCheck, kNeedsNothing, CheckKind::check,
       kVst2Plugins},
      {"loading", "silent_host", silentHostCheck, kNeedsNothing, CheckKind::check, kVst2Plugins},
      {"loading", "open_twice", openTwice, kNeedsNothing, CheckKind::check, kVst2Plugins},
      {"loading", "mains_cycles", mainsCycles},
  };
}

}  // namespace plughost::validate
