// The base form on real windows (Wine with a display).
#include <gtest/gtest.h>

#include "WindowSystemTest.h"
#include "toolkit/win32/Win32WindowSystem.h"
#include "ui/KVForms.h"

using namespace kv;

namespace {

class TCountingForm : public TKVForm {
 public:
  using TKVForm::TKVForm;
  void DoAfterCreate() override {
    ++afterCreate;
    TKVForm::DoAfterCreate();
  }
  void DoAfterShow() override {
    ++afterShow;
    TKVForm::DoAfterShow();
  }
  int afterCreate = 0, afterShow = 0;
};

class Win32KVForms : public kvtest::WindowSystemTest {
 protected:
  Win32KVForms() : WindowSystemTest(CreateWin32WindowSystem()) {}
  void SetUp() override {
    FormUtilsModule_Initialize();
    FormsModule_Initialize();
  }
  void TearDown() override {
    FormsModule_Finalize();
    FormUtilsModule_Finalize();
  }
};

}  // namespace

TEST_F(Win32KVForms, PostedAfterCreateAndAfterShowArriveOnce) {
  std::unique_ptr<TCountingForm> f(TKVForm::CreateNew<TCountingForm>(nullptr));
  TTimer timer(nullptr);
  timer.SetInterval(50);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 3) f->SetModalResult(mrOk);
  };
  EXPECT_EQ(f->ShowModal(), mrOk);
  EXPECT_EQ(f->afterCreate, 1);
  EXPECT_EQ(f->afterShow, 1);
  EXPECT_TRUE(f->ThemeChecked());
  EXPECT_NE(SharedHtmlHint(), nullptr);
}

TEST_F(Win32KVForms, MinimisingAModalFormMinimisesTheApplicationUntilItCloses) {
  std::unique_ptr<TKVForm> f(TKVForm::CreateNew<TKVForm>(nullptr));
  f->SetCaption(u"Modal");
  bool iconicWhileMinimized = false, appMinimized = false;
  TTimer timer(nullptr);
  timer.SetInterval(100);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    ++ticks;
    if (ticks == 1) f->PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    if (ticks == 3) {
      iconicWhileMinimized = WindowSystem().IsIconic(f->Handle());
      appMinimized = Application().Minimized() && f->MinimizedByForm();
      f->SetModalResult(mrOk);
    }
  };
  EXPECT_EQ(f->ShowModal(), mrOk);
  EXPECT_TRUE(iconicWhileMinimized);
  EXPECT_TRUE(appMinimized);
  EXPECT_FALSE(Application().Minimized());
  EXPECT_EQ(f->SavedPriority(), kNoSavedPriority);
}
