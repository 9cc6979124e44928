// The task dialog component and the message dialogs on the headless window
// system, and the message dialogs where nobody can see a window.
#include <gtest/gtest.h>

#include <functional>

#include "WindowSystemTest.h"
#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "platform/Files.h"
#include "text/KVTypes.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVForms.h"
#include "ui/KVMessageDlg.h"
#include "ui/KVTaskDlg.h"

using namespace kv;

namespace {

KV_DECLARE_EXCEPTION(EDivByZero, Exception)

class TaskDlg : public kvtest::WindowSystemTest {
 protected:
  TaskDlg() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>()) {}
  void SetUp() override { FormsModule_Initialize(); }
  void TearDown() override { FormsModule_Finalize(); }
  kvtest::DialogModules modules;
  THeadlessWindowSystem& ws() { return Headless(); }
  // The task dialog form on the screen now.
  static TKVCustomTaskDialog& Shown() {
    auto* f = dynamic_cast<TKVCustomTaskDialog*>(Application().ActiveForm());
    if (!f) throw Exception(u"no task dialog is shown");
    return *f;
  }
  // Runs f once the dialog is up, after what is queued now.
  void Then(std::function<void()> f) { ws().Enqueue(std::move(f)); }
  void Key(std::uint16_t key, TShiftState shift = {}) { ws().PressKey(key, shift); }
  static std::vector<String> Captions(const std::vector<TControl*>& buttons) {
    std::vector<TControl*> row = buttons;
    std::sort(row.begin(), row.end(), [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
    std::vector<String> out;
    for (TControl* c : row) out.push_back(c->Caption());
    return out;
  }
};

}  // namespace

TEST_F(TaskDlg, DefaultsAndButtonIdentifiersThatAreNeverReused) {
  TKVTaskDialog d(nullptr);
  EXPECT_EQ(d.Flags().Bits(), 0x4041u);
  EXPECT_EQ(d.Config().dwFlags, 0x4041u);
  EXPECT_EQ(d.Config().dwCommonButtons, TDCBF_OK_BUTTON);
  EXPECT_EQ(d.Handle(), 0u);
  EXPECT_EQ(d.Config().pszWindowTitle, nullptr);
  EXPECT_EQ(d.ProgressBar().Max(), 100);

  for (int i = 0; i < 3; ++i) d.Buttons().Add();
  EXPECT_EQ(d.Buttons().Buttons(0)->ButtonId(), 200);
  EXPECT_EQ(d.Buttons().Buttons(2)->ButtonId(), 202);
  d.Buttons().Delete(1);
  EXPECT_EQ(d.Buttons().Add()->ButtonId(), 203);
  EXPECT_EQ(d.RadioButtons().Add()->ButtonId(), 300);
  EXPECT_TRUE(d.Buttons().Buttons(0)->Enabled());
  EXPECT_THROW(d.Buttons().Buttons(3), EListError);

  // A text set and emptied again stays present (empty); one never set is absent.
  d.SetContent(u"Inhalt");
  d.SetContent(u"");
  ASSERT_NE(d.Config().pszContent, nullptr);
  EXPECT_EQ(String(d.Config().pszContent), u"");
  EXPECT_EQ(d.Config().pszFooter, nullptr);
  d.SetFooterText(u"");
  EXPECT_EQ(d.Config().pszFooter, nullptr);

  // Flags are written again even when they did not change.
  d.MutableConfig().dwFlags = 0;
  d.SetFlags(d.Flags());
  EXPECT_EQ(d.Config().dwFlags, 0x4041u);
  d.SetCommonButtons({tdcbYes, tdcbNo, tdcbClose});
  EXPECT_EQ(d.Config().dwCommonButtons, 0x26u);
}

TEST_F(TaskDlg, IconsFromCodesOrHandles) {
  TKVTaskDialog d(nullptr);
  d.SetMainIcon(tdiError);
  EXPECT_EQ(d.Config().hMainIcon, 103u);
  d.SetFooterIcon(tdiShield);
  EXPECT_EQ(d.Config().hFooterIcon, 106u);

  TIcon icon;
  icon.SetHandle(ws().RegisterIcon(TBitmap(4, 4, 0xFF)));
  d.SetCustomMainIcon(icon);  // without the handle flag: kept, not used
  EXPECT_EQ(d.CustomMainIcon().Handle(), icon.Handle());
  EXPECT_EQ(d.Config().hMainIcon, 103u);
  TTaskDialogFlags flags = d.Flags();
  flags.Include(tdfUseHiconMain);
  d.SetFlags(flags);
  d.SetMainIcon(tdiWarning);  // ignored under the handle flag
  EXPECT_EQ(d.MainIcon(), tdiError);
  EXPECT_EQ(d.Config().hMainIcon, 103u);
  d.SetCustomMainIcon(icon);
  EXPECT_EQ(d.Config().hMainIcon, icon.Handle());
}

TEST_F(TaskDlg, TheDispatcherTurnsNotificationsIntoOperationsAndEvents) {
  TKVTaskDialog d(nullptr);
  EXPECT_EQ(TKVTaskDialog::NotificationDispatcher(0x10, TDN_CREATED, 0, 0, 0), kE_FAIL);
  std::vector<String> seen;
  const auto ref = reinterpret_cast<std::intptr_t>(&d);
  auto call = [&](std::uint32_t code, std::uintptr_t w, std::intptr_t l = 0) {
    return TKVTaskDialog::NotificationDispatcher(0x20, code, w, l, ref);
  };
  d.OnCreated = [&](TObject* s) { seen.push_back(s == &d ? u"created" : u"?"); };
  d.OnNavigated = [&](TObject*) { seen.push_back(u"navigated"); };
  d.OnDialogConstructed = [&](TObject*) { seen.push_back(u"constructed"); };
  d.OnDestroyed = [&](TObject*) { seen.push_back(u"destroyed"); };
  d.OnHelp = [&](TObject*) { seen.push_back(u"help"); };
  d.OnHyperlink = [&](TObject*, const String& h) { seen.push_back(u"link " + h); };
  d.OnTimer = [&](TObject*, std::uint32_t t) { seen.push_back(u"timer " + IntToStr(t)); };
  d.OnVerificationClicked = [&](TObject*, bool s) { seen.push_back(s ? u"verified" : u"unverified"); };
  d.OnExpandoButtonClicked = [&](TObject*, bool s) { seen.push_back(s ? u"expanded" : u"collapsed"); };
  EXPECT_EQ(call(TDN_CREATED, 0), 0);
  EXPECT_EQ(d.Handle(), 0x20u);
  call(TDN_NAVIGATED, 0);
  call(TDN_DIALOG_CONSTRUCTED, 0);
  call(TDN_DESTROYED, 0);
  call(TDN_HELP, 0);
  call(TDN_HYPERLINK_CLICKED, 0, reinterpret_cast<std::intptr_t>(u"help://3"));
  call(TDN_TIMER, 1500);
  call(TDN_VERIFICATION_CLICKED, 1);
  call(TDN_EXPANDO_BUTTON_CLICKED, 0x100);  // the low byte decides
  call(TDN_EXPANDO_BUTTON_CLICKED, 1);
  EXPECT_EQ(call(99, 0), 0);
  EXPECT_EQ(seen, (std::vector<String>{u"created", u"navigated", u"constructed", u"destroyed", u"help",
                                       u"link help://3", u"timer 1500", u"verified", u"collapsed", u"expanded"}));

  // Buttons: only the first item of an identifier; a handler can keep the
  // dialog open. Radio buttons: every item of the identifier.
  auto* a = static_cast<TKVTaskDlgButton*>(d.Buttons().Add());
  auto* b = static_cast<TKVTaskDlgButton*>(d.Buttons().Add());
  b->SetButtonId(a->ButtonId());
  seen.clear();
  a->OnClick = [&](TObject*, bool& keep) {
    seen.push_back(u"a");
    keep = true;
  };
  b->OnClick = [&](TObject*, bool&) { seen.push_back(u"b"); };
  EXPECT_EQ(call(TDN_BUTTON_CLICKED, 200), 1);
  a->OnClick = [&](TObject*, bool&) { seen.push_back(u"a"); };
  EXPECT_EQ(call(TDN_BUTTON_CLICKED, 200), 0);
  auto* r1 = static_cast<TKVTaskDlgRadioButton*>(d.RadioButtons().Add());
  auto* r2 = static_cast<TKVTaskDlgRadioButton*>(d.RadioButtons().Add());
  r2->SetButtonId(r1->ButtonId());
  r1->OnClick = [&](TObject*) { seen.push_back(u"r1"); };
  r2->OnClick = [&](TObject*) { seen.push_back(u"r2"); };
  call(TDN_RADIO_BUTTON_CLICKED, 300);
  EXPECT_EQ(seen, (std::vector<String>{u"a", u"a", u"r1", u"r2"}));

  // Common buttons by their engine identifiers, when they are in the set.
  d.SetCommonButtons({tdcbOk, tdcbCancel, tdcbClose});
  std::vector<TTaskDialogCommonButton> common;
  d.OnCommonButtonClick = [&](TObject*, TTaskDialogCommonButton id, bool& keep) {
    common.push_back(id);
    keep = id == tdcbClose;
  };
  EXPECT_EQ(call(TDN_BUTTON_CLICKED, kIdCancel), 0);
  EXPECT_EQ(call(TDN_BUTTON_CLICKED, kIdClose), 1);
  EXPECT_EQ(call(TDN_BUTTON_CLICKED, kIdOk), 0);
  EXPECT_EQ(call(TDN_BUTTON_CLICKED, kIdYes), 0);  // not in the set
  EXPECT_EQ(common, (std::vector<TTaskDialogCommonButton>{tdcbCancel, tdcbClose, tdcbOk}));
}

TEST_F(TaskDlg, ExecuteShowsTheDialogAndForwardsChangesWhileItIsOpen) {
  TKVTaskDialog d(nullptr);
  d.SetTitle(u"Titel");
  d.SetMainInstruction(u"Anweisung");
  d.SetCommonButtons({tdcbOk, tdcbCancel});
  TTaskDialogFlags flags = d.Flags();
  flags.Include(tdfShowProgressBar);
  d.SetFlags(flags);
  d.ProgressBar().SetMax(50);
  d.ProgressBar().SetPosition(20);
  auto* weiter = d.Buttons().Add();
  weiter->SetCaption(u"Weiter");
  weiter->SetEnabled(false);
  auto* radio = d.RadioButtons().Add();
  radio->SetCaption(u"Auswahl");
  HWND during = 0;
  d.OnCreated = [&](TObject*) {
    during = d.Handle();
    TKVCustomTaskDialog& form = *dynamic_cast<TKVCustomTaskDialog*>(Application().FindForm(during));
    // The progress bar and the buttons were brought up to date.
    EXPECT_EQ(form.ProgressBar()->Max(), 50);
    EXPECT_EQ(form.ProgressBar()->Position(), 20);
    EXPECT_FALSE(form.Buttons()[0]->Enabled());
  };
  Then([&] {
    // Changes while it is open reach it at once.
    d.SetContent(u"neuer Inhalt");
    EXPECT_EQ(Shown().ContentLabel()->Caption(), u"neuer Inhalt");
    d.SetMainIcon(tdiWarning);
    EXPECT_TRUE(Shown().MainIcon()->Visible());
    d.ProgressBar().SetPosition(30);
    EXPECT_EQ(Shown().ProgressBar()->Position(), 30);
    weiter->SetEnabled(true);
    EXPECT_TRUE(Shown().Buttons()[0]->Enabled());
    radio->Click();
    EXPECT_EQ(Shown().CheckedRadioButton(), 300);
    static_cast<TKVTaskDlgButton*>(weiter)->Click();
  });
  EXPECT_TRUE(d.Execute());
  EXPECT_EQ(d.ResultButtonId(), 200);
  EXPECT_EQ(d.ResultRadioButtonId(), 300);
  EXPECT_NE(during, 0u);
  d.OnCreated = nullptr;
  // The window is gone: the handle is forgotten and nothing is sent.
  EXPECT_EQ(d.Handle(), 0u);
  EXPECT_EQ(Application().FindForm(during), nullptr);
  d.SetContent(u"danach");
  d.ProgressBar().SetPosition(40);
  EXPECT_EQ(d.SendToDialog(TDM_CLICK_BUTTON, 1, 0), 0);

  // Forwarding goes to whatever the handle names, and only while it is set.
  TForm probe(nullptr);
  std::vector<std::uint32_t> received;
  probe.SetMessageHandler(TDM_SET_ELEMENT_TEXT, [&](TMessage& m) { received.push_back(m.Msg); });
  d.SetHandle(probe.Handle());
  d.SetContent(u"an die Probe");
  EXPECT_EQ(received.size(), 1u);

  // OK and custom identifiers are true, Cancel false.
  Then([&] { Key(VK_ESCAPE); });
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.ResultButtonId(), kIdCancel);
  EXPECT_EQ(d.Handle(), 0u);
  d.SetContent(u"nicht mehr an die Probe");
  EXPECT_EQ(received.size(), 1u);
  Then([&] { Shown().Perform(TDM_CLICK_BUTTON, kIdOk); });
  EXPECT_TRUE(d.Execute());
  EXPECT_EQ(d.ResultButtonId(), kIdOk);
}

