// The task dialog form on the headless window system: its build and layout,
// the notifications to the callback, the task dialog messages, keys and
// results.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "WindowSystemTest.h"
#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

namespace {

struct Event {
  std::uint32_t Code;
  std::uintptr_t W;
  String Text;  // the link target of a hyperlink notification
  bool operator==(const Event&) const = default;
};

// Records every notification and answers as the test says.
struct Recorder {
  std::vector<Event> Events;
  std::function<HRESULT32(std::uint32_t, std::uintptr_t)> Answer;
  TKVCustomTaskDialog* Form = nullptr;
  std::vector<std::uint32_t> Codes() const {
    std::vector<std::uint32_t> c;
    for (const Event& e : Events) c.push_back(e.Code);
    return c;
  }
};

HRESULT32 KV_CALLBACK Record(std::uintptr_t hwnd, std::uint32_t msg, std::uintptr_t w, std::intptr_t l,
                             std::intptr_t ref) {
  auto* r = reinterpret_cast<Recorder*>(ref);
  r->Form = dynamic_cast<TKVCustomTaskDialog*>(Application().FindForm(hwnd));
  String text;
  if (msg == TDN_HYPERLINK_CLICKED && l) text = reinterpret_cast<const char16_t*>(l);
  r->Events.push_back({msg, w, text});
  return r->Answer ? r->Answer(msg, w) : 0;
}

struct Outcome {
  HRESULT32 Result = -1;
  int Button = -1, Radio = -1;
  std::int32_t Verification = -1;
};

class TaskDialogForm : public kvtest::WindowSystemTest {
 protected:
  TaskDialogForm() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>()) {}
  void SetUp() override {
    config.cbSize = kTaskDialogConfigSize;
    config.pfCallback = &Record;
    config.lpCallbackData = reinterpret_cast<std::intptr_t>(&rec);
  }
  THeadlessWindowSystem& ws() { return Headless(); }
  TKVCustomTaskDialog& dlg() { return *rec.Form; }

  // Shows the dialog; the steps run one after the other once it is up, each
  // after the input the one before queued.
  Outcome Show(std::vector<std::function<void()>> steps = {}) {
    FSteps = std::move(steps);
    if (!FSteps.empty()) QueueStep(0);
    Outcome o;
    o.Result = EmulatedTaskDialogIndirect(&config, &o.Button, &o.Radio, &o.Verification);
    return o;
  }
  static TPoint Center(TControl* c) {
    const TPoint o = c->FormOrigin();
    return {o.X + c->Width() / 2, o.Y + c->Height() / 2};
  }
  void ClickOn(TControl* c) { ws().Click(c->Form()->Handle(), Center(c)); }
  void Key(std::uint16_t key, TShiftState shift = {}) { ws().PressKey(key, shift); }
  std::intptr_t Send(std::uint32_t msg, std::uintptr_t w = 0, std::intptr_t l = 0) {
    return dlg().Perform(msg, w, l);
  }
  // The common or custom push buttons left to right, by caption.
  std::vector<String> RowCaptions() {
    std::vector<TControl*> row;
    for (TControl* c : dlg().Buttons()) row.push_back(c);
    for (TControl* c : dlg().CommonButtons()) row.push_back(c);
    std::sort(row.begin(), row.end(), [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
    std::vector<String> out;
    for (TControl* c : row) out.push_back(c->Caption());
    return out;
  }
  TControl* ButtonWithId(int id) {
    for (TControl* c : dlg().Buttons())
      if (c->Tag() == id) return c;
    for (TControl* c : dlg().CommonButtons())
      if (c->Tag() == id) return c;
    return nullptr;
  }

  kvtest::DialogModules modules;
  Recorder rec;
  TaskDialogConfig config{};

 private:
  void QueueStep(std::size_t i) {
    ws().Enqueue([this, i] {
      FSteps[i]();
      if (i + 1 < FSteps.size()) QueueStep(i + 1);
    });
  }
  std::vector<std::function<void()>> FSteps;
};

const TaskDialogButtonEntry kYesNoButtons[] = {{6, u"Ja"}, {7, u"Nein"}};

}  // namespace

TEST_F(TaskDialogForm, LaysOutTheColumnAndTheCommonButtonsAt96Dpi) {
  config.pszWindowTitle = u"Titel";
  config.pszMainInstruction = u"Etwas ist schiefgegangen";
  config.hMainIcon = kTaskIconError;
  config.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
  Outcome o = Show({[&] {
    EXPECT_EQ(dlg().Caption(), u"Titel");
    // The text column starts at 52 and is 382 wide with a 32-pixel icon.
    EXPECT_EQ(dlg().ClientWidth(), 444);
    EXPECT_TRUE(dlg().MainIcon()->Visible());
    EXPECT_EQ(dlg().MainIcon()->BoundsRect(), Bounds(10, 10, 32, 32));
    EXPECT_EQ(dlg().MainInstructionLabel()->Left(), 52);
    EXPECT_EQ(dlg().CalculatedWidth() - 10, 382);
    EXPECT_EQ(dlg().LeftMargin(), 42);
    EXPECT_EQ(dlg().MainInstructionLabel()->Top(), 10);
    EXPECT_EQ(dlg().ContentLabel()->Top(), dlg().MainInstructionLabel()->Bottom() + 13);
    // OK, Cancel left to right; the rightmost ends 5 pixels from the edge.
    EXPECT_EQ(RowCaptions(), (std::vector<String>{u"OK", u"Abbrechen"}));
    TControl* cancel = ButtonWithId(2);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->BoundsRect(), Bounds(444 - 5 - 75, 10, 75, 25));
    EXPECT_EQ(ButtonWithId(1)->Left(), 444 - 2 * 80);
    EXPECT_TRUE(dynamic_cast<TThemedButton*>(cancel)->Cancel());
    // The button panel under the content, 10 + 19 + 20 high, to the bottom.
    TThemedPanel* panel = dlg().ButtonPanel();
    EXPECT_EQ(panel->Height(), 49);
    EXPECT_EQ(panel->Top(), dlg().ContentLabel()->Bottom() + 20 + 13);
    EXPECT_EQ(panel->Width(), 444);
    EXPECT_EQ(dlg().ClientHeight(), panel->Bottom());
    EXPECT_FALSE(dlg().BorderIcons().SystemMenu);
    ClickOn(ButtonWithId(1));
  }});
  EXPECT_EQ(o.Result, 0);
  EXPECT_EQ(o.Button, 1);
  EXPECT_EQ(o.Radio, 0);
  EXPECT_EQ(o.Verification, 0);
  EXPECT_EQ(rec.Codes(), (std::vector<std::uint32_t>{TDN_DIALOG_CONSTRUCTED, TDN_CREATED, TDN_BUTTON_CLICKED}));
}

