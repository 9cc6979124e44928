// The fixed order of the modules' start-up, and its reverse at shutdown.
#pragma once

#include <vector>

namespace kv {

struct ModuleStep {
  const char* Name;
  void (*Initialize)();
  void (*Finalize)();
};

// The steps in start-up order.
const std::vector<ModuleStep>& ModuleSteps();
// Runs every step's Initialize in order; StopModules runs the Finalize of the
// started ones in reverse. Both run once.
void StartModules();
void StopModules();

}  // namespace kv
