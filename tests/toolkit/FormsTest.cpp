#include <gtest/gtest.h>

#include <stdexcept>

#include "WindowSystemTest.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/headless/Headless.h"

using namespace kv;

namespace {

// A fresh headless window system and application per test.
class Forms : public kvtest::WindowSystemTest {
 protected:
  Forms() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>()) {}
  void TearDown() override {
    form.reset();
    other.reset();
  }
  THeadlessWindowSystem& ws() { return Headless(); }
  static TPoint Center(TControl* c) {
    const TPoint o = c->FormOrigin();
    return {o.X + c->Width() / 2, o.Y + c->Height() / 2};
  }
  void ClickOn(TControl* c) { ws().Click(c->Form()->Handle(), Center(c)); }
  template <class T>
  T* Add(TWinControl* parent, StringView caption = u"") {
    auto* c = new T(form.get());
    c->SetParent(parent);
    c->SetCaption(caption);
    return c;
  }
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
  std::unique_ptr<TForm> other;
};

}  // namespace

TEST_F(Forms, OwnersAndParentsFreeWhatTheyHold) {
  auto* panel = Add<TThemedPanel>(form.get());
  auto* a = Add<TThemedButton>(panel, u"A");
  auto* b = Add<TThemedButton>(panel, u"B");
  auto* timer = new TTimer(form.get());
  EXPECT_EQ(panel->ControlCount(), 2);
  EXPECT_EQ(panel->Controls(0), a);
  EXPECT_EQ(panel->Controls(1), b);
  EXPECT_THROW(panel->Controls(2), EListError);
  EXPECT_EQ(form->ComponentCount(), 4);
  EXPECT_EQ(a->Form(), form.get());

  b->SetParent(form.get());  // moves to the end of the form's children
  EXPECT_EQ(panel->ControlCount(), 1);
  EXPECT_EQ(form->Controls(form->ControlCount() - 1), b);

  delete panel;  // takes its child a with it
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->ControlCount(), 1);
  EXPECT_EQ(form->Components(1), timer);
  EXPECT_THROW(b->SetParent(b), EInvalidOperation);
}

TEST_F(Forms, ModalLoopEndsOnTheButtonsModalResultAndDisablesTheRest) {
  other = std::make_unique<TForm>(nullptr);
  other->Show();
  auto* ok = Add<TThemedButton>(form.get(), u"OK");
  ok->SetBounds(10, 10, 75, 25);
  ok->SetModalResult(mrOk);
  bool otherEnabledDuring = true;
  ok->OnClick = [&](TObject*) { otherEnabledDuring = ws().IsWindowEnabled(other->Handle()); };
  form->Handle();
  ClickOn(ok);
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_FALSE(otherEnabledDuring);
  EXPECT_TRUE(ws().IsWindowEnabled(other->Handle()));
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(form->Modal());
  EXPECT_EQ(Application().ActiveForm(), other.get());

  // Input to a disabled window is dropped.
  ws().EnableWindow(form->Handle(), false);
  int clicks = 0;
  ok->OnClick = [&](TObject*) { ++clicks; };
  form->Show();
  ClickOn(ok);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 0);
}

TEST_F(Forms, ModalLoopEndsWhenTheWindowIsClosedUnlessCloseQueryRefuses) {
  form->PostMessage(WM_CLOSE);
  EXPECT_EQ(form->ShowModal(), mrCancel);

  int asked = 0;
  form->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++asked > 1; };
  form->PostMessage(WM_CLOSE);
  form->PostMessage(WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);

  // A loop with nothing left to wait for is an error, not a hang.
  form->OnCloseQuery = nullptr;
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
  EXPECT_FALSE(form->Visible());
}

TEST_F(Forms, EnterAndEscapeReachTheDefaultAndCancelButtons) {
  auto* yes = Add<TThemedButton>(form.get(), u"&Ja");
  yes->SetModalResult(mrYes);
  yes->SetDefault(true);
  auto* cancel = Add<TThemedButton>(form.get(), u"Abbrechen");
  cancel->SetModalResult(mrCancel);
  cancel->SetCancel(true);
  auto* memo = Add<TThemedMemo>(form.get());
  auto* box = Add<TThemedCheckBox>(form.get(), u"Box");

  box->SetTabOrder(-1);  // first in tab order: focused when the form shows
  ws().PressKey(VK_RETURN);
  EXPECT_EQ(form->ShowModal(), mrYes);
  EXPECT_EQ(form->ActiveControl(), box);

  ws().PressKey(VK_ESCAPE);
  EXPECT_EQ(form->ShowModal(), mrCancel);

  // The memo takes Enter itself.
  ws().Enqueue([&] { memo->SetFocus(); });
  ws().PressKey(VK_RETURN, {}, u'\r');
  ws().PressKey(VK_ESCAPE);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(memo->Text(), u"\r\n");

  // A focused button answers Enter itself.
  ws().Enqueue([&] { cancel->SetFocus(); });
  ws().PressKey(VK_RETURN);
  EXPECT_EQ(form->ShowModal(), mrCancel);
}

