// Descriptor sanity: the record a host reads right after `main` is well formed, agrees with the
// answers of the dispatcher, and identifies the same effect every time.
#include <string>

#include "tools/plughost/host_text.h"
#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/effect.h"

namespace plughost::validate {
namespace {

constexpr std::int32_t kMaxChannels = 256;
constexpr std::int32_t kMaxCount = 100000;

std::string flagNames(std::int32_t flags) {
  std::string names;
  for (const EffectFlag& flag : kEffectFlags) {
    if ((flags & flag.bit) != 0) {
      names += names.empty() ? flag.word : std::string(", ") + flag.word;
    }
  }
  return names.empty() ? "none" : names;
}

std::string fields(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  const AEffect& d = *effect.get();
  require(d.setParameter != nullptr && d.getParameter != nullptr,
          "the descriptor lacks its setParameter or getParameter entry");
  require(d.process != nullptr || d.processReplacing != nullptr,
          "the descriptor has neither process entry");
  require((d.flags & effFlagsCanReplacing) == 0 || d.processReplacing != nullptr,
          "effFlagsCanReplacing is set but processReplacing is null");
  if (d.processReplacing != nullptr && (d.flags & effFlagsCanReplacing) == 0) {
    context.note("processReplacing is set without effFlagsCanReplacing: hosts will not use it");
  }
  require(d.numInputs >= 0 && d.numInputs <= kMaxChannels && d.numOutputs >= 0 &&
              d.numOutputs <= kMaxChannels,
          "implausible channel counts: " + std::to_string(d.numInputs) + " in, " +
              std::to_string(d.numOutputs) + " out");
  require(d.numParams >= 0 && d.numParams <= kMaxCount,
          "implausible parameter count " + std::to_string(d.numParams));
  require(d.numPrograms >= 0 && d.numPrograms <= kMaxCount,
          "implausible program count " + std::to_string(d.numPrograms));
  require(d.initialDelay >= 0, "negative initialDelay " + std::to_string(d.initialDelay));
  require(d.uniqueID != 0, "the unique ID is 0 (hosts key saved state on it)");
  effect.start();
  if (d.numPrograms > 0) {
    const std::int32_t program = effect.program();
    require(program >= 0 && program < d.numPrograms,
            "effGetProgram answers " + std::to_string(program) + " of " +
                std::to_string(d.numPrograms) + " programs");
  }
  return "magic 'VstP', " + std::to_string(d.numInputs) + " in, " + std::to_string(d.numOutputs) +
         " out, " + std::to_string(d.numParams) + " parameters, " + std::to_string(d.numPrograms) +
         " programs, flags " + std::to_string(d.flags) + " (" + flagNames(d.flags) +
         "), unique ID '" + fourCharText(d.uniqueID) + "', version " + std::to_string(d.version) +
         ", initial delay " + std::to_string(d.initialDelay);
}

std::string editorFlag(Context& context) {
  PluginLibrary library(context.plugin());
  Effect effect(library);
  effect.dispatch(effOpen);
  const bool flagged = (effect->flags & effFlagsHasEditor) != 0;
  EditorRect* rect = nullptr;
  context.trace("effEditGetRect after effOpen, before any editor open");
  const VstIntPtr answer = effect.dispatch(effEditGetRect, 0, 0, &rect);
  if (!flagged) {
    require(rect == nullptr,
            "effFlagsHasEditor is clear, yet effEditGetRect hands out a rectangle");
    return "no editor flag, and effEditGetRect gives no rectangle (answer " +
           std::to_string(answer) + ")";
  }
  require(rect != nullptr,
          "effFlagsHasEditor is set, yet effEditGetRect gives no rectangle (answer " +
              std::to_string(answer) + ")");
  const int width = rect->right - rect->left;
  const int height = rect->bottom - rect->top;
  require(width > 0 && height > 0 && width <= 8192 && height <= 8192,
          "effEditGetRect gives an implausible rectangle: top " + std::to_string(rect->top) +
              ", left " + std::to_string(rect->left) + ", bottom " + std::to_string(rect->bottom) +
              ", right " + std::to_string(rect->right));
  return "editor flag set, and effEditGetRect gives " + std::to_string(width) + " x " +
         std::to_string(height) + " (answer " + std::to_string(answer) + ")";
}

struct Identity {
  std::int32_t uniqueID, version, numParams, numPrograms, numInputs, numOutputs, flags;
  bool operator==(const Identity&) const = default;
};

Identity identityOf(const AEffect& d) {
  return {d.uniqueID, d.version, d.numParams, d.numPrograms, d.numInputs, d.numOutputs, d.flags};
}

std::string stableIdentity(Context& context) {
  Identity first{};
  int instances = 0;
  for (int load = 0; load < 2; ++load) {
    PluginLibrary library(context.plugin());
    Effect a(library);
    Effect b(library);
    a.start();
    b.start();
    for (const Effect* effect : {&a, &b}) {
      const Identity identity = identityOf(*effect->get());
      if (instances++ == 0) {
        first = identity;
      }
      require(identity == first, "instance " + std::to_string(instances) +
                                     " describes itself differently from the first (unique ID, "
                                     "version, counts or flags)");
    }
  }
  // A library exporting both entry names must mean the same effect by both.
  std::string entries = "one entry point";
  std::string error;
  if (void* handle = platform::openLibrary(context.plugin(), error)) {
    void* modern = platform::findSymbol(handle, "VSTPluginMain");
    void* old = platform::findSymbol(handle, "main");
    if (modern != nullptr && old != nullptr) {
      Effect viaModern(reinterpret_cast<PluginEntry>(modern), "VSTPluginMain");
      Effect viaOld(reinterpret_cast<PluginEntry>(old), "main");
      viaModern.start();
      viaOld.start();
      require(identityOf(*viaModern.get()) == first && identityOf(*viaOld.get()) == first,
              "'main' and 'VSTPluginMain' make effects that describe themselves differently");
      entries = "'main' and 'VSTPluginMain' alike";
    }
    platform::closeLibrary(handle);
  }
  return std::to_string(instances) +
         " instances over two loads of the library: the same unique ID '" +
         fourCharText(first.uniqueID) + "', version, counts and flags, through " + entries;
}

}  // namespace

std::vector<Check> descriptorChecks() {
  return {
      {"descriptor", "fields", fields, kNeedsNothing, CheckKind::check, kVst2Plugins},
      {"descriptor", "editor_flag", editorFlag, kNeedsNothing, CheckKind::check, kVst2Plugins},
      {"descriptor", "stable_identity", stableIdentity, kNeedsNothing, CheckKind::check,
       kVst2Plugins},
  };
}

}  // namespace plughost::validate