TEST_F(TaskDialogForm, CommonButtonsCarryTheirIdentifiersAndTranslatedCaptions) {
  config.dwCommonButtons = 0x3F;
  Outcome o = Show({[&] {
    EXPECT_EQ(RowCaptions(), (std::vector<String>{u"OK", u"&Ja", u"&Nein", u"Abbrechen", u"&Wiederholen",
                                                  u"Schlie\u00DFen"}));
    std::vector<int> ids;
    for (TControl* c : dlg().CommonButtons()) ids.push_back(c->Tag());
    EXPECT_EQ(ids, (std::vector<int>{3, 4, 2, 7, 6, 1}));  // Close first
    ClickOn(ButtonWithId(3));
  }});
  EXPECT_EQ(o.Button, 3);
}

TEST_F(TaskDialogForm, ButtonsThatDoNotFitWidenTheDialog) {
  TaskDialogButtonEntry many[7];
  for (int i = 0; i < 7; ++i) many[i] = {100 + i, u"Knopf"};
  config.cButtons = 7;
  config.pButtons = many;
  config.nDefaultButton = 103;
  Show({[&] {
    // 7 buttons of 75 with gaps of 5 need 560; the leftmost starts 10 from the edge.
    EXPECT_EQ(dlg().ClientWidth(), 444 + 116 + 10);
    int leftmost = 10000, rightmost = 0;
    for (TControl* c : dlg().Buttons()) leftmost = std::min(leftmost, c->Left()), rightmost = std::max(rightmost, c->Right());
    EXPECT_EQ(leftmost, 10);
    EXPECT_EQ(rightmost, dlg().ClientWidth() - 5);
    // Array order left to right; the default one answers Enter.
    EXPECT_EQ(dlg().Buttons().front()->Tag(), 106);
    EXPECT_LT(ButtonWithId(100)->Left(), ButtonWithId(101)->Left());
    EXPECT_TRUE(dynamic_cast<TThemedButton*>(ButtonWithId(103))->Default());
    Key(VK_RETURN);
  }});
  EXPECT_EQ(rec.Events.back(), (Event{TDN_BUTTON_CLICKED, 103, u""}));
}

TEST_F(TaskDialogForm, ScalesWithTheScreenResolution) {
  ws().SetScreen({1920, 1080}, 144);
  config.hMainIcon = kTaskIconWarning;
  config.pszMainInstruction = u"Gro\u00DF";
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Show({[&] {
    EXPECT_EQ(dlg().ClientWidth(), 666);
    EXPECT_EQ(dlg().MainIcon()->Width(), 48);
    EXPECT_EQ(dlg().MainInstructionLabel()->Left(), 10 + 48 + 10);
    TControl* ok = ButtonWithId(1);
    EXPECT_EQ(ok->Width(), 113);
    EXPECT_EQ(ok->Height(), 38);
    EXPECT_EQ(ok->Right(), 666 - 8);
    EXPECT_EQ(ok->Top(), 30 / 2);
    EXPECT_EQ(dlg().ButtonPanel()->Height(), 15 + 19 + 30);
    Key(VK_RETURN);
  }});
}