TEST_F(Forms, AcceleratorsTabOrderAndKeyPreview) {
  auto* no = Add<TThemedButton>(form.get(), u"&Nein");
  no->SetModalResult(mrNo);
  auto* retry = Add<TThemedButton>(form.get(), u"&Wiederholen");
  retry->SetModalResult(mrRetry);
  auto* memo = Add<TThemedMemo>(form.get());
  EXPECT_EQ(no->Accelerator(), u'N');
  EXPECT_EQ(no->PlainCaption(), u"Nein");
  EXPECT_EQ(Add<TThemedLabel>(form.get(), u"A && B")->PlainCaption(), u"A & B");

  ws().PressKey(u'W', {false, true, false}, u'w');  // Alt+W
  EXPECT_EQ(form->ShowModal(), mrRetry);

  // A plain letter is typed into an edit box, but works as accelerator elsewhere.
  ws().Enqueue([&] { memo->SetFocus(); });
  ws().PressKey(u'N', {}, u'n');
  ws().Enqueue([&] { no->SetFocus(); });
  ws().PressKey(u'N', {}, u'n');
  EXPECT_EQ(form->ShowModal(), mrNo);
  EXPECT_EQ(memo->Text(), u"n");

  // Tab walks the focusable controls in tab order, Shift+Tab back.
  ws().Enqueue([&] { no->SetFocus(); });
  ws().PressKey(VK_TAB);
  ws().Enqueue([&] { EXPECT_EQ(form->ActiveControl(), retry); });
  ws().PressKey(VK_TAB, {true, false, false});
  ws().PressKey(VK_TAB, {true, false, false});
  ws().Enqueue([&] {
    EXPECT_EQ(form->ActiveControl(), memo);
    form->SetModalResult(mrOk);
  });
  EXPECT_EQ(form->ShowModal(), mrOk);

  // Key preview sees every key first and may swallow it.
  std::vector<std::uint16_t> seen;
  form->SetKeyPreview(true);
  form->OnKeyDown = [&](TObject*, std::uint16_t& key, TShiftState shift) {
    seen.push_back(key);
    if (key == VK_ESCAPE || (key == u'C' && shift.Ctrl)) key = 0;
  };
  retry->SetCancel(true);
  ws().PressKey(VK_ESCAPE);  // swallowed: no cancel
  ws().PressKey(u'C', {false, false, true});
  ws().Enqueue([&] { form->SetModalResult(mrAbort); });
  EXPECT_EQ(form->ShowModal(), mrAbort);
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{VK_ESCAPE, u'C'}));
}

TEST_F(Forms, SentMessagesAreHandledAtOncePostedOnesInTheLoopInOrder) {
  std::vector<int> order;
  constexpr std::uint32_t kMine = WM_USER + 7;
  form->SetMessageHandler(kMine, [&](TMessage& m) {
    order.push_back(static_cast<int>(m.WParam));
    m.Result = 42;
    if (m.WParam == 3) form->SetModalResult(mrOk);
  });
  form->PostMessage(kMine, 2);
  form->PostMessage(kMine, 3);
  EXPECT_EQ(form->Perform(kMine, 1), 42);
  EXPECT_EQ(order, std::vector<int>{1});
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ws().SendMessage(form->Handle(), {kMine, 9, 0, 0}), 42);
  EXPECT_FALSE(ws().PostMessage(0xDEAD, {kMine, 0, 0, 0}));
}

TEST_F(Forms, TimersTickInTheLoopAndStopWhenDisabledOrFreed) {
  auto* timer = new TTimer(form.get());
  timer->SetInterval(1);
  int ticks = 0;
  const std::uint32_t start = ws().TickCount();
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 5) form->SetModalResult(mrOk);
  };
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(ticks, 5);
  EXPECT_GE(ws().TickCount() - start, 5u);

  timer->SetEnabled(false);
  form->PostMessage(WM_CLOSE);
  form->ShowModal();
  EXPECT_EQ(ticks, 5);
  timer->SetEnabled(true);
  delete timer;
  form->PostMessage(WM_CLOSE);
  form->ShowModal();
  EXPECT_EQ(ticks, 5);
}

TEST_F(Forms, AnExceptionInAHandlerReachesTheApplicationAndTheLoopGoesOn) {
  auto* bad = Add<TThemedButton>(form.get(), u"Bad");
  bad->SetBounds(0, 0, 75, 25);
  bad->OnClick = [](TObject*) { throw EConvertError(u"'x' is not a valid integer value"); };
  auto* ok = Add<TThemedButton>(form.get(), u"OK");
  ok->SetBounds(100, 0, 75, 25);
  ok->SetModalResult(mrOk);
  std::vector<String> caught;
  form->Handle();
  ClickOn(bad);
  ClickOn(ok);
  Application().OnException = [&](TObject*, const std::exception& e) {
    caught.push_back(static_cast<const Exception&>(e).Message());
  };
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(caught, std::vector<String>{u"'x' is not a valid integer value"});

  // Without a handler the exception is shown.
  Application().OnException = nullptr;
  ClickOn(bad);
  ClickOn(ok);
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(Application().ShownExceptions, std::vector<String>{u"'x' is not a valid integer value"});
}

