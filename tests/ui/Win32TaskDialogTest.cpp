// The task dialog form on real windows (Wine with a display): it shows,
// ticks, hears a click on a link and ends on a posted button click.
#include <gtest/gtest.h>

#include "WindowSystemTest.h"
#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "toolkit/win32/Win32WindowSystem.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

namespace {

struct Seen {
  int Ticks = 0;
  bool VisibleWhileTicking = false;
  bool TaskbarButton = false;
  String Link;
  HWND Window = 0;
};

std::intptr_t At(TPoint p) { return static_cast<std::intptr_t>((p.Y << 16) | (p.X & 0xFFFF)); }

HRESULT32 KV_CALLBACK Callback(std::uintptr_t hwnd, std::uint32_t msg, std::uintptr_t, std::intptr_t l,
                               std::intptr_t ref) {
  auto* seen = reinterpret_cast<Seen*>(ref);
  seen->Window = hwnd;
  auto* form = dynamic_cast<TKVCustomTaskDialog*>(Application().FindForm(hwnd));
  if (msg == TDN_TIMER && ++seen->Ticks == 3 && form) {
    seen->VisibleWhileTicking = WindowSystem().IsWindowVisible(hwnd);
    seen->TaskbarButton = Win32HasTaskbarButton(hwnd);
    // A click on the link's first letters, posted like a real one.
    THtmlLabel* content = form->ContentLabel();
    for (int x = 0; x < content->Width(); ++x)
      if (!content->LinkAt({x, 3}).empty()) {
        const TPoint o = content->FormOrigin();
        form->PostMessage(WM_MOUSEMOVE, 0, At({o.X + x + 2, o.Y + 3}));
        form->PostMessage(WM_LBUTTONDOWN, 1, At({o.X + x + 2, o.Y + 3}));
        form->PostMessage(WM_LBUTTONUP, 0, At({o.X + x + 2, o.Y + 3}));
        break;
      }
  }
  if (msg == TDN_HYPERLINK_CLICKED) {
    seen->Link = reinterpret_cast<const char16_t*>(l);
    form->PostMessage(TDM_CLICK_BUTTON, kIdCancel);
  }
  return 0;
}

class Win32TaskDialog : public kvtest::WindowSystemTest {
 protected:
  Win32TaskDialog() : WindowSystemTest(CreateWin32WindowSystem()) {}
  kvtest::DialogModules modules;
};

}  // namespace

TEST_F(Win32TaskDialog, ARealDialogTicksHearsALinkAndEndsOnAPostedClick) {
  Seen seen;
  TaskDialogConfig c{};
  c.cbSize = kTaskDialogConfigSize;
  c.pszWindowTitle = u"Autorun";
  c.pszMainInstruction = u"Ein Fehler ist aufgetreten";
  c.pszContent = u"<a href=\"help://7\">Hilfe</a> zu diesem Fehler";
  c.hMainIcon = kTaskIconError;
  c.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
  c.dwFlags = TDF_CALLBACK_TIMER;
  c.pfCallback = &Callback;
  c.lpCallbackData = reinterpret_cast<std::intptr_t>(&seen);
  int button = -1, radio = -1;
  std::int32_t verification = -1;
  ASSERT_EQ(EmulatedTaskDialogIndirect(&c, &button, &radio, &verification), 0);
  EXPECT_EQ(button, kIdCancel);
  EXPECT_EQ(radio, 0);
  EXPECT_EQ(verification, 0);
  EXPECT_GE(seen.Ticks, 3);
  EXPECT_TRUE(seen.VisibleWhileTicking);
  EXPECT_EQ(seen.Link, u"help://7");
  // The dialog was the program's only window: it had a taskbar button.
  EXPECT_TRUE(seen.TaskbarButton);
  EXPECT_EQ(Application().FindForm(seen.Window), nullptr);  // freed after the call
}

TEST_F(Win32TaskDialog, FormsWithoutAnOwnerFormGetATaskbarButton) {
  TForm alone(nullptr);
  alone.Show();
  EXPECT_TRUE(Win32HasTaskbarButton(alone.Handle()));
  TForm owned(&alone);
  owned.Show();
  EXPECT_FALSE(Win32HasTaskbarButton(owned.Handle()));
  EXPECT_FALSE(Win32HasTaskbarButton(Application().Handle()));
}

TEST_F(Win32TaskDialog, TheHelpIconReachesTheWindowStyle) {
  TForm form(nullptr);
  form.SetBorderStyle(TFormBorderStyle::bsDialog);
  TBorderIcons icons;
  icons.Help = true;
  form.SetBorderIcons(icons);
  form.Show();
  EXPECT_TRUE(Win32HasHelpButtonStyle(form.Handle()));
  icons.Help = false;
  form.SetBorderIcons(icons);
  EXPECT_FALSE(Win32HasHelpButtonStyle(form.Handle()));
}