TEST_F(TaskDialogForm, CommandLinksSplitCaptionAndNoteAndStack) {
  const TaskDialogButtonEntry links[] = {{10, u"Installieren\nAlles wird eingerichtet"}, {11, u"Abbrechen"},
                                         {12, u"Reparieren\r\nNur die fehlenden Dateien"}};
  config.cButtons = 3;
  config.pButtons = links;
  config.dwFlags = TDF_USE_COMMAND_LINKS;
  config.nDefaultButton = 12;
  config.pszMainInstruction = u"Was soll geschehen?";
  Show({[&] {
    ASSERT_EQ(dlg().Buttons().size(), 3u);
    auto* first = dynamic_cast<TKVCommandLinkButton*>(dlg().Buttons()[0]);
    auto* second = dynamic_cast<TKVCommandLinkButton*>(dlg().Buttons()[1]);
    auto* third = dynamic_cast<TKVCommandLinkButton*>(dlg().Buttons()[2]);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->Caption(), u"Installieren");
    EXPECT_EQ(first->Note(), u"Alles wird eingerichtet");
    EXPECT_EQ(second->Note(), u"");
    EXPECT_EQ(third->Caption(), u"Reparieren");
    EXPECT_TRUE(first->ShowIcon());
    // In the text column, one right under the other, 20 below the content.
    EXPECT_EQ(first->Left(), dlg().ContentLabel()->Left());
    EXPECT_EQ(first->Top(), dlg().ContentLabel()->Bottom() + 20);
    EXPECT_EQ(second->Top(), first->Bottom());
    EXPECT_EQ(dlg().ButtonPanel()->Top(), third->Bottom() + 20 + 13);
    // The default link is the focused one, so Enter clicks it.
    EXPECT_TRUE(third->IsDefault());
    EXPECT_EQ(dlg().ActiveControl(), third);
    Key(VK_RETURN);
  }});
  EXPECT_EQ(rec.Events.back(), (Event{TDN_BUTTON_CLICKED, 12, u""}));

  config.dwFlags = TDF_USE_COMMAND_LINKS_NO_ICON;
  Outcome o = Show({[&] {
    auto* link = dynamic_cast<TKVCommandLinkButton*>(dlg().Buttons()[0]);
    EXPECT_FALSE(link->ShowIcon());
    ClickOn(link);
  }});
  EXPECT_EQ(o.Button, 10);
}

TEST_F(TaskDialogForm, LineBreaksOfTheMainInstruction) {
  config.pszMainInstruction = u"eins\r\nzwei";
  config.pszContent = u"drei\nvier\rf\u00FCnf";
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Show({[&] {
    EXPECT_EQ(dlg().MainInstructionLabel()->Caption(), u"eins<br>zwei");
    EXPECT_EQ(dlg().MainInstructionLabel()->LineCount(), 2);
    // A lone LF stays (and shows as a blank); a lone CR breaks.
    EXPECT_EQ(dlg().ContentLabel()->Caption(), u"drei\nvier<br>f\u00FCnf");
    EXPECT_EQ(dlg().ContentLabel()->LineTexts(), (std::vector<String>{u"drei vier", u"f\u00FCnf"}));
    Key(VK_RETURN);
  }});
}

TEST_F(TaskDialogForm, RadioButtonsAndTheirDefault) {
  const TaskDialogButtonEntry radios[] = {{300, u"Erste"}, {301, u"Zweite"}, {302, u"Dritte"}};
  config.cRadioButtons = 3;
  config.pRadioButtons = radios;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  config.nDefaultRadioButton = 999;  // matches none: the first is checked
  Outcome o = Show({[&] {
    ASSERT_EQ(dlg().RadioButtons().size(), 3u);
    EXPECT_TRUE(dlg().RadioButtons()[0]->Checked());
    EXPECT_EQ(dlg().RadioButtons()[0]->Left(), dlg().ContentLabel()->Left() + 8);
    EXPECT_EQ(dlg().RadioButtons()[1]->Top(), dlg().RadioButtons()[0]->Bottom() + 5);
    Key(VK_RETURN);
  }});
  EXPECT_EQ(o.Radio, 300);

  // Enter still reaches the first button while a radio button has the focus.
  config.nDefaultRadioButton = 302;
  o = Show({[&] {
    EXPECT_TRUE(dlg().RadioButtons()[2]->Checked());
    ClickOn(dlg().RadioButtons()[1]);
  }, [&] {
    EXPECT_EQ(dlg().ActiveControl(), dlg().RadioButtons()[1]);
    Key(VK_RETURN);
  }});
  EXPECT_EQ(o.Button, 1);
  EXPECT_EQ(o.Radio, 301);
  EXPECT_EQ(rec.Events[rec.Events.size() - 2], (Event{TDN_RADIO_BUTTON_CLICKED, 301, u""}));

  config.dwFlags = TDF_NO_DEFAULT_RADIO_BUTTON;
  o = Show({[&] { Key(VK_RETURN); }});
  EXPECT_EQ(o.Radio, 0);
}

TEST_F(TaskDialogForm, EscapeLooksForCancelCloseOrNoAmongCustomButtons) {
  config.cButtons = 2;
  config.pButtons = kYesNoButtons;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Outcome o = Show({[&] {
    EXPECT_EQ(RowCaptions(), (std::vector<String>{u"Ja", u"Nein", u"OK"}));
    Key(VK_ESCAPE);
  }});
  EXPECT_EQ(o.Button, 7);

  // A lone custom button 1 answers Escape; a lone other one does not.
  const TaskDialogButtonEntry one[] = {{1, u"Weiter"}};
  config.pButtons = one;
  config.cButtons = 1;
  config.dwCommonButtons = 0;
  o = Show({[&] { Key(VK_ESCAPE); }});
  EXPECT_EQ(o.Button, 1);
  const TaskDialogButtonEntry five[] = {{5, u"Weiter"}};
  config.pButtons = five;
  rec.Events.clear();
  o = Show({[&] { Key(VK_ESCAPE); }, [&] {
              EXPECT_TRUE(dlg().Visible());
              ClickOn(dlg().Buttons()[0]);
            }});
  EXPECT_EQ(o.Button, 5);
  const auto codes = rec.Codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), TDN_BUTTON_CLICKED), 1);

  // The common Cancel button answers Escape by itself.
  config.cButtons = 2;
  config.pButtons = kYesNoButtons;
  config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
  o = Show({[&] { Key(VK_ESCAPE); }});
  EXPECT_EQ(o.Button, 2);
}