TEST_F(Forms, PlacementClientSizeAndCaption) {
  ws().SetScreen({1000, 800}, 96);
  form->SetBorderStyle(TFormBorderStyle::bsSingle);
  form->SetClientWidth(444);
  form->SetClientHeight(293);
  form->SetPosition(TPosition::poScreenCenter);
  form->SetCaption(u"Setup");
  form->Show();
  const TRect r = ws().WindowRect(form->Handle());
  EXPECT_EQ(r.Width() - 444, ws().FrameSize({}, 0, 0).cx);
  EXPECT_EQ(r.Left, (1000 - r.Width()) / 2);
  EXPECT_EQ(r.Top, (800 - r.Height()) / 2);
  EXPECT_EQ(ws().WindowCaption(form->Handle()), u"Setup");
  EXPECT_EQ(form->ClientWidth(), 444);

  // Centred over the owner, owned by its window.
  auto* child = new TForm(form.get());
  child->SetClientWidth(100);
  child->SetClientHeight(50);
  child->SetPosition(TPosition::poOwnerFormCenter);
  child->Show();
  const TRect c = ws().WindowRect(child->Handle());
  EXPECT_EQ(c.Left + c.Width() / 2, r.Left + r.Width() / 2);
  EXPECT_EQ(ws().Params(child->Handle())->Owner, form->Handle());
  EXPECT_EQ(ws().Params(form->Handle())->Owner, Application().Handle());

  TBorderIcons icons;
  icons.SystemMenu = false;
  form->SetBorderIcons(icons);
  form->SetFormStyle(TFormStyle::fsStayOnTop);
  EXPECT_FALSE(ws().Params(form->Handle())->SystemMenu);
  EXPECT_TRUE(ws().Params(form->Handle())->StayOnTop);
  // The help icon reaches the window, with the system menu it belongs to.
  EXPECT_FALSE(ws().Params(form->Handle())->HelpButton);
  icons.Help = true;
  form->SetBorderIcons(icons);
  EXPECT_FALSE(ws().Params(form->Handle())->HelpButton);
  icons.SystemMenu = true;
  form->SetBorderIcons(icons);
  EXPECT_TRUE(ws().Params(form->Handle())->HelpButton);
  EXPECT_EQ(Screen().PixelsPerInch(), 96);
  EXPECT_EQ(Screen().Width(), 1000);
}

TEST_F(Forms, ApplicationMinimiseRestoreAndHelp) {
  form->Show();
  int minimized = 0, restored = 0;
  Application().OnMinimize = [&](TObject*) { ++minimized; };
  Application().OnRestore = [&](TObject*) { ++restored; };
  Application().Minimize();
  EXPECT_TRUE(ws().IsIconic(form->Handle()));
  Application().Minimize();
  Application().Restore();
  EXPECT_FALSE(ws().IsIconic(form->Handle()));
  EXPECT_EQ(minimized, 1);
  EXPECT_EQ(restored, 1);

  std::vector<int> contexts;
  Application().OnHelp = [&](int c) {
    contexts.push_back(c);
    return true;
  };
  auto* box = Add<TThemedCheckBox>(form.get(), u"x");
  box->SetHelpContext(77);
  box->SetFocus();
  ws().PressKey(VK_F1);
  Application().ProcessMessages();
  EXPECT_EQ(contexts, std::vector<int>{77});
  Application().SetTitle(u"Autorun");
  EXPECT_EQ(Application().Title(), u"Autorun");
  EXPECT_EQ(ws().WindowCaption(Application().Handle()), u"Autorun");
}

// --- Controls -----------------------------------------------------------------------------

TEST_F(Forms, CheckAndRadioButtonsSizeToCaptionAndToggle) {
  auto* box = Add<TThemedCheckBox>(form.get(), u"Nicht mehr anzeigen");
  // 13 box + 4 gap + 19 characters of 6 pixels + 1.
  EXPECT_EQ(box->Width(), 13 + 4 + 19 * 6 + 1);
  EXPECT_EQ(box->Height(), 17);
  box->SetBounds(10, 10, box->Width() + 100, box->Height());
  EXPECT_EQ(box->Width(), 13 + 4 + 19 * 6 + 1 + 100);  // widening by hand is allowed
  TFont big;
  big.Size = 12;
  box->SetFont(big);
  EXPECT_EQ(box->Height(), THeadlessWindowSystem::LineHeight(16));

  auto* r1 = Add<TThemedRadioButton>(form.get(), u"Eins");
  auto* r2 = Add<TThemedRadioButton>(form.get(), u"Zwei");
  r2->SetTop(40);
  r1->SetChecked(true);
  form->Show();
  ClickOn(r2);
  ClickOn(box);
  Application().ProcessMessages();
  EXPECT_FALSE(r1->Checked());
  EXPECT_TRUE(r2->Checked());
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(form->ActiveControl(), box);
  ws().PressKey(VK_SPACE, {}, u' ');
  Application().ProcessMessages();
  EXPECT_FALSE(box->Checked());

  // Radio buttons: the arrow keys move to the neighbour of the same parent
  // and check it (wrapping around); Space checks the focused one.
  int clicks = 0;
  r1->OnClick = [&](TObject*) { ++clicks; };
  r2->SetFocus();
  ws().PressKey(VK_DOWN);
  Application().ProcessMessages();
  EXPECT_EQ(form->ActiveControl(), r1);
  EXPECT_TRUE(r1->Checked());
  EXPECT_FALSE(r2->Checked());
  ws().PressKey(VK_UP);
  ws().PressKey(VK_UP);
  ws().PressKey(VK_SPACE, {}, u' ');
  Application().ProcessMessages();
  EXPECT_EQ(form->ActiveControl(), r1);
  EXPECT_EQ(clicks, 3);
}

