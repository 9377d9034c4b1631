// The checks of each area, in the order they run. Each area lives in its own checks_*.cpp.
#pragma once

#include <vector>

#include "tools/plughost/validate/check.h"

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

}  // namespace plughost::validate
