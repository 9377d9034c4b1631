// Parameters and programs as a host uses them, through the one plug-in interface: values written
// and read back, their display texts, programs that keep their own values; and for VST 2, texts
// within the bytes its interface allows and program names of awkward lengths.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/comparisons.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/vst2_plugin.h"

namespace plughost::validate {
namespace {

constexpr std::size_t kParameterText = 9;
constexpr std::size_t kProgramName = 24;
constexpr std::int32_t kMostParameters = 4096;
constexpr std::int32_t kMostPrograms = 16;

bool sameBits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// How an effect treats a value outside 0..1: it keeps it, clamps it, or does something else.
std::string behaviour(float written, float read) {
  if (sameBits(written, read) || (std::isnan(written) && std::isnan(read))) {
    return "stored unchanged";
  }
  if (!std::isnan(written) && read == std::clamp(written, 0.0f, 1.0f)) {
    return "clamped to 0..1";
  }
  if (std::isnan(written) && std::isfinite(read)) {
    return "replaced by a number";
  }
  if (!std::isfinite(read)) {
    return "read back as " + floatText(read);
  }
  return "changed";
}

std::string values(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start();
  // VST 2's display texts go into the host's buffer, whose bounds are watched.
  Effect* effect = vst2Effect(*plugin);
  const std::int32_t parameters = std::clamp(plugin->parameterCount(), 0, kMostParameters);
  if (parameters == 0) {
    return "no parameters";
  }
  std::vector<float> inRange = {0.0f,        1.0f, 0.5f, 0.25f, 0.75f,      1.0f / 3.0f,
                                2.0f / 3.0f, 0.1f, 0.9f, 1e-7f, 0.99999994f};
  const int randomValues = context.scaled(2, 20);
  for (int i = 0; i < randomValues; ++i) {
    inRange.push_back(context.rng().uniformFloat(0.0f, 1.0f));
  }
  const float outOfRange[] = {-1.0f, 2.0f, 1e9f};
  const float infinity = std::numeric_limits<float>::infinity();
  const float nonFinite[] = {std::numeric_limits<float>::quiet_NaN(), infinity, -infinity};

  Findings findings;
  std::map<std::string, int> outsideBehaviour;
  std::map<std::string, int> nonFiniteBehaviour;
  GuardedBuffer display;
  long writes = 0;
  auto writeAndDisplay = [&](std::int32_t index, float value) {
    context.trace("parameter " + std::to_string(index) + " set to " + floatText(value) +
                  ", then its display text");
    plugin->setParameter(index, value);
    ++writes;
    const float read = plugin->parameter(index);
    if (effect == nullptr) {
      plugin->parameterDisplay(index);
      return read;
    }
    display.reset(kParameterText);
    effect->dispatch(effGetParamDisplay, index, 0, display.data());
    if (auto damage = display.damage()) {
      findings.add("display of parameter " + std::to_string(index) + " at " + floatText(value) +
                   " " + *damage);
    } else if (!display.terminated()) {
      findings.add("display of parameter " + std::to_string(index) + " at " + floatText(value) +
                   " has no terminator within 9 bytes");
    }
    return read;
  };

  int stepped = 0;
  for (std::int32_t index = 0; index < parameters; ++index) {
    const float original = plugin->parameter(index);
    const int steps = plugin->parameterTraits(index).steps;
    stepped += steps > 0 ? 1 : 0;
    for (float value : inRange) {
      const float read = writeAndDisplay(index, value);
      // A stepped parameter holds the step a value falls on: one of k/steps, no further from
      // the value than half a step.
      const bool onStep = steps > 0 &&
                          std::fabs(read * static_cast<float>(steps) -
                                    std::round(read * static_cast<float>(steps))) < 1e-4f &&
                          std::fabs(read - value) <= 0.5f / static_cast<float>(steps) + 1e-6f;
      if (steps > 0 ? !onStep : !sameBits(read, value)) {
        findings.add("parameter " + std::to_string(index) + " set to " + floatText(value) +
                     " reads back " + floatText(read));
      }
    }
    for (float value : outOfRange) {
      const float read = writeAndDisplay(index, value);
      if (!std::isfinite(read)) {
        findings.add("parameter " + std::to_string(index) + " set to " + floatText(value) +
                     " reads back " + floatText(read));
      }
      ++outsideBehaviour[floatText(value) + " " + behaviour(value, read)];
    }
    for (float value : nonFinite) {
      const float read = writeAndDisplay(index, value);
      ++nonFiniteBehaviour[floatText(value) + " " + behaviour(value, read)];
    }
    plugin->setParameter(index, original);
  }
  auto describe = [parameters](const std::map<std::string, int>& counts) {
    std::string text;
    for (const auto& [what, n] : counts) {
      text += (text.empty() ? "" : ", ") + what +
              (n == parameters ? "" : " (" + std::to_string(n) + " parameters)");
    }
    return text;
  };
  context.note("out of range: " + describe(outsideBehaviour));
  context.note("not finite: " + describe(nonFiniteBehaviour));
  findings.throwIfAny("problems in " + std::to_string(writes) + " parameter writes");
  return std::to_string(parameters) + " parameters x " + std::to_string(inRange.size()) +
         " values in 0..1 (ends, midpoints, " + std::to_string(randomValues) +
         " random) read back exactly" +
         (stepped > 0 ? " (" + std::to_string(stepped) + " stepped ones: on the nearest step)"
                      : std::string()) +
         "; -1, 2, 1e9, NaN and infinities survived (a finite write "
         "must not read back non-finite; what the effect does with them is noted); " +
         (effect != nullptr ? "every display text within 8 characters + terminator"
                            : "a display text read after every write");
}

// Each program gets its own random values (and, in VST 2, its own name); after any sequence of
// switches every program must show its own values and name.
std::string programs(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start();
  Effect* effect = vst2Effect(*plugin);
  const std::int32_t programCount = std::clamp(plugin->programCount(), 0, kMostPrograms);
  const std::int32_t parameters = std::clamp(plugin->parameterCount(), 0, 256);
  if (programCount < 2) {
    return std::to_string(plugin->programCount()) + " program(s): nothing to switch between";
  }
  // What the current program is called: VST 2's answer in the 24 bytes it may write, or the
  // interface's name of that program.
  auto currentName = [&](std::int32_t program) {
    if (effect == nullptr) {
      return plugin->programName(program);
    }
    GuardedBuffer read(kProgramName);
    effect->dispatch(effGetProgramName, 0, 0, read.data());
    return read.text();
  };
  std::vector<std::vector<float>> expected(static_cast<std::size_t>(programCount));
  std::vector<std::string> names(static_cast<std::size_t>(programCount));
  bool keepsNames = effect != nullptr;
  for (std::int32_t p = 0; p < programCount; ++p) {
    plugin->setProgram(p);
    require(plugin->program() == p, "selecting program " + std::to_string(p) +
                                        " left the plug-in at program " +
                                        std::to_string(plugin->program()));
    for (std::int32_t i = 0; i < parameters; ++i) {
      // A program change parameter would leave the program; a bypass is no program's value.
      const float value = context.rng().uniformFloat(0.0f, 1.0f);
      if (plugin->parameterTraits(i).inPrograms()) {
        plugin->setParameter(i, value);
      }
      expected[static_cast<std::size_t>(p)].push_back(plugin->parameter(i));
    }
    if (effect != nullptr) {
      std::string name = "Validate " + std::to_string(p);
      std::vector<char> sent(256, 0);
      std::memcpy(sent.data(), name.c_str(), name.size());
      effect->dispatch(effSetProgramName, 0, 0, sent.data());
      keepsNames = keepsNames && currentName(p) == name;
    }
    names[static_cast<std::size_t>(p)] = currentName(p);
  }
  const int switches = context.scaled(10, 200);
  std::int32_t current = programCount - 1;
  for (int s = 0; s < switches; ++s) {
    const std::int32_t previous = current;
    current = static_cast<std::int32_t>(context.rng().range(0, programCount - 1));
    plugin->setProgram(current);
    require(plugin->program() == current, "selecting program " + std::to_string(current) +
                                              " left the plug-in at program " +
                                              std::to_string(plugin->program()));
    const auto& mine = expected[static_cast<std::size_t>(current)];
    for (std::int32_t i = 0; i < parameters; ++i) {
      if (!plugin->parameterTraits(i).inPrograms()) {
        continue;
      }
      const float read = plugin->parameter(i);
      requireThat(sameBits(read, mine[static_cast<std::size_t>(i)]), [&] {
        return "after switching from program " + std::to_string(previous) + " to " +
               std::to_string(current) + " (switch " + std::to_string(s + 1) + "), parameter " +
               std::to_string(i) + " reads " + floatText(read) + " instead of the " +
               floatText(mine[static_cast<std::size_t>(i)]) + " set in that program";
      });
    }
    const std::string name = currentName(current);
    requireThat(name == names[static_cast<std::size_t>(current)], [&] {
      return "program " + std::to_string(current) + " is named '" + printable(name) +
             "' after switching back to it, not '" +
             printable(names[static_cast<std::size_t>(current)]) + "'";
    });
  }
  if (effect == nullptr) {
    return std::to_string(programCount) + " programs with their own random values of " +
           std::to_string(parameters) + " parameters, " + std::to_string(switches) +
           " random switches: each program kept its own values and name";
  }
  // Numbers outside the programs change nothing.
  for (VstIntPtr invalid : {VstIntPtr{-1}, VstIntPtr{(*effect)->numPrograms}, VstIntPtr{1} << 30}) {
    effect->dispatch(effSetProgram, 0, invalid);
    require(effect->program() == current, "effSetProgram " + std::to_string(invalid) +
                                              " (no such program) switched to program " +
                                              std::to_string(effect->program()));
    for (std::int32_t i = 0; i < parameters; ++i) {
      require(sameBits(effect->parameter(i),
                       expected[static_cast<std::size_t>(current)][static_cast<std::size_t>(i)]),
              "effSetProgram " + std::to_string(invalid) + " (no such program) changed parameter " +
                  std::to_string(i));
    }
  }
  if (!keepsNames) {
    context.note("effSetProgramName does not change what effGetProgramName answers");
  }
  return std::to_string(programCount) + " programs with their own random values of " +
         std::to_string(parameters) + " parameters" + (keepsNames ? " and names" : "") + ", " +
         std::to_string(switches) +
         " random switches: each program kept its own; invalid program numbers changed nothing";
}

// Without VST 2's name requests: every program's name, read twice, is the same, and reading
// names changes neither the current program nor any value.
std::string programNamesRead(Plugin& plugin) {
  const std::int32_t programCount = std::clamp(plugin.programCount(), 0, kMostPrograms);
  const std::int32_t parameters = std::clamp(plugin.parameterCount(), 0, 256);
  const std::int32_t current = plugin.program();
  std::vector<float> before;
  before.reserve(static_cast<std::size_t>(parameters));
  for (std::int32_t i = 0; i < parameters; ++i) {
    before.push_back(plugin.parameter(i));
  }
  std::string names;
  for (std::int32_t p = 0; p < programCount; ++p) {
    const std::string name = plugin.programName(p);
    const std::string again = plugin.programName(p);
    require(name == again, "program " + std::to_string(p) + " is named '" + printable(name) +
                               "', then '" + printable(again) + "'");
    names += (names.empty() ? "'" : ", '") + printable(name) + "'";
  }
  require(plugin.program() == current, "reading program names switched from program " +
                                           std::to_string(current) + " to " +
                                           std::to_string(plugin.program()));
  for (std::int32_t i = 0; i < parameters; ++i) {
    require(sameBits(plugin.parameter(i), before[static_cast<std::size_t>(i)]),
            "reading program names changed parameter " + std::to_string(i));
  }
  return std::to_string(programCount) + " program names (" + names +
         ") read twice, the same each time; reading them changed neither the current program "
         "nor any value";
}

std::string programNames(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start();
  if (plugin->programCount() < 1) {
    return "no programs";
  }
  Effect* vst2 = vst2Effect(*plugin);
  if (vst2 == nullptr) {
    return programNamesRead(*plugin);
  }
  Effect& effect = *vst2;
  Findings findings;
  bool keepsNames = true;
  std::string readBack;
  for (std::size_t length : {std::size_t{23}, std::size_t{0}, std::size_t{24}, std::size_t{300}}) {
    std::string name;
    for (std::size_t i = 0; i < length; ++i) {
      name += static_cast<char>('A' + i % 26);
    }
    std::vector<char> source(GuardedBuffer::kSize, 0);
    std::memcpy(source.data(), name.data(), name.size());
    context.trace("a program name of " + std::to_string(length) + " characters");
    const std::vector<char> sent = source;
    effect.dispatch(effSetProgramName, 0, 0, source.data());
    if (source != sent) {
      findings.add("effSetProgramName of a " + std::to_string(length) +
                   "-character name wrote into the name it was given");
    }
    GuardedBuffer read(kProgramName);
    effect.dispatch(effGetProgramName, 0, 0, read.data());
    const std::string what =
        "the name read after setting " + std::to_string(length) + " characters";
    if (auto damage = read.damage()) {
      findings.add(what + " " + *damage);
      continue;
    }
    if (!read.terminated()) {
      findings.add(what + " has no terminator within 24 bytes");
      continue;
    }
    if (length == 23) {
      keepsNames = read.text() == name;
    }
    if (!keepsNames) {
      continue;
    }
    const bool fits = length <= 23;
    if (fits ? read.text() != name : name.rfind(read.text(), 0) != 0) {
      findings.add(what + " is '" + printable(read.text()) + "'" +
                   (fits ? "" : ", not a beginning of it"));
    }
    readBack += (readBack.empty() ? "" : ", ") + std::to_string(length) + " -> " +
                std::to_string(read.text().size());
  }
  findings.throwIfAny("problems with program names");
  if (!keepsNames) {
    return "effSetProgramName is ignored (a 23-character name does not read back); names of 0, "
           "23, 24 and 300 characters did no damage";
  }
  return "names of 0, 23, 24 and 300 characters set and read back in 24 bytes (lengths " +
         readBack + "): within the buffer, terminated, longer names cut";
}

}  // namespace

std::vector<Check> parameterChecks() {
  return {
      {"parameters", "values", values},
      {"parameters", "programs", programs},
      {"parameters", "program_names", programNames},
  };
}

}  // namespace plughost::validate