TEST_F(Forms, HtmlLabelParsesWrapsSizesAndReportsLinks) {
  const auto runs = THtmlLabel::Parse(u"A&#228;&#x4E2D;&amp;<br>x<a href=\"http://e.x/?a=1&amp;b\">link</a>&bogus;<i>z");
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].Text, u"A\u00E4\u4E2D&");
  EXPECT_TRUE(runs[1].Break);
  EXPECT_EQ(runs[3].HRef, u"http://e.x/?a=1&b");
  EXPECT_EQ(runs[4].Text, u"&bogus;z");

  auto* label = Add<THtmlLabel>(form.get(), u"Eins<br>zwei drei\nvier");
  EXPECT_EQ(label->PlainText(), u"Eins\r\nzwei drei vier");
  // Not wrapping: as wide as the longest line, two lines high.
  EXPECT_EQ(label->Width(), 14 * 6);
  EXPECT_EQ(label->Height(), 2 * 13);

  label->SetWordWrap(true);
  label->SetBounds(0, 0, 60, 100);  // wraps at ten characters
  EXPECT_EQ(label->LineTexts(), (std::vector<String>{u"Eins", u"zwei drei", u"vier"}));
  EXPECT_EQ(label->Width(), 9 * 6);
  EXPECT_EQ(label->Height(), 3 * 13);

  // A word longer than the width stands on its own line.
  label->SetBounds(0, 0, 30, 100);
  label->SetCaption(u"ab Donaudampfschiff cd");
  EXPECT_EQ(label->LineTexts(), (std::vector<String>{u"ab", u"Donaudampfschiff", u"cd"}));

  // Cut off with an ellipsis when it does not fit.
  label->SetAutoSize(false);
  label->SetEndEllipsis(true);
  label->SetWordWrap(false);
  label->SetCaption(u"Ein ziemlich langer Text");
  label->SetBounds(0, 0, 60, 13);
  form->Show();
  Application().ProcessMessages();
  bool sawEllipsis = false;
  for (const String& op : ws().PaintLog(form->Handle()))
    if (op.find(u" zie...") != String::npos) sawEllipsis = true;
  EXPECT_TRUE(sawEllipsis);

  // Attributes are read as HTML reads them: whole names, blanks around "=",
  // either quote, values without quotes.
  EXPECT_EQ(THtmlLabel::Parse(u"<a data-href=\"wrong\" href=\"right\">x</a>")[0].HRef, u"right");
  EXPECT_EQ(THtmlLabel::Parse(u"<a href = \"x y\">x</a>")[0].HRef, u"x y");
  EXPECT_EQ(THtmlLabel::Parse(u"<A HREF='q'>x</a>")[0].HRef, u"q");
  EXPECT_EQ(THtmlLabel::Parse(u"<a title=\"href=no\" href=yes>x</a>")[0].HRef, u"yes");
  EXPECT_EQ(THtmlLabel::Parse(u"<a href>x</a><a =>y</a>")[0].HRef, u"");

  // A click on the link reports its target.
  label->SetAutoSize(true);
  label->SetCaption(u"Mehr unter <a href=\"help://42\">Hilfe</a>.");
  EXPECT_EQ(label->LinkAt({11 * 6 + 2, 5}), u"help://42");
  EXPECT_EQ(label->LinkAt({2, 5}), u"");
  std::vector<String> clicked;
  label->OnLinkClick = [&](TObject*, const String& href) { clicked.push_back(href); };
  ws().Click(form->Handle(), {label->Left() + 11 * 6 + 2, label->Top() + 5});
  ws().Click(form->Handle(), {label->Left() + 2, label->Top() + 5});
  Application().ProcessMessages();
  EXPECT_EQ(clicked, std::vector<String>{u"help://42"});

  // The caption is laid out once per change, not per mouse move or paint.
  const int before = ws().MeasureCanvasCount();
  for (int i = 0; i < 20; ++i) ws().MoveMouse(form->Handle(), {label->Left() + i, label->Top() + 5});
  ws().Invalidate(form->Handle());
  Application().ProcessMessages();
  EXPECT_EQ(ws().MeasureCanvasCount(), before);
  label->SetCaption(u"neu");
  EXPECT_GT(ws().MeasureCanvasCount(), before);
}