TEST_F(TaskDialogForm, ExpandedInformationUnderTheFooterCollapsesWithoutNotification) {
  config.pszMainInstruction = u"Fehler";
  config.pszExpandedInformation = u"Zeile 1\r\nZeile 2";
  config.pszExpandedControlText = u"Weniger";
  config.pszCollapsedControlText = u"Mehr";
  config.pszFooter = u"Fu\u00DFzeile";
  config.hFooterIcon = kTaskIconInformation;
  config.dwFlags = TDF_EXPAND_FOOTER_AREA | TDF_EXPANDED_BY_DEFAULT;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  int expandedHeight = 0;
  Show({[&] {
    EXPECT_TRUE(dlg().Expanded());
    EXPECT_EQ(dlg().CollapseButton()->Caption(), u"Weniger");
    EXPECT_TRUE(dlg().ExpandedInfoPanel()->Visible());
    EXPECT_EQ(dlg().ExpandedMemo()->Parent(), dlg().ExpandedInfoPanel());
    EXPECT_EQ(dlg().ExpandedMemo()->Text(), u"Zeile 1\r\nZeile 2");
    EXPECT_EQ(dlg().ExpandedMemo()->Height(), 200);
    EXPECT_EQ(dlg().FooterPanel()->Top(), dlg().ButtonPanel()->Bottom());
    EXPECT_EQ(dlg().ExpandedInfoPanel()->Top(), dlg().FooterPanel()->Bottom());
    EXPECT_EQ(dlg().ExpandedInfoPanel()->Height(), 220);
    EXPECT_EQ(dlg().ClientHeight(), dlg().ExpandedInfoPanel()->Bottom());
    // The footer icon at the left, the text beside it.
    EXPECT_TRUE(dlg().FooterIcon()->Visible());
    EXPECT_EQ(dlg().FooterIcon()->Left(), 10);
    EXPECT_EQ(dlg().FooterLabel()->Left(), 16 + 20);
    expandedHeight = dlg().ClientHeight();
    rec.Events.clear();
    ClickOn(dlg().CollapseButton());
  }, [&] {
    EXPECT_FALSE(dlg().Expanded());
    EXPECT_EQ(dlg().CollapseButton()->Caption(), u"Mehr");
    EXPECT_FALSE(dlg().ExpandedInfoPanel()->Visible());
    EXPECT_FALSE(dlg().ExpandedMemo()->Visible());
    EXPECT_EQ(dlg().ClientHeight(), expandedHeight - 220);
    EXPECT_TRUE(rec.Events.empty());
    Key(VK_RETURN);
  }});
}

TEST_F(TaskDialogForm, ExpandedInformationUnderTheContentAndTheVerificationBox) {
  config.pszContent = u"Inhalt";
  config.pszExpandedInformation = u"Details";
  config.pszVerificationText = u"Nicht mehr anzeigen";
  config.dwFlags = TDF_VERIFICATION_FLAG_CHECKED;
  config.dwCommonButtons = TDCBF_YES_BUTTON | TDCBF_NO_BUTTON;
  Outcome o = Show({[&] {
    EXPECT_FALSE(dlg().Expanded());
    EXPECT_FALSE(dlg().ExpandedMemo()->Visible());
    EXPECT_EQ(dlg().ExpandedMemo()->Parent(), &dlg());
    // Collapse button at the left, the check box under it, checked.
    TThemedCheckBox* box = dlg().Verification();
    EXPECT_TRUE(box->Visible());
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(box->Left(), 12);
    EXPECT_EQ(dlg().CollapseButton()->Left(), 10);
    EXPECT_EQ(box->Top(), dlg().CollapseButton()->Bottom() + 5);
    // Neither runs into the buttons.
    EXPECT_LE(box->Right() - 100 + 10, ButtonWithId(6)->Left());
    ClickOn(dlg().CollapseButton());
  }, [&] {
    EXPECT_TRUE(dlg().ExpandedMemo()->Visible());
    EXPECT_EQ(dlg().ExpandedMemo()->Top(), dlg().ContentLabel()->Bottom() + 13);
    EXPECT_EQ(dlg().ExpandedMemo()->Left(), dlg().ContentLabel()->Left());
    ClickOn(dlg().Verification());
    ClickOn(ButtonWithId(7));
  }});
  EXPECT_EQ(o.Button, 7);
  EXPECT_EQ(o.Verification, 0);
}

TEST_F(TaskDialogForm, TheTimerCountRestartsWhenTheCallbackAsks) {
  config.dwFlags = TDF_CALLBACK_TIMER;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  std::vector<std::uintptr_t> ticks;
  rec.Answer = [&](std::uint32_t code, std::uintptr_t w) -> HRESULT32 {
    if (code != TDN_TIMER) return 0;
    ticks.push_back(w);
    if (ticks.size() == 3) return 1;
    if (ticks.size() == 5) dlg().PostMessage(TDM_CLICK_BUTTON, 1);
    return 0;
  };
  Outcome o = Show();
  EXPECT_EQ(o.Button, 1);
  ASSERT_GE(ticks.size(), 5u);
  EXPECT_EQ(ticks[0], 1u);
  EXPECT_EQ(ticks[1], 2u);
  EXPECT_EQ(ticks[2], 3u);
  EXPECT_EQ(ticks[3], 1u);  // counted again from the third tick
  EXPECT_EQ(ticks[4], 2u);
}

