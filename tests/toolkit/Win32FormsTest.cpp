// The win32 window system under Wine with a display: real windows, the real
// message queue, GDI text metrics.
#include <gtest/gtest.h>

#include "WindowSystemTest.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/win32/Win32WindowSystem.h"

using namespace kv;

namespace {

class Win32Forms : public kvtest::WindowSystemTest {
 protected:
  Win32Forms() : WindowSystemTest(CreateWin32WindowSystem()) {}
  void TearDown() override { form.reset(); }
  static std::intptr_t At(int x, int y) { return static_cast<std::intptr_t>((y << 16) | x); }
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
};

}  // namespace

TEST_F(Win32Forms, AFormShowsAndAPostedClickEndsItsModalLoop) {
  ASSERT_STREQ(WindowSystem().Name(), "win32");
  EXPECT_TRUE(Win32WindowsAvailable());
  form->SetCaption(u"Test");
  form->SetPosition(TPosition::poScreenCenter);
  auto* ok = new TThemedButton(form.get());
  ok->SetParent(form.get());
  ok->SetCaption(u"OK");
  ok->SetBounds(10, 10, 75, 25);
  ok->SetModalResult(mrOk);
  bool visibleDuring = false;
  ok->OnClick = [&](TObject*) { visibleDuring = WindowSystem().IsWindowVisible(form->Handle()); };
  form->PostMessage(WM_MOUSEMOVE, 0, At(40, 20));
  form->PostMessage(WM_LBUTTONDOWN, 1, At(40, 20));
  form->PostMessage(WM_LBUTTONUP, 0, At(40, 20));
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_TRUE(visibleDuring);
  EXPECT_FALSE(WindowSystem().IsWindowVisible(form->Handle()));

  // Closing the window ends the loop too; a timer of 1 ms ticks meanwhile.
  auto* timer = new TTimer(form.get());
  timer->SetInterval(1);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 3) form->PostMessage(WM_CLOSE);
  };
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_GE(ticks, 3);
}

TEST_F(Win32Forms, ClipboardRoundTripsUnicodeText) {
  WindowSystem().SetClipboardText(u"[Window Title]\r\nSchlie\u00DFen \u4E2D");
  EXPECT_EQ(WindowSystem().ClipboardText(), u"[Window Title]\r\nSchlie\u00DFen \u4E2D");
}

TEST_F(Win32Forms, StockIconsLoadAtTheirSize) {
  for (TStockIcon icon : {TStockIcon::Warning, TStockIcon::Question, TStockIcon::Error, TStockIcon::Information}) {
    const TBitmap b = WindowSystem().StockIcon(icon, 32);
    ASSERT_EQ(b.Width(), 32);
    int drawn = 0;
    for (std::uint32_t p : b.Pixels()) drawn += p != b.TransparentColor;
    EXPECT_GT(drawn, 100) << static_cast<int>(icon);
  }
}

TEST_F(Win32Forms, TextMeasuredByGdiDrivesTheSameLayout) {
  auto m = WindowSystem().MeasureCanvas();
  const int w = m->TextWidth(u"Nicht mehr anzeigen");
  const int h = m->TextHeight(u"Ag");
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  auto* box = new TThemedCheckBox(form.get());
  box->SetParent(form.get());
  box->SetCaption(u"Nicht mehr anzeigen");
  EXPECT_EQ(box->Width(), 13 + 4 + w + 1);

  auto* label = new THtmlLabel(form.get());
  label->SetParent(form.get());
  label->SetWordWrap(true);
  label->SetCaption(u"eins zwei drei vier f\u00FCnf sechs sieben acht neun zehn");
  label->SetBounds(0, 0, m->TextWidth(u"eins zwei drei"), 100);
  EXPECT_GE(label->LineCount(), 3);
  EXPECT_EQ(label->Height(), label->LineCount() * h);
  EXPECT_LE(label->Width(), m->TextWidth(u"eins zwei drei"));

  // Painting goes through GDI without trouble.
  form->Show();
  Application().ProcessMessages();
  EXPECT_TRUE(WindowSystem().IsWindowVisible(form->Handle()));
}
