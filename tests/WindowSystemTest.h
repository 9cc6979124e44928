// A test on a window system of its own, installed before the fixture's
// members are made. After the test's members are gone, the application made
// on that system is released and the system removed.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "toolkit/Controls.h"
#include "toolkit/WindowSystem.h"

namespace kvtest {

class WindowSystemTest : public ::testing::Test {
 protected:
  explicit WindowSystemTest(std::unique_ptr<kv::TWindowSystem> system) { kv::SetWindowSystem(std::move(system)); }
  ~WindowSystemTest() override {
    kv::ReleaseApplication();
    kv::SetWindowSystem(nullptr);
  }
};

}  // namespace kvtest
