// The framework's message dialogs: a message with the icon of its kind and a
// row of buttons, shown by the framework's own task dialog, answering the
// identifier of the chosen button.
#pragma once

#include <exception>

#include "platform/SmallSet.h"
#include "toolkit/Classes.h"

namespace kv {

class TStringList;

// The kind of a message: it chooses the icon. (One byte, as stored.)
enum MessageKind : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum MessageButton : std::uint8_t {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};
using MessageButtons = TSmallSet<MessageButton>;

// Button identifiers, the dialogs' results.
constexpr int mrDlgNone = 0, idOK = 1, idCancel = 2, idAbort = 3, idRetry = 4, idIgnore = 5, idYes = 6, idNo = 7,
              idAll = 12, idNoToAll = 13, idYesToAll = 14;

// The caption of a button before translation ("!!&Ja") and its identifier.
const String& MessageButtonCaption(MessageButton Button);
int MessageButtonId(MessageButton Button);

// Owner: a form over which the dialog is centred, or null. Reserved is not
// used. ButtonCaptions: the n-th shown button takes the n-th entry when it
// is not empty. VerificationChecked receives the check box's state.
int TaskMessageDialogEx(TComponent* Owner, const String& Title, int Reserved, const String& Msg,
                        const String& ExpandedInformation, MessageKind Kind, MessageButtons Buttons,
                        MessageButton DefaultButton, const TStringList* ButtonCaptions,
                        const String& CollapsedControlText, const String& ExpandedControlText,
                        const String& VerificationText, bool& VerificationChecked);
int TaskMessageDialog(TComponent* Owner, const String& Title, int Reserved, const String& Msg, MessageKind Kind,
                      MessageButtons Buttons, MessageButton DefaultButton, const TStringList* ButtonCaptions,
                      const String& VerificationText, bool& VerificationChecked);
// HelpContext is not used.
int MessageDialog(const String& Msg, MessageKind Kind, MessageButtons Buttons, int HelpContext,
                  MessageButton DefaultButton, const String& VerificationText, bool& VerificationChecked,
                  TComponent* Owner);
int SimpleMessageDialog(const String& Msg, MessageKind Kind, MessageButtons Buttons);
void ShowErrorMessage(const String& Msg);
void ShowExceptionDialog(const std::exception& E);

// The title of message dialogs: the application's title, or the caption of
// a TKVForm main form without its document part, "&" doubled.
String MessageDialogTitle();
// The text made safe for the task dialog's HTML labels: characters above
// 127 and " & < > as numeric references, CR LF as "<br>" (LineBreaks) or a
// non-breaking space, blanks as non-breaking spaces (NonBreakingSpaces),
// lone line ends dropped.
String HtmlEncodeText(const String& Text, bool NonBreakingSpaces, bool LineBreaks);

}  // namespace kv