TEST_F(TaskDialogForm, ButtonClicksTheCallbackKeepsOpenAndTheSystemMenuClose) {
  const TaskDialogButtonEntry buttons[] = {{0, u"Null"}, {42, u"Antwort"}};
  config.cButtons = 2;
  config.pButtons = buttons;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  rec.Answer = [](std::uint32_t code, std::uintptr_t w) -> HRESULT32 { return code == TDN_BUTTON_CLICKED && w == 42; };
  Outcome o = Show({[&] {
    EXPECT_TRUE(dlg().BorderIcons().SystemMenu);
    ClickOn(ButtonWithId(0));  // identifier 0 never ends the dialog
    ClickOn(ButtonWithId(42));  // kept open by the callback
  }, [&] {
    EXPECT_TRUE(dlg().Visible());
    EXPECT_EQ(dlg().ResultButton(), 42);
    dlg().PostMessage(WM_SYSCOMMAND, SC_CLOSE);
  }});
  EXPECT_EQ(o.Button, 42);

  // Closed before any click: 0.
  o = Show({[&] { dlg().PostMessage(WM_CLOSE); }});
  EXPECT_EQ(o.Button, 0);

  // Without a callback every click closes.
  config.pfCallback = nullptr;
  rec.Form = nullptr;
  o = Show({[&] {
    auto* d = dynamic_cast<TKVCustomTaskDialog*>(Application().ActiveForm());
    ASSERT_NE(d, nullptr);
    d->Perform(TDM_CLICK_BUTTON, 42);
  }});
  EXPECT_EQ(o.Button, 42);
}

TEST_F(TaskDialogForm, CopyKeysPutTheDialogTextOnTheClipboard) {
  config.pszWindowTitle = u"T";
  config.pszMainInstruction = u"M &amp; <b>fett</b>";
  config.cButtons = 2;
  config.pButtons = kYesNoButtons;
  config.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CLOSE_BUTTON;
  const String expected = u"[Window Title]\r\nT\r\n\r\n[Content]\r\nM & fett\r\n\r\n[Nein] [Ja] [Schlie\u00DFen] [OK] ";
  Show({[&] {
    Key(u'C', {false, false, true});
  }, [&] {
    EXPECT_EQ(ws().ClipboardText(), expected);
    ws().SetClipboardText(u"");
    Key(VK_INSERT, {true, true, true});  // other modifiers may be down too
  }, [&] {
    EXPECT_EQ(ws().ClipboardText(), expected);
    Key(VK_RETURN);
  }});

  config.pszWindowTitle = u"Titel";
  config.pszMainInstruction = u"Meldung";
  config.cButtons = 0;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Show({[&] { Key(u'C', {false, false, true}); }, [&] { Key(VK_RETURN); }});
  EXPECT_EQ(ws().ClipboardText(), u"[Window Title]\r\nTitel\r\n\r\n[Content]\r\nMeldung\r\n\r\n[OK] ");
}

TEST_F(TaskDialogForm, LinksInTheTextsReachTheCallback) {
  config.pszContent = u"Siehe <a href=\"https://example.org/hilfe\">Hilfe</a>";
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Show({[&] {
    THtmlLabel* content = dlg().ContentLabel();
    const TPoint o = content->FormOrigin();
    ws().Click(dlg().Handle(), {o.X + 6 * 6 + 3, o.Y + 5});
  }, [&] { Key(VK_RETURN); }});
  ASSERT_GE(rec.Events.size(), 3u);
  EXPECT_EQ(rec.Events[2], (Event{TDN_HYPERLINK_CLICKED, 0, u"https://example.org/hilfe"}));
}