TEST_F(Forms, MemoShowsScrollBarsOnlyWhenNeeded) {
  auto* memo = Add<TThemedMemo>(form.get());
  memo->SetScrollBars(TScrollStyle::ssBoth);
  memo->SetBounds(0, 0, 200, 100);
  memo->SetText(u"short");
  EXPECT_FALSE(memo->HorzScrollBarShown());
  EXPECT_FALSE(memo->VertScrollBarShown());
  memo->SetText(String(40, u'x'));
  EXPECT_TRUE(memo->HorzScrollBarShown());
  EXPECT_FALSE(memo->VertScrollBarShown());
  memo->SetText(u"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8");
  EXPECT_TRUE(memo->VertScrollBarShown());
  memo->SetScrollBars(TScrollStyle::ssNone);
  EXPECT_FALSE(memo->VertScrollBarShown());

  // Ctrl+C copies the selection, and only when there is one; Ctrl+A
  // selects all without touching the clipboard.
  memo->SetText(u"copy me");
  form->Show();
  memo->SetFocus();
  ws().SetClipboardText(u"before");
  ws().PressKey(u'C', {false, false, true});
  ws().PressKey(u'A', {false, false, true});
  Application().ProcessMessages();
  EXPECT_EQ(ws().ClipboardText(), u"before");
  ws().PressKey(u'C', {false, false, true});
  Application().ProcessMessages();
  EXPECT_EQ(ws().ClipboardText(), u"copy me");
}

TEST_F(Forms, MemoCaretSelectionAndScrolling) {
  auto* memo = Add<TThemedMemo>(form.get());
  memo->SetScrollBars(TScrollStyle::ssBoth);
  memo->SetBounds(0, 0, 200, 4 + 5 * 13);  // five lines
  String text;
  for (int i = 0; i < 20; ++i) text += u"Zeile " + IntToStr(i) + (i < 19 ? u"\r\n" : u"");
  memo->SetText(text);
  memo->SetReadOnly(true);
  form->Show();
  memo->SetFocus();
  EXPECT_EQ(memo->LineCount(), 20);
  EXPECT_EQ(memo->VisibleLines(), 5);
  auto keys = [&](std::initializer_list<std::uint16_t> list, TShiftState shift = {}) {
    for (std::uint16_t k : list) ws().PressKey(k, shift);
    Application().ProcessMessages();
  };
  // Down past the last shown line scrolls; Shift extends the selection.
  keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN});
  EXPECT_EQ(memo->TopLine(), 2);
  EXPECT_EQ(memo->CaretPos(), 6 * 9);
  keys({VK_END}, {true, false, false});
  EXPECT_EQ(memo->SelText(), u"Zeile 6");
  keys({VK_NEXT});
  EXPECT_EQ(memo->TopLine(), 7);
  keys({VK_HOME}, {false, false, true});
  EXPECT_EQ(memo->CaretPos(), 0);
  EXPECT_EQ(memo->TopLine(), 0);
  keys({VK_END}, {true, false, true});
  EXPECT_EQ(memo->SelText(), text);
  EXPECT_EQ(memo->TopLine(), 15);
  // The wheel scrolls three lines a notch; a click on the bar a page.
  ws().Wheel(form->Handle(), 120);
  Application().ProcessMessages();
  EXPECT_EQ(memo->TopLine(), 12);
  ws().Click(form->Handle(), {200 - 5, 2});
  Application().ProcessMessages();
  EXPECT_EQ(memo->TopLine(), 7);
  // A drag with the mouse selects.
  memo->SetTopLine(0);
  ws().MoveMouse(form->Handle(), {2 + 6 * 2, 2 + 13 + 3});
  ws().Enqueue([&] {
    TMessage down{WM_LBUTTONDOWN, 1, (18 << 16) | 14, 0};
    TMessage move{WM_MOUSEMOVE, 1, (31 << 16) | 26, 0};
    TMessage up{WM_LBUTTONUP, 0, (31 << 16) | 26, 0};
    form->WindowMessage(down);
    form->WindowMessage(move);
    form->WindowMessage(up);
  });
  Application().ProcessMessages();
  EXPECT_EQ(memo->SelText(), u"ile 1\r\nZeil");
  // Read-only: typing changes nothing.
  ws().PressKey(u'X', {}, u'x');
  keys({VK_DELETE});
  EXPECT_EQ(memo->Text(), text);

  // Editable: typing replaces the selection; Backspace takes CR LF as one.
  memo->SetReadOnly(false);
  memo->SetText(u"ab\r\ncd");
  memo->SetSel(1, 4);
  ws().PressKey(u'X', {true, false, false}, u'X');
  Application().ProcessMessages();
  EXPECT_EQ(memo->Text(), u"aXd");
  memo->SetSel(1, 0);
  ws().PressKey(VK_RETURN, {}, u'\r');
  Application().ProcessMessages();
  EXPECT_EQ(memo->Text(), u"a\r\nXd");
  ws().PressKey(VK_BACK, {}, u'\b');
  Application().ProcessMessages();
  EXPECT_EQ(memo->Text(), u"aXd");

  // Without a horizontal bar long lines wrap at the width.
  memo->SetScrollBars(TScrollStyle::ssVertical);
  memo->SetText(u"eins zwei drei vier f\u00FCnf sechs sieben acht neun zehn elf zw\u00F6lf dreizehn");
  EXPECT_FALSE(memo->HorzScrollBarShown());
  EXPECT_GT(memo->LineCount(), 1);
  EXPECT_EQ(memo->LineText(0), u"eins zwei drei vier f\u00FCnf sechs ");  // 32 characters fit
}

