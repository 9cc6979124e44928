// formshot: shows a sample dialog built from the standard controls, the
// dialog controls in their states, or one of a few task dialogs, and writes
// what the screen shows of it as a BMP file, for review of the look.
// Usage: formshot MODE OUTPUT.bmp (formshot --help lists the modes)
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "platform/Files.h"
#include "toolkit/StdCtrls.h"
#include "ui/KVForms.h"
#include "ui/KVMessageDlg.h"
#include "ui/KVTaskDialogTemplate.h"
#ifdef _WIN32
#include "toolkit/win32/Win32WindowSystem.h"
#endif

using namespace kv;

namespace {

template <class T>
T* Add(TForm& form, TWinControl* parent, StringView caption, int left, int top, int width, int height) {
  auto* c = new T(&form);
  c->SetParent(parent);
  c->SetCaption(caption);
  // A width or height of -1 keeps what the control chose (its AutoSize).
  c->SetBounds(left, top, width < 0 ? c->Width() : width, height < 0 ? c->Height() : height);
  return c;
}

void Build(TForm& form) {
  form.SetCaption(u"Autorun");
  form.SetBorderStyle(TFormBorderStyle::bsSingle);
  form.SetColor(clWindow);
  form.SetClientWidth(444);
  form.SetClientHeight(293);
  form.SetPosition(TPosition::poScreenCenter);

  auto* icon = Add<TImage>(form, &form, u"", 10, 10, 32, 32);
  icon->SetPicture(WindowSystem().StockIcon(TStockIcon::Warning, 32));

  auto* title = Add<THtmlLabel>(form, &form, u"Die Installation kann nicht fortgesetzt werden", 52, 10, 382, 20);
  TFont big = title->Font();
  big.Size = 11;
  big.Color = clHotLight;
  title->SetFont(big);
  title->SetWordWrap(true);
  title->SetBounds(52, 10, 382, 20);

  auto* content = Add<THtmlLabel>(
      form, &form,
      u"Auf dem Datentr\u00E4ger fehlt die Datei <b>Install.exe</b>.<br>Weitere Hinweise finden Sie in der "
      u"<a href=\"help://1\">Hilfe</a> &#8211; oder fragen Sie Ihren Administrator.",
      52, title->Bottom() + 13, 382, 40);
  content->SetWordWrap(true);
  content->SetBounds(52, title->Bottom() + 13, 382, 40);

  auto* r1 = Add<TThemedRadioButton>(form, &form, u"Erneut &versuchen", 60, content->Bottom() + 13, -1, -1);
  r1->SetChecked(true);
  Add<TThemedRadioButton>(form, &form, u"Einen anderen &Ordner w\u00E4hlen", 60, r1->Bottom() + 5, -1, -1);

  auto* memo = Add<TThemedMemo>(form, &form, u"", 52, r1->Bottom() + 32, 382, 60);
  memo->SetScrollBars(TScrollStyle::ssBoth);
  memo->SetText(u"Gesucht in: D:\\\r\nFehlercode: 2 (Die Datei wurde nicht gefunden.)\r\n"
                u"Zeile 3\r\nZeile 4\r\nZeile 5");

  auto* panel = Add<TThemedPanel>(form, &form, u"", 0, 293 - 42, 444, 42);
  panel->SetBorderStyle(TPanelBorder::bsNone);
  panel->SetEtchedTopLine(true);
  panel->SetColor(0xF0F0F0);
  auto* box = Add<TThemedCheckBox>(form, panel, u"&Nicht mehr anzeigen", 12, 12, -1, -1);
  box->SetChecked(true);
  auto* ok = Add<TThemedButton>(form, panel, u"OK", 444 - 160, 9, 75, 25);
  ok->SetDefault(true);
  Add<TThemedButton>(form, panel, u"Abbrechen", 444 - 80, 9, 75, 25)->SetCancel(true);
}

// Command links normal, under the mouse, default, disabled and as
// elevation button; collapse buttons collapsed and expanded.
void BuildDialogControls(TForm& form) {
  form.SetCaption(u"Command links and collapse buttons");
  form.SetBorderStyle(TFormBorderStyle::bsSingle);
  form.SetColor(clWindow);
  form.SetClientWidth(420);
  form.SetPosition(TPosition::poScreenCenter);
  struct Link {
    const char16_t* Caption;
    const char16_t* Note;
  };
  const Link links[] = {{u"Jetzt installieren", u"Empfohlen: alle Programmteile werden eingerichtet."},
                        {u"Unter dem Mauszeiger", u"Hervorgehobener Rahmen und Pfeil."},
                        {u"Standardschaltfl\u00E4che", u"Antwortet auf die Eingabetaste."},
                        {u"Nicht verf\u00FCgbar", u"Deaktiviert: grauer Pfeil und Text."},
                        {u"Als Administrator ausf\u00FChren", u"Mit Schild statt Pfeil."}};
  int y = 10;
  std::vector<TKVCommandLinkButton*> made;
  for (const Link& l : links) {
    auto* link = new TKVCommandLinkButton(&form);
    link->SetParent(&form);
    link->SetCaption(l.Caption);
    link->SetNote(l.Note);
    link->SetBounds(10, y, 400, link->Height());
    y = link->Bottom() + 4;
    made.push_back(link);
  }
  made[1]->MouseEnter();
  made[2]->SetIsDefault(true);
  made[3]->SetEnabled(false);
  made[4]->SetIsElevationButton(true);
  for (bool expanded : {false, true}) {
    auto* b = new TCollapseButton(&form);
    b->SetParent(&form);
    b->SetColor(clWindow);
    b->SetCollapsedText(u"Details anzeigen");
    b->SetExpandedText(u"Details ausblenden");
    b->SetChecked(expanded);
    b->SetBounds(expanded ? 220 : 20, y + 10, b->Width(), b->Height());
  }
  form.SetClientHeight(y + 40);
}

// --- Task dialogs, shown by the framework's own task dialog form --------------------

const TaskDialogButtonEntry kLinks[] = {
    {100, u"Jetzt installieren\nAlle Programmteile werden in den vorgeschlagenen Ordner eingerichtet."},
    {101, u"Benutzerdefiniert installieren\nSie w\u00E4hlen Ordner und Programmteile selbst."},
    {102, u"Nicht installieren"}};

HRESULT32 KV_CALLBACK ProgressCallback(std::uintptr_t hwnd, std::uint32_t msg, std::uintptr_t, std::intptr_t,
                                       std::intptr_t) {
  if (msg == TDN_CREATED)
    if (TCustomForm* f = Application().FindForm(hwnd)) f->Perform(TDM_SET_PROGRESS_BAR_POS, 40);
  return 0;
}

// The configuration of a task dialog mode; false for an unknown mode.
bool TaskDialogMode(const std::string& mode, TaskDialogConfig& c) {
  c = TaskDialogConfig{};
  c.cbSize = kTaskDialogConfigSize;
  c.pszWindowTitle = u"Autorun";
  if (mode == "taskdialog-error") {
    c.hMainIcon = kTaskIconError;
    c.pszMainInstruction = u"Die Datei \u201EInstall.exe\u201C wurde auf dem Datentr\u00E4ger nicht gefunden.";
    c.dwCommonButtons = TDCBF_OK_BUTTON;
  } else if (mode == "taskdialog-confirm") {
    c.hMainIcon = kTaskIconQuestion;
    c.pszMainInstruction = u"Soll die Installation jetzt beginnen?";
    c.pszContent = u"Alle anderen Programme sollten vorher beendet werden.";
    c.pszVerificationText = u"&Nicht mehr fragen";
    c.dwCommonButtons = TDCBF_YES_BUTTON | TDCBF_NO_BUTTON;
  } else if (mode == "taskdialog-links") {
    c.hMainIcon = kTaskIconShield;
    c.pszMainInstruction = u"Wie soll installiert werden?";
    c.pszContent = u"Weitere Hinweise finden Sie in der <a href=\"help://1\">Hilfe</a>.";
    c.cButtons = 3;
    c.pButtons = kLinks;
    c.nDefaultButton = 100;
    c.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    c.dwFlags = TDF_USE_COMMAND_LINKS | TDF_EXPAND_FOOTER_AREA | TDF_EXPANDED_BY_DEFAULT;
    c.pszExpandedInformation = u"Quelle: D:\\Setup\\Install.exe\r\nZiel: C:\\Programme\\Orvalis\r\nBen\u00F6tigt: 412 MB";
    c.pszCollapsedControlText = u"Details anzeigen";
    c.pszExpandedControlText = u"Details ausblenden";
    c.pszFooter = u"Die Installation braucht Administratorrechte.";
    c.hFooterIcon = kTaskIconInformation;
  } else if (mode == "taskdialog-progress") {
    c.hMainIcon = kTaskIconInformation;
    c.pszMainInstruction = u"Dateien werden kopiert";
    c.pszContent = u"Install.exe wird vorbereitet \u2026";
    c.dwFlags = TDF_SHOW_PROGRESS_BAR;
    c.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    c.pfCallback = &ProgressCallback;
  } else {
    return false;
  }
  return true;
}

// The message dialog modes: the routine a mode calls; false for an unknown mode.
bool MessageMode(const std::string& mode, std::function<void()>& show) {
  if (mode == "message-error") {
    show = [] { ShowErrorMessage(u"Die Datei \"Autorun.inf\" kann nicht gelesen werden:\r\nZugriff verweigert."); };
  } else if (mode == "message-confirm") {
    show = [] {
      bool verification = false;
      MessageDialog(u"Sollen die ge\u00E4nderten Einstellungen gespeichert werden?", mtConfirmation,
                    {mbYes, mbNo, mbCancel}, 0, mbYes, u"Nicht mehr fragen", verification, nullptr);
    };
  } else if (mode == "message-expanded") {
    show = [] {
      bool verification = false;
      TaskMessageDialogEx(nullptr, MessageDialogTitle(), 0, u"Die Protokolldatei kann nicht geschrieben werden.",
                          u"Ordner: C:\\ProgramData\\Orvalis\\Autorun\\Logs\r\nFehler 5: Zugriff verweigert.\r\n"
                          u"Das Protokoll wird bis zum n\u00E4chsten Start nicht fortgesetzt.",
                          mtWarning, {mbOK}, mbOK, nullptr, u"Details anzeigen", u"Details ausblenden", u"",
                          verification);
    };
  } else {
    return false;
  }
  return true;
}

// Writes what the screen shows of the form's window.
bool Shoot(TCustomForm& form, const char* output) {
  const TBitmap shot = WindowSystem().Snapshot(form.Handle());
  if (shot.Empty()) {
    std::fprintf(stderr, "formshot: the %s window system keeps no pixels to take\n", WindowSystem().Name());
    return false;
  }
  const std::string bytes = EncodeBmp(shot);
  platform::FileHandle f;
  if (!f.Open(FromUtf8(output), platform::FileAccess::Write, platform::FileShare::None,
              platform::FileDisposition::CreateAlways) ||
      f.Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) != static_cast<std::int64_t>(bytes.size())) {
    std::fprintf(stderr, "formshot: cannot write %s\n", output);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "sample";
  TaskDialogConfig config;
  std::function<void()> message;
  const bool taskDialog = TaskDialogMode(mode, config);
  const bool messageDialog = MessageMode(mode, message);
  if ((argc != 2 && argc != 3) || (mode != "sample" && mode != "dialog-controls" && !taskDialog && !messageDialog)) {
    std::fprintf(stderr,
                 "Usage: formshot MODE OUTPUT.bmp\n"
                 "MODE: sample, dialog-controls, taskdialog-error, taskdialog-confirm, taskdialog-links,\n"
                 "      taskdialog-progress, message-error, message-confirm, message-expanded\n");
    return 2;
  }
  const char* output = argv[argc - 1];
#ifdef _WIN32
  SetWindowSystem(CreateWin32WindowSystem());
#endif
  int rc = 0;
  FormUtilsModule_Initialize();
  LanguageModule_Initialize();
  TranslationModule_Initialize();
  try {
    // Shown, painted, then taken from the screen once the paint has settled.
    TTimer timer(nullptr);
    timer.SetInterval(700);
    if (taskDialog || messageDialog) {
      bool expand = mode == "message-expanded";
      timer.OnTimer = [&](TObject*) {
        TCustomForm* shown = Application().ActiveForm();
        // The expanded message is taken with its details open.
        if (auto* dlg = dynamic_cast<TKVCustomTaskDialog*>(shown); dlg && expand) {
          expand = false;
          dlg->CollapseButton()->Click();
          return;
        }
        timer.SetEnabled(false);
        if (!shown || !Shoot(*shown, output)) rc = 1;
        if (shown) shown->Close();
      };
      if (messageDialog) {
        SetApplicationTitle(u"Autorun");
        message();
      } else if (EmulatedTaskDialogIndirect(&config, nullptr, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "formshot: the task dialog failed\n");
        rc = 1;
      }
    } else {
      TForm form(nullptr);
      if (mode == "sample")
        Build(form);
      else
        BuildDialogControls(form);
      timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        if (!Shoot(form, output)) rc = 1;
        form.SetModalResult(mrOk);
      };
      form.ShowModal();
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "formshot: %s\n", ToUtf8(e.Message()).c_str());
    rc = 1;
  }
  TranslationModule_Finalize();
  LanguageModule_Finalize();
  FormUtilsModule_Finalize();
  ReleaseApplication();
  SetWindowSystem(nullptr);
  return rc;
}
