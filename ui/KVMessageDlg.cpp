#include "ui/KVMessageDlg.h"

#include <memory>

#include "localisation/KVTranslate.h"
#include "text/StringList.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDlg.h"

namespace kv {

namespace {

struct TButtonInfo {
  String Caption;
  int Id;
};

const TButtonInfo& Info(MessageButton Button) {
  static const TButtonInfo kButtons[] = {
      {u"!!&Ja", idYes},           {u"!!&Nein", idNo},        {u"!!OK", idOK},
      {u"!!Abbrechen", idCancel},  {u"!!&Abbruch", idAbort},  {u"!!&Wiederholen", idRetry},
      {u"!!&Ignorieren", idIgnore}, {u"!!&Alle", idAll},       {u"!!&Alle Nein", idNoToAll},
      {u"!!A&lle Ja", idYesToAll}, {u"!!&Hilfe", mrDlgNone}};
  return kButtons[Button <= mbHelp ? Button : mbHelp];
}

TTaskDlgIcon KindIcon(MessageKind Kind) {
  switch (Kind) {
    case mtWarning: return tdiWarning;
    case mtError: return tdiError;
    case mtInformation: return tdiInformation;
    case mtConfirmation: return tdiQuestion;
    default: return tdiBlank;
  }
}

}  // namespace

const String& MessageButtonCaption(MessageButton Button) { return Info(Button).Caption; }
int MessageButtonId(MessageButton Button) { return Info(Button).Id; }

String HtmlEncodeText(const String& Text, bool NonBreakingSpaces, bool LineBreaks) {
  String r;
  r.reserve(Text.size() + Text.size() / 4);
  const std::size_t length = Text.size();
  auto reference = [&](char16_t c) { r += u"&#" + IntToStr(c) + u";"; };
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t c = Text[i];
    if (c > 127) {
      reference(c);
    } else if (c == u'\n') {
      // A lone line feed, or the second half of CR LF: nothing.
    } else if (c == u'\r') {
      // Only a CR LF with something after it becomes a line break.
      if (i + 2 < length && Text[i + 1] == u'\n') {
        if (LineBreaks)
          r += u"<br>";
        else if (NonBreakingSpaces)
          r += u"&#160;";
      }
    } else if (c == u' ') {
      r += NonBreakingSpaces ? u"&#160;" : u" ";
    } else if (c == u'"' || c == u'&' || c == u'<' || c == u'>') {
      reference(c);
    } else {
      r += c;
    }
  }
  return r;
}

String MessageDialogTitle() {
  String title = GetApplicationTitle();
  if (auto* main = dynamic_cast<TKVForm*>(Application().MainForm())) {
    title.clear();
    for (char16_t c : FormCaptionWithoutFileName(main)) {
      title += c;
      if (c == u'&') title += u'&';
    }
  }
  return title;
}

int TaskMessageDialogEx(TComponent* Owner, const String& Title, int, const String& Msg,
                        const String& ExpandedInformation, MessageKind Kind, MessageButtons Buttons,
                        MessageButton DefaultButton, const TStringList* ButtonCaptions,
                        const String& CollapsedControlText, const String& ExpandedControlText,
                        const String& VerificationText, bool& VerificationChecked) {
  // Not owned by Owner: an owner freed while the dialog is up must not free
  // the dialog under its own modal loop. The dialog shows over Owner's form.
  auto dialog = std::make_unique<TKVTaskDialog>(nullptr);
  dialog->SetTitle(Title);
  dialog->SetMainInstruction(HtmlEncodeText(Msg + u" ", true, true));
  dialog->SetMainIcon(KindIcon(Kind));
  dialog->SetCommonButtons({});
  dialog->SetVerificationText(VerificationText);
  if (Owner) {
    TTaskDialogFlags flags = dialog->Flags();
    flags.Include(tdfPositionRelativeToWindow);
    dialog->SetFlags(flags);
  }
  // A set without any button that can be shown would give a dialog that
  // cannot be closed: it gets OK.
  bool any = false;
  for (int b = mbYes; b <= mbYesToAll; ++b) any = any || Buttons.Contains(static_cast<MessageButton>(b));
  if (!any) Buttons = {mbOK};
  int n = 0;
  for (int b = mbYes; b <= mbYesToAll; ++b) {
    const auto member = static_cast<MessageButton>(b);
    if (!Buttons.Contains(member)) continue;
    TKVTaskDlgBaseButton* item = dialog->Buttons().Add();
    String caption;
    if (ButtonCaptions && ButtonCaptions->Count() > n && !ButtonCaptions->Strings(n).empty())
      caption = ButtonCaptions->Strings(n);
    else
      TranslateWithLanguage(Info(member).Caption, u"", true, caption);
    item->SetCaption(caption);
    item->SetButtonId(Info(member).Id);
    if (member == DefaultButton) item->SetIsDefault(true);
    ++n;
  }
  dialog->SetExpandedControlText(ExpandedControlText);
  dialog->SetCollapsedControlText(CollapsedControlText);
  dialog->SetExpandedInformation(ExpandedInformation);
  HWND parent = 0;
  if (auto* control = dynamic_cast<TControl*>(Owner))
    if (TCustomForm* form = control->Form()) parent = form->Handle();
  dialog->Execute(parent);
  VerificationChecked = dialog->ResultVerificationState();
  return dialog->ResultButtonId();
}

int TaskMessageDialog(TComponent* Owner, const String& Title, int Reserved, const String& Msg, MessageKind Kind,
                      MessageButtons Buttons, MessageButton DefaultButton, const TStringList* ButtonCaptions,
                      const String& VerificationText, bool& VerificationChecked) {
  return TaskMessageDialogEx(Owner, Title, Reserved, Msg, u"", Kind, Buttons, DefaultButton, ButtonCaptions, u"",
                             u"", VerificationText, VerificationChecked);
}

int MessageDialog(const String& Msg, MessageKind Kind, MessageButtons Buttons, int, MessageButton DefaultButton,
                  const String& VerificationText, bool& VerificationChecked, TComponent* Owner) {
  return TaskMessageDialog(Owner, MessageDialogTitle(), 0, Msg, Kind, Buttons, DefaultButton, nullptr,
                           VerificationText, VerificationChecked);
}

int SimpleMessageDialog(const String& Msg, MessageKind Kind, MessageButtons Buttons) {
  bool verification = false;
  return MessageDialog(Msg, Kind, Buttons, 0, mbOK, u"", verification, nullptr);
}

void ShowErrorMessage(const String& Msg) { SimpleMessageDialog(Msg, mtError, {mbOK}); }

void ShowExceptionDialog(const std::exception& E) {
  const auto* k = dynamic_cast<const Exception*>(&E);
  SimpleMessageDialog(k ? k->Message() : FromUtf8(E.what()), mtError, {mbOK});
}

}  // namespace kv