TEST_F(TaskDlg, AssignCopiesThePropertiesButNotTheEvents) {
  TKVTaskDialog a(nullptr), b(nullptr);
  a.SetTitle(u"T");
  a.SetMainInstruction(u"M");
  a.SetContent(u"C");
  a.SetVerificationText(u"V");
  a.SetExpandedInformation(u"E");
  a.SetExpandedControlText(u"EC");
  a.SetCollapsedControlText(u"CC");
  a.SetFooterText(u"F");
  a.SetMainIcon(tdiInformation);
  a.SetFooterIcon(tdiWarning);
  a.SetCommonButtons({tdcbRetry});
  a.SetWidth(500);
  a.ProgressBar().SetState(tdsPaused);
  auto* item = static_cast<TKVTaskDlgButton*>(a.Buttons().Add());
  item->SetCaption(u"Los");
  item->SetIsDefault(true);
  item->SetIsElevationButton(true);
  a.OnCreated = [](TObject*) {};
  b.Assign(&a);
  EXPECT_EQ(b.Title(), u"T");
  EXPECT_EQ(b.MainInstruction(), u"M");
  EXPECT_EQ(b.FooterText(), u"F");
  EXPECT_EQ(b.MainIcon(), tdiInformation);
  EXPECT_EQ(b.Config().hFooterIcon, 101u);
  EXPECT_EQ(b.CommonButtons(), TTaskDialogCommonButtons({tdcbRetry}));
  EXPECT_EQ(b.Width(), 500);
  EXPECT_EQ(b.ProgressBar().State(), tdsPaused);
  ASSERT_EQ(b.Buttons().Count(), 1);
  auto* copy = static_cast<TKVTaskDlgButton*>(b.Buttons().Buttons(0));
  EXPECT_EQ(copy->Caption(), u"Los");
  EXPECT_EQ(copy->ButtonId(), 200);
  EXPECT_TRUE(copy->IsDefault());
  EXPECT_TRUE(copy->IsElevationButton());
  EXPECT_FALSE(b.OnCreated);
  TObject other;
  EXPECT_THROW(b.Assign(&other), EConvertError);
  EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

TEST_F(TaskDlg, HtmlEncodeTextMakesTheMessageLiteral) {
  EXPECT_EQ(HtmlEncodeText(u"<a> & \"q\"", true, true), u"&#60;a&#62;&#160;&#38;&#160;&#34;q&#34;");
  EXPECT_EQ(HtmlEncodeText(u"\u00E4\u4E2D", false, false), u"&#228;&#20013;");
  EXPECT_EQ(HtmlEncodeText(u"a b", false, false), u"a b");
  // CR LF with text after it: a break, a non-breaking space or nothing.
  EXPECT_EQ(HtmlEncodeText(u"eins\r\nzwei", true, true), u"eins<br>zwei");
  EXPECT_EQ(HtmlEncodeText(u"eins\r\nzwei", true, false), u"eins&#160;zwei");
  EXPECT_EQ(HtmlEncodeText(u"eins\r\nzwei", false, false), u"einszwei");
  // A lone LF or CR is dropped, and so is a CR LF at the very end.
  EXPECT_EQ(HtmlEncodeText(u"eins\nzwei\rdrei", true, true), u"einszweidrei");
  EXPECT_EQ(HtmlEncodeText(u"ende\r\n", true, true), u"ende");
  EXPECT_EQ(HtmlEncodeText(u"ende\r\n ", true, true), u"ende<br>&#160;");
}

TEST_F(TaskDlg, ShowExceptionDialogShowsTheMessageAsAnErrorWithOk) {
  SetApplicationTitle(u"Autorun");
  for (std::uint16_t key : {VK_RETURN, VK_ESCAPE}) {
    Then([&, key] {
      TKVCustomTaskDialog& f = Shown();
      EXPECT_EQ(f.Caption(), u"Autorun");
      EXPECT_TRUE(f.MainIcon()->Visible());
      EXPECT_EQ(f.Config().hMainIcon, kTaskIconError);
      EXPECT_EQ(f.MainInstructionLabel()->PlainText(), u"Division\u00A0by\u00A0zero\u00A0");
      EXPECT_EQ(Captions(f.Buttons()), std::vector<String>{u"OK"});
      EXPECT_TRUE(f.CommonButtons().empty());
      Key(key);
    });
    ShowExceptionDialog(EDivByZero(u"Division by zero"));
    EXPECT_EQ(Application().Forms().size(), 0u) << key;
  }
  Then([&] { Key(VK_ESCAPE); });
  EXPECT_EQ(SimpleMessageDialog(u"x", mtError, {mbOK}), idOK);
}

TEST_F(TaskDlg, ButtonsCaptionsDefaultAndEscape) {
  bool verification = true;
  Then([&] {
    TKVCustomTaskDialog& f = Shown();
    EXPECT_EQ(Captions(f.Buttons()), (std::vector<String>{u"&Ja", u"&Nein"}));
    EXPECT_TRUE(dynamic_cast<TThemedButton*>(f.Buttons()[0])->Default());  // "&Nein", the last entry first
    EXPECT_EQ(f.Config().hMainIcon, kTaskIconQuestion);
    EXPECT_FALSE(f.Verification()->Visible());
    Key(VK_ESCAPE);
  });
  EXPECT_EQ(MessageDialog(u"Weiter?", mtConfirmation, {mbYes, mbNo}, 0, mbNo, u"", verification, nullptr), idNo);
  EXPECT_FALSE(verification);

  // The caller's captions, an empty one standing for the default; Help is
  // never shown; a verification box.
  TKVStringList captions;
  captions.Add(u"Weiter");
  captions.Add(u"");
  Then([&] {
    TKVCustomTaskDialog& f = Shown();
    EXPECT_EQ(Captions(f.Buttons()), (std::vector<String>{u"Weiter", u"Abbrechen"}));
    EXPECT_EQ(f.Caption(), u"Meldung");
    EXPECT_TRUE(f.Verification()->Visible());
    EXPECT_EQ(f.Verification()->Caption(), u"Nicht mehr anzeigen");
    f.Perform(TDM_CLICK_VERIFICATION);
    Key(VK_RETURN);  // the default button is OK, the first
  });
  EXPECT_EQ(TaskMessageDialog(nullptr, u"Meldung", 0, u"Text", mtWarning, {mbOK, mbCancel, mbHelp}, mbOK, &captions,
                              u"Nicht mehr anzeigen", verification),
            idOK);
  EXPECT_TRUE(verification);

  // Every button of the table in member order, and the expanded texts.
  Then([&] {
    TKVCustomTaskDialog& f = Shown();
    EXPECT_EQ(Captions(f.Buttons()), (std::vector<String>{u"&Ja", u"&Nein", u"OK", u"Abbrechen", u"&Abbruch",
                                                          u"&Wiederholen", u"&Ignorieren", u"&Alle", u"&Alle Nein",
                                                          u"A&lle Ja"}));
    std::vector<int> ids;
    for (TControl* c : f.Buttons()) ids.insert(ids.begin(), c->Tag());
    EXPECT_EQ(ids, (std::vector<int>{6, 7, 1, 2, 3, 4, 5, 12, 13, 14}));
    EXPECT_EQ(f.CollapseButton()->Caption(), u"Mehr");
    EXPECT_EQ(f.ExpandedMemo()->Text(), u"Einzelheiten");
    // Expanded information goes to the footer area.
    EXPECT_TRUE(f.Config().dwFlags & TDF_EXPAND_FOOTER_AREA);
    Key(VK_ESCAPE);
  });
  EXPECT_EQ(TaskMessageDialogEx(nullptr, u"T", 0, u"Alle", u"Einzelheiten", mtCustom, MessageButtons::FromBits(0x7FF),
                                mbAll, nullptr, u"Mehr", u"Weniger", u"", verification),
            idCancel);

  // A set without a button that can be shown gets OK.
  for (MessageButtons none : {MessageButtons{}, MessageButtons{mbHelp}, MessageButtons::FromBits(0xF800)}) {
    Then([&] {
      EXPECT_EQ(Captions(Shown().Buttons()), std::vector<String>{u"OK"});
      Key(VK_RETURN);
    });
    EXPECT_EQ(SimpleMessageDialog(u"leer", mtInformation, none), idOK);
  }
}

TEST_F(TaskDlg, TheTitleComesFromTheApplicationOrAKVFormMainForm) {
  SetApplicationTitle(u"Anwendung");
  EXPECT_EQ(MessageDialogTitle(), u"Anwendung");
  TForm plain(nullptr);
  Application().SetMainForm(&plain);
  plain.SetCaption(u"Kein KV-Formular");
  EXPECT_EQ(MessageDialogTitle(), u"Anwendung");
  std::unique_ptr<TKVForm> main(TKVForm::CreateNew<TKVForm>(nullptr));
  Application().SetMainForm(main.get());
  const String exe = platform::ModuleFileName();
  main->SetCaption(u"Daten & Co - " + exe);
  EXPECT_EQ(MessageDialogTitle(), u"Daten && Co");
  Application().SetMainForm(nullptr);
}

TEST_F(TaskDlg, TheOwnerCentresTheDialog) {
  TForm owner(nullptr);
  owner.SetBounds(200, 150, 500, 400);
  owner.Show();
  bool checked = false;
  Then([&] {
    TKVCustomTaskDialog& f = Shown();
    EXPECT_EQ(f.OwnerForm(), &owner);
    EXPECT_EQ(f.Position(), TPosition::poOwnerFormCenter);
    const TRect r = ws().WindowRect(f.Handle());
    EXPECT_EQ(r.Left, 200 + (500 - r.Width()) / 2);
    checked = true;
    Key(VK_RETURN);
  });
  bool verification = false;
  EXPECT_EQ(MessageDialog(u"Hallo", mtInformation, {mbOK}, 0, mbOK, u"", verification, &owner), idOK);
  EXPECT_TRUE(checked);
}

// Where no window can be seen (the program's own headless system), the
// dialog's text goes to standard error and the answer is Enter's.
class NoWindowDialogs : public kvtest::WindowSystemTest {
 protected:
  NoWindowDialogs() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>(false)) {}
  kvtest::DialogModules modules;
};

TEST_F(NoWindowDialogs, AnswerLikeEnterAndWriteTheTextToStandardError) {
  EXPECT_FALSE(WindowSystem().Interactive());
  SetApplicationTitle(u"Autorun");
#ifndef _WIN32
  testing::internal::CaptureStderr();
#endif
  ShowErrorMessage(u"Cannot write log file!");
  bool verification = false;
  const int answer = MessageDialog(u"Weiter?", mtConfirmation, {mbYes, mbNo}, 0, mbNo, u"", verification, nullptr);
  // Without a default among the buttons: the first one, here Cancel.
  const int first = SimpleMessageDialog(u"Kein Standard", mtWarning, {mbRetry, mbCancel});
#ifndef _WIN32
  const std::string err = testing::internal::GetCapturedStderr();
  // Plain blanks and line ends, for people and scripts that read it.
  EXPECT_NE(err.find("[Window Title]\nAutorun\n\n[Content]\nCannot write log file! \n\n[OK] \n=> OK\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("=> Nein"), std::string::npos) << err;
#endif
  EXPECT_EQ(answer, idNo);
  EXPECT_EQ(first, idCancel);
  EXPECT_EQ(Application().Forms().size(), 0u);
}