TEST_F(TaskDialogForm, AnswersTheTaskDialogMessages) {
  const TaskDialogButtonEntry links[] = {{20, u"A"}, {21, u"B"}, {21, u"B2"}};
  const TaskDialogButtonEntry radios[] = {{30, u"r1"}, {31, u"r2"}};
  config.cButtons = 3;
  config.pButtons = links;
  config.cRadioButtons = 2;
  config.pRadioButtons = radios;
  config.dwFlags = TDF_USE_COMMAND_LINKS | TDF_SHOW_PROGRESS_BAR;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  config.pszVerificationText = u"Pr\u00FCfen";
  config.pszExpandedInformation = u"alt";
  int heightBefore = 0;
  TaskDialogConfig page2{};
  page2.cbSize = kTaskDialogConfigSize;
  page2.pszMainInstruction = u"Seite 2";
  page2.dwCommonButtons = TDCBF_CANCEL_BUTTON;
  page2.pfCallback = &Record;
  page2.lpCallbackData = reinterpret_cast<std::intptr_t>(&rec);
  rec.Answer = [](std::uint32_t code, std::uintptr_t) -> HRESULT32 { return code == TDN_BUTTON_CLICKED; };
  Outcome o = Show({[&] {
    // Progress range from the two halves of lParam, then the position.
    Send(TDM_SET_PROGRESS_BAR_RANGE, 0, (500 << 16) | 10);
    EXPECT_EQ(dlg().ProgressBar()->Min(), 10);
    EXPECT_EQ(dlg().ProgressBar()->Max(), 500);
    Send(TDM_SET_PROGRESS_BAR_POS, 250);
    EXPECT_EQ(dlg().ProgressBar()->Position(), 250);
    // Texts: taken unchanged, and the layout follows.
    heightBefore = dlg().ClientHeight();
    Send(TDM_SET_ELEMENT_TEXT, TDE_CONTENT, reinterpret_cast<std::intptr_t>(u"a\r\nb<br>c"));
    EXPECT_EQ(dlg().ContentLabel()->Caption(), u"a\r\nb<br>c");
    EXPECT_EQ(dlg().ClientHeight(), heightBefore + 13);
    Send(TDM_SET_ELEMENT_TEXT, TDE_EXPANDED_INFORMATION, reinterpret_cast<std::intptr_t>(u"neu"));
    EXPECT_EQ(dlg().ExpandedMemo()->Text(), u"neu");
    Send(TDM_SET_ELEMENT_TEXT, TDE_FOOTER, reinterpret_cast<std::intptr_t>(u"F"));
    EXPECT_EQ(dlg().FooterLabel()->Caption(), u"F");
    Send(TDM_SET_ELEMENT_TEXT, TDE_MAIN_INSTRUCTION, reinterpret_cast<std::intptr_t>(u"H"));
    EXPECT_EQ(dlg().MainInstructionLabel()->Caption(), u"H");
    // Clicks: the last of two links with one identifier; common buttons
    // when no custom button has the identifier.
    rec.Events.clear();
    Send(TDM_CLICK_BUTTON, 21);
    Send(TDM_CLICK_BUTTON, 1);
    EXPECT_EQ(rec.Events, (std::vector<Event>{{TDN_BUTTON_CLICKED, 21, u""}, {TDN_BUTTON_CLICKED, 1, u""}}));
    EXPECT_EQ(dlg().ResultButton(), 1);
    Send(TDM_CLICK_RADIO_BUTTON, 31);
    EXPECT_EQ(dlg().CheckedRadioButton(), 31);
    EXPECT_EQ(rec.Events.back(), (Event{TDN_RADIO_BUTTON_CLICKED, 31, u""}));
    Send(TDM_ENABLE_BUTTON, 20, 0);
    EXPECT_FALSE(dlg().Buttons()[0]->Enabled());
    Send(TDM_ENABLE_BUTTON, 1, 0);
    EXPECT_FALSE(ButtonWithId(1)->Enabled());
    Send(TDM_ENABLE_BUTTON, 1, 0x101);
    EXPECT_TRUE(ButtonWithId(1)->Enabled());
    Send(TDM_ENABLE_RADIO_BUTTON, 30, 0);
    EXPECT_FALSE(dlg().RadioButtons()[0]->Enabled());
    Send(TDM_CLICK_VERIFICATION);
    EXPECT_TRUE(dlg().VerificationChecked());
    Send(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, 21, 1);
    EXPECT_FALSE(dynamic_cast<TCommandLinkButton*>(dlg().Buttons()[1])->IsElevationButton());
    EXPECT_TRUE(dynamic_cast<TCommandLinkButton*>(dlg().Buttons()[2])->IsElevationButton());
    // Icons: from a code, then through the handle flag set by the private message.
    Send(TDM_UPDATE_ICON, TDIE_ICON_MAIN, kTaskIconShield);
    EXPECT_TRUE(dlg().MainIcon()->Visible());
    EXPECT_EQ(dlg().MainInstructionLabel()->Left(), 52);
    Send(TDM_SET_FLAGS, 0, TDF_USE_COMMAND_LINKS | TDF_USE_HICON_FOOTER);
    EXPECT_EQ(dlg().Config().dwFlags, TDF_USE_COMMAND_LINKS | TDF_USE_HICON_FOOTER);
    const std::uintptr_t icon = ws().RegisterIcon(TBitmap(8, 8, 0x123456));
    Send(TDM_UPDATE_ICON, TDIE_ICON_FOOTER, static_cast<std::intptr_t>(icon));
    EXPECT_EQ(dlg().FooterIcon()->Picture().Pixel(8, 8), 0x123456u);
    Send(TDM_UPDATE_ICON, TDIE_ICON_MAIN, 0);
    EXPECT_FALSE(dlg().MainIcon()->Visible());
    EXPECT_EQ(dlg().MainInstructionLabel()->Left(), 20);
    // Messages the form does not know are ignored.
    Send(TDM_SET_PROGRESS_BAR_STATE, 2);
    Send(TDM_SET_PROGRESS_BAR_MARQUEE, 1);
    // A new page: the old buttons wait hidden in the garbage list.
    rec.Events.clear();
    const std::size_t old = dlg().Buttons().size() + dlg().RadioButtons().size() + dlg().CommonButtons().size();
    Send(TDM_NAVIGATE_PAGE, 0, reinterpret_cast<std::intptr_t>(&page2));
    EXPECT_EQ(rec.Codes(), (std::vector<std::uint32_t>{TDN_DIALOG_CONSTRUCTED, TDN_CREATED, TDN_NAVIGATED}));
    EXPECT_EQ(dlg().GarbageList().size(), old);
    for (TControl* c : dlg().GarbageList()) EXPECT_FALSE(c->Visible());
    EXPECT_TRUE(dlg().Buttons().empty());
    EXPECT_EQ(RowCaptions(), (std::vector<String>{u"Abbrechen"}));
    EXPECT_EQ(dlg().MainInstructionLabel()->Caption(), u"Seite 2");
    EXPECT_FALSE(dlg().Verification()->Visible());
    Send(TDM_NAVIGATE_PAGE, 0, reinterpret_cast<std::intptr_t>(&page2));
    EXPECT_EQ(dlg().GarbageList().size(), 1u);  // the first page's were freed
    rec.Answer = nullptr;
    Key(VK_ESCAPE);
  }});
  EXPECT_EQ(o.Button, 2);
  EXPECT_EQ(o.Radio, 0);
  EXPECT_EQ(o.Verification, 0);
}

