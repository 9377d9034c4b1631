// The checks of each area, in the order they run. Each area lives in its own checks_*.cpp.
#pragma once

#include <string>
#include <vector>

#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/effect.h"

namespace plughost::validate {

std::vector<Check> loadingChecks();
std::vector<Check> descriptorChecks();
std::vector<Check> dispatcherChecks();
std::vector<Check> parameterChecks();
std::vector<Check> processingChecks();
std::vector<Check> threadChecks();
std::vector<Check> editorChecks();
std::vector<Check> realtimeChecks();
std::vector<Check> timingChecks();

// processing.sample_accurate_changes on the plug-ins of `source`, for tests that bring plug-ins
// of their own.
std::string sampleAccurateChanges(Context& context, PluginSource& source);

}  // namespace plughost::validate
