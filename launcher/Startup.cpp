#include "launcher/Startup.h"

#include "failure/KVExceptions.h"
#include "failure/KVLocalFilesLocation.h"
#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "logging/KVFileLogger.h"
#include "platform/DynamicLibrary.h"
#include "system/DelayedHandler.h"
#include "text/KVTypes.h"
#include "text/_4Files.h"
#include "text/_4Sort.h"
#include "ui/KVAdvProgr.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDialogTemplate.h"

namespace kv {

namespace {
size_t gStarted = 0;

// The string-list module: literal date formats, and in an executable data
// execution prevention.
void StringListModule_Initialize() {
  KVTypes_Initialize();
  if (!platform::ModuleIsLibrary()) EnableProcessDep(true);
}
}

namespace {
std::vector<ModuleStep>& Steps() {
  static std::vector<ModuleStep> steps = {
      // A library or function bound at run time that is missing raises a
      // readable exception from here on.
      {"delay-load hook", &DelayedHandler_Initialize, &DelayedHandler_Finalize},
      // The string-list module makes the date separators of the process-wide
      // date formats literal and switches data execution prevention on.
      {"string list", &StringListModule_Initialize, nullptr},
      // The progress module registers its control; the text utility module
      // fills its Windows-1252 table.
      {"progress", &ProgressModule_Initialize, &ProgressModule_Finalize},
      {"text utilities", &SortModule_Initialize, nullptr},
      // The default form font name and the hint hide pause.
      {"form utilities", &FormUtilsModule_Initialize, &FormUtilsModule_Finalize},
      // The translation hooks first, then the language "DE".
      {"language", &LanguageModule_Initialize, &LanguageModule_Finalize},
      {"translation", &TranslationModule_Initialize, &TranslationModule_Finalize},
      // The task dialog form module looks up the platform's task dialog
      // functions (it never calls them).
      {"task dialog", &TaskDialogModule_Initialize, &TaskDialogModule_Finalize},
      // Windows older than 7 end the process here, after a message.
      {"windows version", &CheckWindowsVersion, nullptr},
      // Stack tracking on, and the handler on the application's
      // unhandled-exception event.
      {"exceptions", &ExceptionsModule_Initialize, &ExceptionsModule_Finalize},
      // The application window, window ghosting off, the modal-form list and
      // the application events handler.
      {"forms", &FormsModule_Initialize, &FormsModule_Finalize},
      // The random seed of scratch names and an empty temporary-folder cache.
      {"file helpers", &FileHelpers_Initialize, &FileHelpers_Finalize},
      // Last, so that its shutdown comes first, right after the launch
      // sequence: further logging is forbidden and the logging thread writes
      // its last lines while the modules it uses (file helpers, registry,
      // forms and translation for a message to the user) are still there.
      // Its start-up makes this thread the one that shows logging's messages.
      {"logging", &LoggingModule_Initialize, &LoggingModule_Finalize},
  };
  return steps;
}
}  // namespace

const std::vector<ModuleStep>& ModuleSteps() { return Steps(); }

void AddProgramModuleStep(const ModuleStep& Step) { Steps().push_back(Step); }

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
