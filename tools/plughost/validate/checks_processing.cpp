// Processing: any block size, any sample rate, any signal, the two process entries and in-place
// buffers. The comparisons are bit for bit: an effect that processes the same input gives the
// same output however the host cuts it into blocks and hands it buffers.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"

namespace plughost::validate {
namespace {

constexpr std::int32_t kReferenceBlock = 512;
constexpr std::int32_t kBlockSizes[] = {0,   1,   2,    3,    7,    10,    17,   64,
                                        511, 512, 1536, 2027, 4096, 16384, 65536};
constexpr double kSampleRates[] = {8000.0,   11025.0,  16000.0,  22050.0,  32000.0,  44100.0,
                                   48000.0,  88200.0,  96000.0,  176400.0, 192000.0, 352800.0,
                                   384000.0, 705600.0, 768000.0, 1234.5678};

std::unique_ptr<Plugin> fresh(PluginSource& source, double rate, std::int32_t announce) {
  return source.start(rate, announce);
}

Channels inputFor(PluginSource& source, Signal signal, std::int32_t frames, double rate,
                  std::uint64_t seed) {
  const std::unique_ptr<Plugin> probe = source.open();
  return makeSignal(signal, std::max(probe->inputCount(), 1), frames, rate, seed);
}

Channels renderFresh(PluginSource& source, const Channels& input,
                     const std::vector<std::int32_t>& blocks, std::int32_t announce,
                     bool inPlace = false, double rate = 44100.0) {
  auto plugin = fresh(source, rate, announce);
  return render(*plugin, input, blocks, {plugin->preferredMode(), inPlace});
}

// Frames by which the output lags the input: VST 2's initialDelay. The interface tells no
// latency of other formats, so theirs is taken as none.
std::int32_t latency(Plugin& plugin) {
  const Effect* effect = vst2Effect(plugin);
  return effect != nullptr ? std::max((*effect)->initialDelay, 0) : 0;
}

std::string blockList(const std::vector<std::int32_t>& blocks) {
  std::string text;
  for (std::size_t i = 0; i < blocks.size() && i < 8; ++i) {
    if (i > 0) {
      text += ',';
    }
    text += std::to_string(blocks[i]);
  }
  return text + (blocks.size() > 8 ? ",..." : "");
}

std::string blockSizes(Context& context) {
  PluginSource source(context.plugin());
  const std::int32_t total = context.scaled(65536 + 1234, 2 * 65536 + 1234);
  const Channels input = inputFor(source, Signal::music, total, 44100.0, context.rng().next());
  const Channels reference = renderFresh(source, input, {kReferenceBlock}, kReferenceBlock);
  Findings findings;
  for (std::int32_t size : kBlockSizes) {
    // Empty calls go between ordinary blocks: they must change nothing.
    const std::vector<std::int32_t> blocks =
        size == 0 ? std::vector<std::int32_t>{0, kReferenceBlock, 0, 0, kReferenceBlock}
                  : std::vector<std::int32_t>{size};
    context.trace("blocks of " + std::to_string(size) + " frames");
    const Channels output = renderFresh(source, input, blocks, size == 0 ? kReferenceBlock : size);
    if (auto difference = firstDifference(reference, output)) {
      findings.add("blocks of " + std::to_string(size) + " differ from blocks of " +
                   std::to_string(kReferenceBlock) + ": " + *difference);
    }
  }
  findings.throwIfAny("block sizes give different output");
  return std::to_string(total) +
         " frames in blocks of 0 (between others), 1, 2, 3, 7, 10, 17, 64, "
         "511, 512, 1536, 2027, 4096, 16384 and 65536 frames, each announced: all bit-identical";
}

std::vector<std::int32_t> randomBlocks(Rng& rng, std::int32_t total) {
  std::vector<std::int32_t> blocks;
  std::int32_t sum = 0;
  while (sum < total) {
    const std::int64_t kind = rng.range(0, 19);
    std::int32_t n;
    if (kind == 0) {
      n = 0;
    } else if (kind < 6) {
      n = static_cast<std::int32_t>(rng.range(1, 16));
    } else if (kind < 18) {
      n = static_cast<std::int32_t>(rng.range(17, 4096));
    } else {
      n = static_cast<std::int32_t>(rng.range(4097, 20000));
    }
    blocks.push_back(n);
    sum += n;
  }
  return blocks;
}

std::string randomBlocksCheck(Context& context) {
  PluginSource source(context.plugin());
  const std::int32_t total = 65536;
  const Channels input = inputFor(source, Signal::music, total, 44100.0, context.rng().next());
  const Channels reference = renderFresh(source, input, {kReferenceBlock}, kReferenceBlock);
  const int runs = context.scaled(2, 12);
  std::size_t calls = 0;
  for (int run = 0; run < runs; ++run) {
    const std::vector<std::int32_t> blocks = randomBlocks(context.rng(), total);
    calls += blocks.size();
    const std::int32_t largest = *std::max_element(blocks.begin(), blocks.end());
    context.trace("random blocks " + blockList(blocks));
    const Channels output = renderFresh(source, input, blocks, largest);
    if (auto difference = firstDifference(reference, output)) {
      throw Failure("random block sizes (" + blockList(blocks) + ") differ from blocks of " +
                    std::to_string(kReferenceBlock) + ": " + *difference);
    }
  }
  return std::to_string(runs) + " runs of " + std::to_string(total) + " frames in " +
         std::to_string(calls) +
         " calls of random sizes (0 to 20000): bit-identical to blocks of " +
         std::to_string(kReferenceBlock);
}

std::string oversizedBlocks(Context& context) {
  PluginSource source(context.plugin());
  const std::int32_t total = 65536 + 4096 + 1000;
  const Channels input = inputFor(source, Signal::music, total, 44100.0, context.rng().next());
  const Channels reference = renderFresh(source, input, {kReferenceBlock}, kReferenceBlock);
  const struct {
    std::int32_t announced;
    std::vector<std::int32_t> blocks;
  } cases[] = {{64, {4096, 65536, 333}}, {1, {512, 3, 2048}}, {511, {512, 1024, 511}}};
  const std::string announcing = source.format() == PluginFormat::vst2
                                     ? "effSetBlockSize announced "
                                     : "a set-up for largest blocks of ";
  for (const auto& c : cases) {
    context.trace("blocks of " + blockList(c.blocks) + " after " + announcing +
                  std::to_string(c.announced));
    const Channels output = renderFresh(source, input, c.blocks, c.announced);
    if (auto difference = firstDifference(reference, output)) {
      throw Failure("blocks of " + blockList(c.blocks) + " after " + announcing +
                    std::to_string(c.announced) + " differ from announced blocks: " + *difference);
    }
  }
  return "blocks of up to 65536 frames after " + announcing +
         "64, 1 and 511: the same output as announced blocks";
}

std::string splitBlocks(Context& context) {
  PluginSource source(context.plugin());
  const std::int32_t total = 4096;
  const Channels input = inputFor(source, Signal::music, total, 44100.0, context.rng().next());
  const Channels whole = renderFresh(source, input, {total}, total);
  const int splits = context.scaled(4, 40);
  for (int s = 0; s < splits; ++s) {
    std::vector<std::int32_t> cuts = {0, total};
    const int pieces = static_cast<int>(context.rng().range(1, 3));
    for (int p = 0; p < pieces; ++p) {
      cuts.push_back(static_cast<std::int32_t>(context.rng().range(1, total - 1)));
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::int32_t> blocks;
    for (std::size_t i = 1; i < cuts.size(); ++i) {
      blocks.push_back(cuts[i] - cuts[i - 1]);  // a repeated cut gives an empty call
    }
    const Channels output = renderFresh(source, input, blocks, total);
    if (auto difference = firstDifference(whole, output)) {
      throw Failure("one block of " + std::to_string(total) + " frames split as " +
                    blockList(blocks) + " gives different output: " + *difference);
    }
  }
  return std::to_string(splits) + " random splits of a " + std::to_string(total) +
         "-frame block into 2 to 4 calls: each bit-identical to the whole block";
}

std::string sampleRates(Context& context) {
  PluginSource source(context.plugin());
  Findings findings;
  const std::uint64_t seed = context.rng().next();
  for (double rate : kSampleRates) {
    context.trace("a new plug-in at " + floatText(rate) + " Hz");
    auto plugin = fresh(source, rate, kReferenceBlock);
    for (Signal signal : {Signal::sweep, Signal::noise, Signal::music}) {
      const Channels input =
          makeSignal(signal, std::max(plugin->inputCount(), 1), 16384, rate, seed);
      const Channels output =
          render(*plugin, input, {kReferenceBlock}, {plugin->preferredMode(), false});
      if (auto bad = firstNonFinite(output)) {
        findings.add(std::string(signalName(signal)) + " at " + floatText(rate) + " Hz: " + *bad);
      }
    }
  }
  findings.throwIfAny("non-finite outputs");
  return "sweep, noise and program material at 16 sample rates from 1234.5678 Hz to 768 kHz "
         "(8000 Hz upwards and a fractional one): finite output";
}

std::string sampleRateChanges(Context& context) {
  PluginSource source(context.plugin());
  auto plugin = fresh(source, 44100.0, kReferenceBlock);
  const Channels input = makeSignal(Signal::music, std::max(plugin->inputCount(), 1),
                                    4 * kReferenceBlock, 44100.0, context.rng().next());
  BlockRunner runner(*plugin, kReferenceBlock, {plugin->preferredMode(), false});
  Channels output = silence(plugin->outputCount(), 4 * kReferenceBlock);
  const std::string offOn = requestWords(source.format()).switchOffOn;
  // VST 2 hosts also change the rate of an effect that is switched on; the other formats take a
  // new rate only while switched off.
  const bool whileOnToo = source.format() == PluginFormat::vst2;
  const int changes = context.scaled(8, 48);
  for (int change = 0; change < changes; ++change) {
    const double rate = kSampleRates[context.rng().range(0, std::size(kSampleRates) - 1)];
    const bool switchedOff = !whileOnToo || change % 2 == 0;
    if (switchedOff) {
      plugin->setActive(false);
    }
    if (Effect* effect = vst2Effect(*plugin)) {
      effect->setSampleRate(static_cast<float>(rate));
    } else {
      plugin->setup(rate, kReferenceBlock);
    }
    if (switchedOff) {
      plugin->setActive(true);
    }
    for (int block = 0; block < 4; ++block) {
      runner.run(input, output, block * kReferenceBlock, kReferenceBlock);
    }
    if (auto bad = firstNonFinite(output)) {
      throw Failure("after changing to " + floatText(rate) + " Hz " +
                    (switchedOff ? "inside " + offOn : std::string("while switched on")) + ": " +
                    *bad);
    }
  }
  return std::to_string(changes) + " sample rate changes between blocks, " +
         (whileOnToo ? "half of them inside " + offOn + " and half while on"
                     : "each inside " + offOn) +
         ": finite output";
}

std::string signals(Context& context) {
  PluginSource source(context.plugin());
  Findings findings;
  const std::uint64_t seed = context.rng().next();
  const std::int32_t frames = context.scaled(16384, 65536);
  for (Signal signal : {Signal::silence, Signal::dc, Signal::noise, Signal::sweep,
                        Signal::denormals, Signal::music}) {
    context.trace(signalName(signal));
    auto plugin = fresh(source, 44100.0, kReferenceBlock);
    const Channels input =
        makeSignal(signal, std::max(plugin->inputCount(), 1), frames, 44100.0, seed);
    const Channels output =
        render(*plugin, input, {kReferenceBlock}, {plugin->preferredMode(), false});
    if (auto bad = firstNonFinite(output)) {
      findings.add(std::string(signalName(signal)) + ": " + *bad);
    }
  }
  findings.throwIfAny("signals give non-finite output");
  return "silence, DC, full-scale noise, a sine sweep, denormal-range noise and program "
         "material, " +
         std::to_string(frames) + " frames each: finite output";
}

std::string badSamples(Context& context) {
  PluginSource source(context.plugin());
  constexpr std::int32_t kBlocks = 24;
  constexpr std::int32_t kBadBlock = 8;
  const float infinity = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    bool finite;
  } bad[] = {{std::numeric_limits<float>::quiet_NaN(), false},
             {infinity, false},
             {-infinity, false},
             {1e38f, true},
             {-1e38f, true},
             {std::numeric_limits<float>::max(), true}};
  const int runLengths = context.scaled(1, 3);
  Findings findings;
  int cases = 0;
  for (const auto& b : bad) {
    for (int run = 0; run < runLengths; ++run) {
      auto plugin = fresh(source, 44100.0, kReferenceBlock);
      Channels input = makeSignal(Signal::music, std::max(plugin->inputCount(), 1),
                                  kBlocks * kReferenceBlock, 44100.0, context.rng().next());
      // One sample, then a short burst, then a whole block of the bad value.
      const std::int32_t length = run == 0 ? 1 : run == 1 ? 37 : kReferenceBlock;
      const std::int32_t start =
          kBadBlock * kReferenceBlock +
          static_cast<std::int32_t>(context.rng().range(0, kReferenceBlock - length));
      const bool oneChannel = run == 1;
      for (std::size_t c = 0; c < input.size(); ++c) {
        if (oneChannel && c != 0) {
          continue;
        }
        std::fill_n(input[c].begin() + start, length, b.value);
      }
      ++cases;
      context.trace(std::to_string(length) + " sample(s) of " + floatText(b.value));
      const Channels output =
          render(*plugin, input, {kReferenceBlock}, {plugin->preferredMode(), false});
      // Non-finite input may spoil its own block (and the effect's latency); after that the
      // output must be finite again. A finite input must never give a non-finite output.
      const std::int32_t from = b.finite ? 0 : (kBadBlock + 1) * kReferenceBlock + latency(*plugin);
      if (auto nonFinite = firstNonFinite(output, from)) {
        findings.add(std::to_string(length) + " sample(s) of " + floatText(b.value) + " at frame " +
                     std::to_string(start) + (b.finite ? "" : ", after that block") + ": " +
                     *nonFinite);
      }
    }
  }
  findings.throwIfAny("cases of " + std::to_string(cases) + " with non-finite output");
  return std::to_string(cases) +
         " inputs with NaN, +-infinity, +-1e38 or the largest float (one "
         "sample, a burst in one channel, a whole block): finite output from the next block on, "
         "and throughout for the finite values";
}

std::string replacingVsAccumulating(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> probe = source.open();
  if (source.format() != PluginFormat::vst2) {
    return std::string(formatName(source.format())) +
           " has no accumulating entry (a VST 2 one): nothing to compare";
  }
  if (!probe->supports(ProcessMode::replacing) || !probe->supports(ProcessMode::accumulating)) {
    return std::string("only the ") + processModeName(probe->preferredMode()) +
           " entry is offered: nothing to compare";
  }
  const std::int32_t total = 16384;
  const Channels input = makeSignal(Signal::music, std::max(probe->inputCount(), 1), total, 44100.0,
                                    context.rng().next());
  std::vector<std::int32_t> blocks = randomBlocks(context.rng(), total);
  const std::int32_t largest = *std::max_element(blocks.begin(), blocks.end());
  context.trace("processReplacing and process onto silence, random blocks " + blockList(blocks));
  Channels replaced;
  {
    auto plugin = fresh(source, 44100.0, largest);
    replaced = render(*plugin, input, blocks, {ProcessMode::replacing, false});
  }
  Channels accumulated;
  {
    auto plugin = fresh(source, 44100.0, largest);
    accumulated = render(*plugin, input, blocks, {ProcessMode::accumulating, false});
  }
  if (auto difference = firstDifference(replaced, accumulated)) {
    throw Failure("process onto silent outputs differs from processReplacing: " + *difference);
  }
  // Onto outputs that already hold a signal: that signal plus the replacing output, up to the
  // rounding of one addition.
  auto plugin = fresh(source, 44100.0, kReferenceBlock);
  const Channels existing =
      makeSignal(Signal::noise, std::max(plugin->outputCount(), 1), total, 44100.0, 99);
  Channels out = existing;
  {
    BlockRunner runner(*plugin, kReferenceBlock, {ProcessMode::accumulating, false, true});
    for (std::int32_t position = 0; position < total; position += kReferenceBlock) {
      runner.run(input, out, position, std::min(kReferenceBlock, total - position));
    }
  }
  Channels replacedWhole;
  {
    auto other = fresh(source, 44100.0, kReferenceBlock);
    replacedWhole = render(*other, input, {kReferenceBlock}, {ProcessMode::replacing, false});
  }
  for (std::size_t c = 0; c < out.size() && c < replacedWhole.size(); ++c) {
    for (std::size_t i = 0; i < out[c].size(); ++i) {
      const double expected = static_cast<double>(existing[c][i]) + replacedWhole[c][i];
      const double tolerance =
          1e-6 * (std::fabs(existing[c][i]) + std::fabs(replacedWhole[c][i])) + 1e-30;
      requireThat(std::fabs(out[c][i] - expected) <= tolerance, [&] {
        return "process onto a signal is not that signal plus the replacing output: channel " +
               std::to_string(c) + " frame " + std::to_string(i) + " holds " +
               floatText(out[c][i]) + ", not " + floatText(existing[c][i]) + " + " +
               floatText(replacedWhole[c][i]) +
               (out[c][i] == replacedWhole[c][i] ? " (it replaces instead of adding)" : "");
      });
    }
  }
  return "process onto silence is bit-identical to processReplacing (random block sizes), and "
         "onto a signal adds to it";
}

std::string inPlace(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> probe = source.open();
  if (probe->inputCount() < 1 || probe->outputCount() < 1) {
    return "no input or no output: nothing to share";
  }
  const std::int32_t total = 16384;
  const Channels input = makeSignal(Signal::music, std::max(probe->inputCount(), 1), total, 44100.0,
                                    context.rng().next());
  if (!probe->supports(ProcessMode::replacing)) {
    return "no processReplacing: in place, process adds onto the input itself (not compared)";
  }
  const std::vector<std::int32_t> blocks = randomBlocks(context.rng(), total);
  const std::int32_t largest = *std::max_element(blocks.begin(), blocks.end());
  auto a = fresh(source, 44100.0, largest);
  auto b = fresh(source, 44100.0, largest);
  const Channels separate = render(*a, input, blocks, {ProcessMode::replacing, false});
  const Channels shared = render(*b, input, blocks, {ProcessMode::replacing, true});
  if (auto difference = firstDifference(separate, shared)) {
    throw Failure("in-place buffers differ from separate ones: " + *difference);
  }
  return std::string(source.format() == PluginFormat::vst2 ? "processReplacing" : "processing") +
         " with each output sharing its input's buffer (random block sizes): bit-identical to "
         "separate buffers";
}

std::string twoInstances(Context& context) {
  PluginSource source(context.plugin());
  const std::int32_t total = 32768;
  auto a = fresh(source, 44100.0, 4096);
  auto b = fresh(source, 44100.0, 4096);
  const Channels input =
      makeSignal(Signal::music, std::max(a->inputCount(), 1), total, 44100.0, context.rng().next());
  BlockRunner runA(*a, 4096, {a->preferredMode(), false});
  BlockRunner runB(*b, 4096, {b->preferredMode(), false});
  Channels outA = silence(a->outputCount(), total);
  Channels outB = silence(b->outputCount(), total);
  std::int32_t position = 0;
  while (position < total) {
    const auto n = static_cast<std::int32_t>(
        std::min<std::int64_t>(context.rng().range(1, 4096), total - position));
    runA.run(input, outA, position, n);
    runB.run(input, outB, position, n);
    position += n;
  }
  if (auto difference = firstDifference(outA, outB)) {
    throw Failure("two instances fed the same input in alternating calls differ: " + *difference);
  }
  return "two instances fed the same " + std::to_string(total) +
         " frames in alternating calls of random sizes: bit-identical";
}

// The check's own entry: the shared part takes its plug-ins from the source.
std::string sampleAccurateChangesCheck(Context& context) {
  PluginSource source(context.plugin());
  return sampleAccurateChanges(context, source);
}

}  // namespace

// Changes handed with a block take effect at their frames: the output is the same, bit for bit,
// as that of the same plug-in fed the block split at those frames with each change set between
// the pieces. Formats without changes inside a block (VST 2, LV2) have the interface split the
// block, so they pass by construction; a VST 3 plug-in gets the changes with their sample offsets
// and must take them there itself. Flushes (calls of no frames that carry changes) are among the
// blocks.
std::string sampleAccurateChanges(Context& context, PluginSource& source) {
  constexpr std::int32_t kLargest = 2048;
  constexpr int kMostChanges = 6;
  const std::unique_ptr<Plugin> inside = source.start(44100.0, kLargest);
  const std::unique_ptr<Plugin> between = source.start(44100.0, kLargest);
  const std::unique_ptr<Plugin> unchanged = source.start(44100.0, kLargest);
  const int parameters = std::clamp(inside->parameterCount(), 0, 64);
  if (parameters == 0) {
    return "no parameters: nothing to change inside a block";
  }
  const std::int32_t total = context.scaled(16384, 131072);
  const Channels input = makeSignal(Signal::music, std::max(inside->inputCount(), 1), total,
                                    44100.0, context.rng().next());
  const ProcessStyle style{inside->preferredMode(), false};
  BlockRunner runInside(*inside, kLargest, style);
  BlockRunner runBetween(*between, kLargest, style);
  BlockRunner runUnchanged(*unchanged, kLargest, style);
  Channels outInside = silence(inside->outputCount(), total);
  Channels outBetween = outInside;
  Channels outUnchanged = outInside;
  std::vector<ParameterChange> changes;
  changes.reserve(kMostChanges);
  long blocks = 0;
  long changed = 0;
  long flushes = 0;
  Rng& rng = context.rng();
  std::int32_t position = 0;
  while (position < total) {
    const bool flush = rng.chance(0.08);
    const std::int32_t frames = flush ? 0
                                      : static_cast<std::int32_t>(std::min<std::int64_t>(
                                            rng.range(1, kLargest), total - position));
    changes.clear();
    for (int k = static_cast<int>(rng.range(flush ? 1 : 0, kMostChanges)); k > 0; --k) {
      const auto frame = flush ? 0 : static_cast<std::int32_t>(rng.range(0, frames - 1));
      const auto index = static_cast<std::int32_t>(rng.range(0, parameters - 1));
      // One change per parameter and frame: a second at the same point says nothing new.
      const bool taken = std::any_of(changes.begin(), changes.end(), [&](const ParameterChange& c) {
        return c.frame == frame && c.index == index;
      });
      if (!taken) {
        changes.push_back({frame, index, rng.uniformFloat(0.0f, 1.0f)});
      }
    }
    std::stable_sort(
        changes.begin(), changes.end(),
        [](const ParameterChange& a, const ParameterChange& b) { return a.frame < b.frame; });
    context.trace("a block of " + std::to_string(frames) + " frames at frame " +
                  std::to_string(position) + " with " + std::to_string(changes.size()) +
                  " changes inside");
    runInside.run(input, outInside, position, frames, changes);
    runUnchanged.run(input, outUnchanged, position, frames);
    // The host's way: the block cut at each change's frame, the change set between the pieces.
    std::size_t next = 0;
    std::int32_t start = 0;
    do {
      while (next < changes.size() && changes[next].frame <= start) {
        between->setParameter(changes[next].index, changes[next].value);
        ++next;
      }
      const std::int32_t end = next < changes.size() ? changes[next].frame : frames;
      runBetween.run(input, outBetween, position + start, end - start);
      start = end;
    } while (start < frames);
    if (auto difference = firstDifference(outBetween, outInside)) {
      throw Failure("a block of " + std::to_string(frames) + " frames at frame " +
                    std::to_string(position) + " with " + std::to_string(changes.size()) +
                    " changes inside (the first at frame " +
                    (changes.empty() ? std::string("-") : std::to_string(changes[0].frame)) +
                    " of it) differs from the same block split at those frames: " + *difference);
    }
    ++blocks;
    flushes += flush ? 1 : 0;
    changed += static_cast<long>(changes.size());
    position += frames;
  }
  if (!firstDifference(outUnchanged, outInside)) {
    context.note(
        "the output with the changes equals the output without them: the parameters "
        "do not reach the sound of this signal");
  }
  return std::to_string(blocks) + " blocks of 1 to " + std::to_string(kLargest) +
         " frames and flushes of none (" + std::to_string(flushes) + ") carrying " +
         std::to_string(changed) +
         " parameter changes at chosen frames: bit-identical to the blocks split at those frames "
         "with each change set between the pieces";
}

std::vector<Check> processingChecks() {
  return {
      {"processing", "block_sizes", blockSizes},
      {"processing", "random_blocks", randomBlocksCheck},
      // A VST 3 host never passes more frames than it set up for.
      {"processing", "oversized_blocks", oversizedBlocks, kNeedsNothing, CheckKind::check,
       kVst2Plugins | kLv2Plugins},
      {"processing", "split_blocks", splitBlocks},
      {"processing", "sample_rates", sampleRates},
      {"processing", "sample_rate_changes", sampleRateChanges},
      {"processing", "signals", signals},
      {"processing", "bad_samples", badSamples},
      {"processing", "replacing_vs_accumulating", replacingVsAccumulating},
      {"processing", "in_place", inPlace},
      {"processing", "sample_accurate_changes", sampleAccurateChangesCheck},
      {"processing", "two_instances", twoInstances},
  };
}

}  // namespace plughost::validate
