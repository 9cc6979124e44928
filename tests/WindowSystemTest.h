// A test on a window system of its own, installed before the fixture's
// members are made. After the test's members are gone, the application made
// on that system is released and the system removed.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "toolkit/Controls.h"
#include "toolkit/WindowSystem.h"
#include "ui/KVForms.h"

namespace kvtest {

class WindowSystemTest : public ::testing::Test {
 protected:
  explicit WindowSystemTest(std::unique_ptr<kv::TWindowSystem> system) { kv::SetWindowSystem(std::move(system)); }
  ~WindowSystemTest() override {
    kv::ReleaseApplication();
    kv::SetWindowSystem(nullptr);
  }
};

// The modules dialogs need while they live: the form utilities (the form
// font) and the language and translation modules ("!!" captions).
class DialogModules {
 public:
  DialogModules() {
    kv::FormUtilsModule_Initialize();
    kv::LanguageModule_Initialize();
    kv::TranslationModule_Initialize();
  }
  ~DialogModules() {
    kv::TranslationModule_Finalize();
    kv::LanguageModule_Finalize();
    kv::FormUtilsModule_Finalize();
  }
  DialogModules(const DialogModules&) = delete;
  DialogModules& operator=(const DialogModules&) = delete;
};

}  // namespace kvtest
