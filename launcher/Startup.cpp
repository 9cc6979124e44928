#include "launcher/Startup.h"

#include "text/KVTypes.h"

namespace kv {

namespace {
size_t gStarted = 0;
}

const std::vector<ModuleStep>& ModuleSteps() {
  static const std::vector<ModuleStep> steps = {
      // The string-list module makes the date separators of the process-wide
      // date formats literal.
      {"string list", &KVTypes_Initialize, nullptr},
  };
  return steps;
}

void StartModules() {
  const auto& steps = ModuleSteps();
  for (; gStarted < steps.size(); ++gStarted)
    if (steps[gStarted].Initialize) steps[gStarted].Initialize();
}

void StopModules() {
  const auto& steps = ModuleSteps();
  while (gStarted > 0) {
    --gStarted;
    if (steps[gStarted].Finalize) steps[gStarted].Finalize();
  }
}

}  // namespace kv