TEST_F(Forms, FocusCanBeChosenBeforeTheFormShowsAndFormsAreFoundByWindow) {
  auto* a = Add<TThemedButton>(form.get(), u"A");
  auto* b = Add<TThemedButton>(form.get(), u"B");
  b->SetLeft(100);
  form->SetActiveControl(b);
  EXPECT_EQ(form->ActiveControl(), b);
  b->SetVisible(false);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_THROW(form->SetActiveControl(b), EInvalidOperation);
  b->SetVisible(true);
  form->SetActiveControl(b);
  form->Show();
  EXPECT_EQ(form->ActiveControl(), b);
  EXPECT_NE(form->ActiveControl(), a);
  EXPECT_EQ(Application().FindForm(form->Handle()), form.get());
  EXPECT_EQ(Application().FindForm(0), nullptr);
  EXPECT_EQ(Application().FindForm(Application().Handle()), nullptr);
}

TEST_F(Forms, PropertiesByNameFollowTheClass) {
  auto* label = Add<TThemedLabel>(form.get(), u"x");
  EXPECT_TRUE(label->SetPropertyByName(u"parentthememode", 0));
  EXPECT_TRUE(label->SetPropertyByName(u"Transparent", 1));
  EXPECT_TRUE(label->SetPropertyByName(u"ThemeMode", ttmNone));
  EXPECT_FALSE(label->ParentThemeMode());
  EXPECT_TRUE(label->Transparent());
  EXPECT_EQ(label->ThemeMode(), ttmNone);
  EXPECT_FALSE(label->SetPropertyByName(u"Flat", 1));

  auto* pages = Add<TThemedPageControl>(form.get());
  EXPECT_TRUE(pages->SetPropertyByName(u"Flat", 1));
  EXPECT_TRUE(pages->Flat());
  auto* panel = Add<TThemedPanel>(form.get());
  EXPECT_TRUE(panel->SetPropertyByName(u"BorderStyle", 0));
  EXPECT_EQ(panel->BorderStyle(), TPanelBorder::bsNone);
  EXPECT_FALSE(panel->HasProperty(u"TransparentSelection"));
  EXPECT_TRUE(Add<TThemedListBox>(form.get())->HasProperty(u"TransparentSelection"));
}

TEST_F(Forms, PaintingDrawsTheControlsAtTheirPlaces) {
  form->SetClientWidth(200);
  form->SetClientHeight(100);
  auto* panel = Add<TThemedPanel>(form.get());
  panel->SetBounds(0, 50, 200, 50);
  panel->SetBorderStyle(TPanelBorder::bsNone);
  panel->SetEtchedTopLine(true);
  panel->SetColor(0xF0F0F0);
  auto* ok = Add<TThemedButton>(panel, u"OK");
  ok->SetBounds(120, 12, 75, 25);
  form->Show();
  Application().ProcessMessages();
  const auto& log = ws().PaintLog(form->Handle());
  auto has = [&](StringView s) { return std::find(log.begin(), log.end(), String(s)) != log.end(); };
  EXPECT_TRUE(has(u"fill 0,50,200x50 #F0F0F0"));
  EXPECT_TRUE(has(u"line 0,50-200,50 #A0A0A0"));
  EXPECT_TRUE(has(u"text 151,68 #000000 OK")) << ToUtf8(log.back());
  const int paints = ws().PaintCount(form->Handle());
  ok->SetCaption(u"Fertig");
  Application().ProcessMessages();
  EXPECT_EQ(ws().PaintCount(form->Handle()), paints + 1);
}

TEST(Canvas, WrapAndEllipsisOnTheMeasuringCanvas) {
  THeadlessWindowSystem ws;
  auto c = ws.MeasureCanvas();
  EXPECT_EQ(c->TextWidth(u"abc"), 18);
  EXPECT_EQ(c->WrapLines(u"one two three", 42), (std::vector<String>{u"one two", u"three"}));
  EXPECT_EQ(c->WrapLines(u"a\r\n\nb", 0), (std::vector<String>{u"a", u"", u"b"}));
  EXPECT_EQ(c->EllipsisText(u"abcdefgh", 36), u"abc...");
  EXPECT_EQ(c->EllipsisText(u"abc", 36), u"abc");
  TTextFormat f;
  f.WordWrap = true;
  f.CalcRect = true;
  EXPECT_EQ(c->TextRect(Bounds(5, 5, 42, 100), u"one two three", f), Bounds(5, 5, 42, 26));
  EXPECT_EQ(MulDiv(75, 120, 96), 94);
  EXPECT_EQ(MulDiv(-7, 1, 2), -4);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(2147483647, 2, 1), -1);  // beyond 32 bits: -1, never a wrapped value
  EXPECT_EQ(MulDiv(-2147483647 - 1, 3, 2), -1);
  EXPECT_EQ(MulDiv(2147483647, 2, 2), 2147483647);  // the product may exceed 32 bits

  TBitmap strip(48, 16, 0x00FF00);
  strip.SetPixel(0, 15, 0xFF00FF);
  strip.UseBottomLeftAsTransparent();
  TImageList list(16, 16);
  EXPECT_EQ(list.AddStrip(strip), 3);
  EXPECT_TRUE(list.Image(2).Transparent);
  EXPECT_EQ(list.Image(2).TransparentColor, 0xFF00FFu);
  EXPECT_THROW(list.Image(3), EListError);
  EXPECT_EQ(ws.StockIcon(TStockIcon::Warning, 32).Width(), 32);
}