TEST_F(TaskDialogForm, BadConfigurationsGiveADialogOrAnErrorNeverACrash) {
  // Nothing at all: no texts, no buttons. A system menu lets it be closed.
  Outcome o = Show({[&] {
    EXPECT_TRUE(dlg().BorderIcons().SystemMenu);
    EXPECT_FALSE(dlg().FooterPanel()->Visible());
    EXPECT_FALSE(dlg().Verification()->Visible());
    Key(VK_ESCAPE);
  }});
  EXPECT_EQ(o.Result, 0);
  EXPECT_EQ(o.Button, 0);

  // Counts without arrays are no buttons; unknown icons show an empty area.
  config.cButtons = 5;
  config.cRadioButtons = 3;
  config.hMainIcon = 4711;
  config.hFooterIcon = 105;
  config.pszFooter = u"";
  config.dwCommonButtons = TDCBF_OK_BUTTON | 0xFFC0;  // bits beyond Close mean nothing
  o = Show({[&] {
    EXPECT_TRUE(dlg().Buttons().empty());
    EXPECT_TRUE(dlg().RadioButtons().empty());
    EXPECT_EQ(dlg().CommonButtons().size(), 1u);
    EXPECT_TRUE(dlg().MainIcon()->Visible());
    EXPECT_EQ(dlg().MainIcon()->Width(), 32);
    EXPECT_FALSE(dlg().FooterIcon()->Visible());
    EXPECT_TRUE(dlg().FooterPanel()->Visible());
    Key(VK_RETURN);
  }});
  EXPECT_EQ(o.Button, 1);

  // Huge counts are refused before anything is read behind the arrays.
  config.pButtons = kYesNoButtons;
  config.cButtons = 0x7FFFFFFF;
  EXPECT_EQ(Show().Result, kE_OUTOFMEMORY);
  config.cButtons = 2;
  config.pRadioButtons = kYesNoButtons;
  config.cRadioButtons = 0xFFFFFFFF;
  EXPECT_EQ(Show().Result, kE_OUTOFMEMORY);
  config.cRadioButtons = 0;

  // Repeated identifiers and null texts in the arrays.
  const TaskDialogButtonEntry same[] = {{9, nullptr}, {9, u"neun"}};
  config.pButtons = same;
  o = Show({[&] {
    EXPECT_EQ(dlg().Buttons().size(), 2u);
    Send(TDM_CLICK_BUTTON, 9);
  }});
  EXPECT_EQ(o.Button, 9);

  // A megabyte of text: the dialog shows, no wider than the screen allows.
  const String huge(1 << 20, u'x');
  config.pszMainInstruction = huge.c_str();
  config.pszContent = huge.c_str();
  config.pszExpandedInformation = huge.c_str();
  config.dwFlags = TDF_EXPANDED_BY_DEFAULT;
  o = Show({[&] {
    EXPECT_LE(dlg().ClientWidth(), ws().ScreenSize().cx - 100);
    Key(VK_RETURN);
  }});
  EXPECT_EQ(o.Result, 0);

  // A failure while building (here: the callback raises) is E_OUTOFMEMORY,
  // and the outputs stay as they were.
  config = TaskDialogConfig{};
  config.cbSize = kTaskDialogConfigSize;
  config.pfCallback = &Record;
  config.lpCallbackData = reinterpret_cast<std::intptr_t>(&rec);
  rec.Answer = [](std::uint32_t code, std::uintptr_t) -> HRESULT32 {
    if (code == TDN_CREATED) throw Exception(u"kaputt");
    return 0;
  };
  o = Show();
  EXPECT_EQ(o.Result, kE_OUTOFMEMORY);
  EXPECT_EQ(o.Button, -1);
  EXPECT_EQ(EmulatedTaskDialogIndirect(nullptr, nullptr, nullptr, nullptr), kE_OUTOFMEMORY);
  EXPECT_EQ(Application().Forms().size(), 0u);
}

TEST_F(TaskDialogForm, OutputsThatAreNotGivenAreNotWritten) {
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  ws().PressKey(VK_RETURN);
  EXPECT_EQ(EmulatedTaskDialogIndirect(&config, nullptr, nullptr, nullptr), 0);
  int button = -1;
  ws().PressKey(VK_RETURN);
  EXPECT_EQ(EmulatedTaskDialog(0, 0, u"T", u"M", u"C", TDCBF_YES_BUTTON | TDCBF_NO_BUTTON, kTaskIconQuestion, &button),
            0);
  EXPECT_EQ(button, 6);  // Enter: the first button from the left
}

