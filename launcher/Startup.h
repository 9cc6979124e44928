// The fixed order of the modules' start-up, and its reverse at shutdown.
#pragma once

#include <vector>

namespace kv {

struct ModuleStep {
  const char* Name;
  void (*Initialize)();
  void (*Finalize)();
};

// The steps in start-up order: the framework's, then those a program built
// on it added.
const std::vector<ModuleStep>& ModuleSteps();
// Adds a program's own module after the framework's (before StartModules).
void AddProgramModuleStep(const ModuleStep& Step);
// Runs every step's Initialize in order; StopModules runs the Finalize of the
// started ones in reverse. Both run once.
void StartModules();
void StopModules();

}  // namespace kv