TEST_F(Forms, StoredLayoutsAndTheCreatingState) {
  bool creatingInside = false;
  RegisterStoredLayout(u"TSetupForm", [&](TCustomForm& f, TReader& r) {
    creatingInside = f.Creating();
    f.SetCaption(u"Setup");
    auto* b = new TThemedButton(&f);
    b->SetParent(&f);
    b->SetName(u"OkButton");
    r.OldCreateOrder = true;
  });
  int created = 0;
  form->OnCreate = [&](TObject*) { ++created; };
  EXPECT_FALSE(form->InitInheritedComponent(u"TOtherForm"));
  form->SetCreating(true);
  EXPECT_TRUE(form->InitInheritedComponent(u"tsetupform"));
  form->SetCreating(false);
  EXPECT_TRUE(creatingInside);
  EXPECT_FALSE(form->Creating());
  EXPECT_TRUE(form->OldCreateOrder());
  EXPECT_NE(form->FindComponent(u"okbutton"), nullptr);
  form->AfterConstruction();  // OldCreateOrder: OnCreate was due earlier
  EXPECT_EQ(created, 0);
  form->SetOldCreateOrder(false);
  form->AfterConstruction();
  EXPECT_EQ(created, 1);
  UnregisterStoredLayout(u"TSetupForm");
  EXPECT_EQ(FindStoredLayout(u"TSetupForm"), nullptr);

  // Icons behind handles come back at the size asked for.
  TBitmap icon(16, 16, 0x123456);
  const std::uintptr_t h = ws().RegisterIcon(icon);
  EXPECT_EQ(ws().IconFromHandle(h, 32).Width(), 32);
  EXPECT_EQ(ws().IconFromHandle(h, 32).Pixel(31, 31), 0x123456u);
  EXPECT_TRUE(ws().IconFromHandle(h + 1, 32).Empty());
}

TEST_F(Forms, MouseHoverCaptureAndDisabledControls) {
  auto* button = Add<TThemedButton>(form.get(), u"Go");
  button->SetBounds(10, 10, 75, 25);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  form->Show();
  const HWND h = form->Handle();
  ws().MoveMouse(h, {20, 20});
  Application().ProcessMessages();
  EXPECT_TRUE(button->MouseInControl());
  ws().MoveMouse(h, {200, 200});
  Application().ProcessMessages();
  EXPECT_FALSE(button->MouseInControl());

  // Pressed on the button, released outside: no click.
  ws().Enqueue([&] { ws().SendMessage(h, {WM_LBUTTONDOWN, 1, (20 << 16) | 20, 0}); });
  ws().Enqueue([&] { EXPECT_TRUE(button->Pressed()); });
  ws().Enqueue([&] { ws().SendMessage(h, {WM_LBUTTONUP, 0, (200 << 16) | 200, 0}); });
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(button->Pressed());

  // A disabled control (or one on a disabled parent) takes no clicks.
  button->SetEnabled(false);
  ClickOn(button);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 0);
  button->SetEnabled(true);
  ClickOn(button);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW((button->SetEnabled(false), button->SetFocus()), EInvalidOperation);
}

TEST_F(Forms, CloseActionsAndFreeingForms) {
  // caNone keeps the modal loop going; caFree frees the form afterwards.
  int closes = 0;
  form->OnClose = [&](TObject*, TCloseAction& a) { a = ++closes == 1 ? TCloseAction::caNone : TCloseAction::caHide; };
  form->PostMessage(WM_CLOSE);
  form->PostMessage(WM_CLOSE);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(closes, 2);

  auto* loose = new TForm(nullptr);
  bool destroyed = false;
  loose->OnDestroy = [&](TObject*) { destroyed = true; };
  loose->OnClose = [](TObject*, TCloseAction& a) { a = TCloseAction::caFree; };
  loose->Show();
  Application().SetMainForm(loose);
  EXPECT_EQ(Screen().FormCount(), 2);
  loose->Close();
  EXPECT_FALSE(loose->Visible());
  EXPECT_FALSE(destroyed);  // freed by a posted message, not inside Close
  Application().ProcessMessages();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Screen().FormCount(), 1);
  EXPECT_EQ(Application().MainForm(), nullptr);
  EXPECT_EQ(Screen().Forms(0), form.get());
  EXPECT_THROW(Screen().Forms(1), EListError);

  // Nested: a modal form over a modal form.
  other = std::make_unique<TForm>(nullptr);
  form->OnClose = nullptr;
  ws().Enqueue([&] {
    EXPECT_EQ(Application().ModalLevel(), 1);
    other->PostMessage(WM_CLOSE);
    EXPECT_EQ(other->ShowModal(), mrCancel);
    EXPECT_TRUE(ws().IsWindowEnabled(form->Handle()));
    form->SetModalResult(mrOk);
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_EQ(Application().ModalLevel(), 0);
  EXPECT_THROW((form->Show(), form->ShowModal()), EInvalidOperation);
}

TEST_F(Forms, FontsFollowTheParentUntilSetOwnTheirOwn) {
  auto* panel = Add<TThemedPanel>(form.get());
  auto* inherits = Add<TThemedLabel>(panel, u"abc");
  auto* own = Add<TThemedLabel>(panel, u"abc");
  TFont mine;
  mine.Name = u"Courier New";
  own->SetFont(mine);
  TFont big;
  big.Name = u"Segoe UI";
  big.Height = -22;
  form->SetFont(big);
  EXPECT_EQ(panel->Font().Name, u"Segoe UI");
  EXPECT_EQ(inherits->Font().Height, -22);
  EXPECT_EQ(inherits->Width(), 3 * THeadlessWindowSystem::CharWidth(22));  // re-sized to the new font
  EXPECT_EQ(own->Font().Name, u"Courier New");
  own->SetParentFont(true);
  EXPECT_EQ(own->Font().Name, u"Segoe UI");
}

TEST_F(Forms, HeadlessQueueTimeAndPainting) {
  auto* timer = new TTimer(form.get());
  timer->SetInterval(50);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) { ++ticks; };
  const std::uint32_t t0 = ws().TickCount();
  // Without waiting, a timer that is not due does not fire and time stands still.
  Application().ProcessMessages();
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(ws().TickCount(), t0);
  EXPECT_TRUE(Application().HandleMessage());  // waits: the clock moves to the timer
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(ws().TickCount(), t0 + 50);

  // Hidden windows are not painted; shown ones once per change.
  EXPECT_EQ(ws().PaintCount(form->Handle()), 0);
  form->Show();
  Application().ProcessMessages();
  EXPECT_EQ(ws().PaintCount(form->Handle()), 1);
  Application().ProcessMessages();
  EXPECT_EQ(ws().PaintCount(form->Handle()), 1);

  // Messages to a window that is gone are dropped; Terminate ends the loop.
  const HWND h = form->Handle();
  form->PostMessage(WM_USER + 1);
  form->DestroyHandle();
  EXPECT_FALSE(ws().PostMessage(h, {WM_USER, 0, 0, 0}));
  Application().Terminate();
  EXPECT_FALSE(Application().HandleMessage());
  EXPECT_TRUE(Application().Terminated());
}