TEST_F(TaskDialogForm, OwnerAndStayOnTop) {
  TForm owner(nullptr);
  owner.SetBounds(100, 100, 600, 500);
  owner.SetFormStyle(TFormStyle::fsStayOnTop);
  owner.Show();
  config.hwndParent = owner.Handle();
  config.dwFlags = TDF_POSITION_RELATIVE_TO_WINDOW;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Show({[&] {
    EXPECT_EQ(dlg().OwnerForm(), &owner);
    EXPECT_EQ(dlg().FormStyle(), TFormStyle::fsStayOnTop);
    const TRect r = ws().WindowRect(dlg().Handle());
    EXPECT_EQ(r.Left, 100 + (600 - r.Width()) / 2);
    EXPECT_FALSE(ws().Params(dlg().Handle())->TaskbarButton);
    Key(VK_RETURN);
  }});
  // A window that is no form of the application owns nothing.
  owner.Hide();
  config.hwndParent = 0x7777;
  Show({[&] {
    EXPECT_EQ(dlg().OwnerForm(), nullptr);
    EXPECT_EQ(dlg().FormStyle(), TFormStyle::fsNormal);
    EXPECT_TRUE(ws().Params(dlg().Handle())->TaskbarButton);
    Key(VK_RETURN);
  }});
}

TEST_F(TaskDialogForm, PaintingEndsWithAFrameInTheWindowColour) {
  config.pszMainInstruction = u"Hallo";
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Show({[&] {
    ws().Invalidate(dlg().Handle());
    Application().ProcessMessages();
    const auto& log = ws().PaintLog(dlg().Handle());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), u"frame 0,0," + IntToStr(dlg().ClientWidth()) + u"x" + IntToStr(dlg().ClientHeight()) +
                              u" #FFFFFF");
    Key(VK_RETURN);
  }});
}

TEST_F(TaskDialogForm, NavigationFromAClickTwiceOverAndPagesThatCannotBeBuilt) {
  // The wizard pattern: each click on "Weiter" navigates, twice within one
  // click (from the new page's creation); the clicked button survives.
  const TaskDialogButtonEntry next[] = {{50, u"Weiter"}};
  TaskDialogConfig page2 = config, page3 = config;
  page2.pszMainInstruction = u"Seite 2";
  page3.pszMainInstruction = u"Seite 3";
  page3.dwCommonButtons = TDCBF_CLOSE_BUTTON;
  config.cButtons = 1;
  config.pButtons = next;
  page2.cButtons = 1;
  page2.pButtons = next;
  int pages = 0;
  rec.Answer = [&](std::uint32_t code, std::uintptr_t w) -> HRESULT32 {
    if (code == TDN_BUTTON_CLICKED && w == 50) {
      dlg().Perform(TDM_NAVIGATE_PAGE, 0, reinterpret_cast<std::intptr_t>(&page2));
      return 1;
    }
    if (code == TDN_NAVIGATED && ++pages == 1)
      dlg().Perform(TDM_NAVIGATE_PAGE, 0, reinterpret_cast<std::intptr_t>(&page3));
    return 0;
  };
  Outcome o = Show({[&] { Send(TDM_CLICK_BUTTON, 50); },
                    [&] {
                      EXPECT_EQ(dlg().MainInstructionLabel()->Caption(), u"Seite 3");
                      EXPECT_EQ(RowCaptions(), std::vector<String>{u"Schlie\u00DFen"});
                      // A page whose counts are beyond any dialog is refused; the page stays.
                      TaskDialogConfig bad = page3;
                      bad.cButtons = 100000;
                      bad.pButtons = next;
                      EXPECT_THROW(Send(TDM_NAVIGATE_PAGE, 0, reinterpret_cast<std::intptr_t>(&bad)), EInvalidOperation);
                      EXPECT_EQ(RowCaptions(), std::vector<String>{u"Schlie\u00DFen"});
                      ClickOn(ButtonWithId(kIdClose));
                    }});
  EXPECT_EQ(o.Result, 0);
  EXPECT_EQ(o.Button, kIdClose);

  // A callback that fails while a page is built leaves a dialog that can
  // still be closed.
  pages = 0;
  rec.Answer = [&](std::uint32_t code, std::uintptr_t) -> HRESULT32 {
    if (code == TDN_DIALOG_CONSTRUCTED && pages > 0) throw Exception(u"kaputt");
    return 0;
  };
  o = Show({[&] {
              ++pages;
              EXPECT_THROW(Send(TDM_NAVIGATE_PAGE, 0, reinterpret_cast<std::intptr_t>(&page2)), Exception);
              EXPECT_TRUE(dlg().BorderIcons().SystemMenu);
              Key(VK_ESCAPE);
            }});
  EXPECT_EQ(o.Result, 0);
}

TEST_F(TaskDialogForm, AParentFreedWhileTheDialogIsUpEndsTheDialog) {
  auto* parent = new TForm(nullptr);
  parent->Show();
  config.hwndParent = parent->Handle();
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  Outcome o = Show({[&] {
    EXPECT_EQ(dlg().OwnerForm(), parent);
    delete parent;
  }});
  EXPECT_EQ(o.Result, 0);
  EXPECT_EQ(o.Button, 0);
  EXPECT_EQ(Application().Forms().size(), 0u);
}