TEST(Canvas, AlignmentClippedLinesAndBitmaps) {
  THeadlessWindowSystem ws;
  auto c = ws.MeasureCanvas();
  TTextFormat f;
  f.WordWrap = true;
  f.EndEllipsis = true;
  f.CalcRect = true;
  // Measuring ignores the height; drawing keeps what fits.
  EXPECT_EQ(c->TextRect(Bounds(0, 0, 42, 13), u"one two three four", f).Height(), 3 * 13);

  std::vector<String> log;
  class Recorder final : public TCanvas {
   public:
    explicit Recorder(std::vector<String>& l) : FLog(l) {}
    TSize TextExtent(StringView t) override { return {6 * static_cast<int>(t.size()), 13}; }
    void TextOut(int x, int y, StringView t) override {
      FLog.push_back(IntToStr(x) + u"," + IntToStr(y) + u":" + String(t));
    }
    void FillRect(const TRect& r) override { FLog.push_back(u"fill " + IntToStr(r.Left) + u"," + IntToStr(r.Top)); }
    void FrameRect(const TRect&) override {}
    void RoundRect(const TRect&, int) override {}
    void Line(TPoint, TPoint) override {}
    void Draw(int x, int y, const TBitmap&) override { FLog.push_back(u"draw " + IntToStr(x) + u"," + IntToStr(y)); }
    void SetClip(const TRect*) override {}

   private:
    std::vector<String>& FLog;
  } rec(log);
  f.CalcRect = false;
  rec.TextRect(Bounds(0, 0, 42, 26), u"one two three four", f);
  EXPECT_EQ(log, (std::vector<String>{u"0,0:one two", u"0,13:thre..."}));
  log.clear();
  TTextFormat centred;
  centred.Align = TTextFormat::Center;
  centred.VerticalCenter = true;
  rec.TextRect(Bounds(0, 0, 60, 33), u"abc", centred);
  TTextFormat right;
  right.Align = TTextFormat::Right;
  rec.TextRect(Bounds(0, 0, 60, 33), u"abc", right);
  EXPECT_EQ(log, (std::vector<String>{u"21,10:abc", u"42,0:abc"}));

  // Offsets add up.
  log.clear();
  TOffsetCanvas inner(rec, {100, 50});
  TOffsetCanvas innermost(inner, {5, 5});
  innermost.TextOut(1, 2, u"x");
  innermost.FillRect(Bounds(0, 0, 1, 1));
  innermost.Draw(3, 3, TBitmap(1, 1));
  EXPECT_EQ(log, (std::vector<String>{u"106,57:x", u"fill 105,55", u"draw 108,58"}));

  // Sections outside the bitmap take the transparent colour; BMP bytes.
  TBitmap b(2, 2, 0x112233);
  b.Transparent = true;
  b.TransparentColor = 0xABCDEF;
  const TBitmap part = b.Section(1, 1, 2, 2);
  EXPECT_EQ(part.Pixel(0, 0), 0x112233u);
  EXPECT_EQ(part.Pixel(1, 1), 0xABCDEFu);
  EXPECT_EQ(b.Scaled(4, 6).Height(), 6);
  const std::string bmp = EncodeBmp(b);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(bmp.size(), 54u + 2 * 8);  // rows padded to four bytes
  EXPECT_EQ(static_cast<unsigned char>(bmp[54]), 0x33);  // blue first
}
