// The forms framework on the headless window system: building, laying out,
// painting and closing a form of twenty controls, and one layout pass after
// a text change (which dialogs redo for every change).
#include <benchmark/benchmark.h>

#include "localisation/KVTranslate.h"
#include "localisation/_LanguageDLL.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVForms.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

namespace {

struct Dialog {
  std::unique_ptr<TForm> Form = std::make_unique<TForm>(nullptr);
  std::vector<TControl*> Stack;

  Dialog() {
    Form->SetClientWidth(444);
    auto add = [&](TControl* c, StringView caption) {
      c->SetParent(Form.get());
      c->SetCaption(caption);
      Stack.push_back(c);
    };
    for (int i = 0; i < 5; ++i) {
      auto* l = new THtmlLabel(Form.get());
      l->SetWordWrap(true);
      add(l, u"Die Installation von <b>Produkt</b> wird vorbereitet.<br>Weitere Hinweise finden Sie "
             u"unter <a href=\"help://1\">Hilfe</a> &#8211; oder fragen Sie Ihren Administrator.");
    }
    for (int i = 0; i < 5; ++i) add(new TThemedCheckBox(Form.get()), u"Option &" + IntToStr(i));
    for (int i = 0; i < 5; ++i) add(new TThemedRadioButton(Form.get()), u"Auswahl " + IntToStr(i));
    for (int i = 0; i < 4; ++i) add(new TThemedButton(Form.get()), u"&Knopf " + IntToStr(i));
    auto* memo = new TThemedMemo(Form.get());
    memo->SetScrollBars(TScrollStyle::ssBoth);
    add(memo, u"Zeile 1\r\nZeile 2\r\nZeile 3");
  }

  // Stacks the controls top to bottom at the dialog's text column.
  void Layout() {
    int y = 10;
    for (TControl* c : Stack) {
      c->SetBounds(52, y, 382, c->Height());
      y = c->Bottom() + 13;
    }
    Form->SetClientHeight(y);
  }
};

void BM_Form_BuildLayoutShowClose(benchmark::State& state) {
  SetWindowSystem(std::make_unique<THeadlessWindowSystem>());
  for (auto _ : state) {
    Dialog d;
    d.Layout();
    d.Form->PostMessage(WM_CLOSE);
    benchmark::DoNotOptimize(d.Form->ShowModal());
  }
  ReleaseApplication();
  SetWindowSystem(nullptr);
}
BENCHMARK(BM_Form_BuildLayoutShowClose)->Unit(benchmark::kMicrosecond);

void BM_Form_TextChangeAndLayout(benchmark::State& state) {
  SetWindowSystem(std::make_unique<THeadlessWindowSystem>());
  {
    Dialog d;
    d.Layout();
    int n = 0;
    for (auto _ : state) {
      d.Stack[0]->SetCaption(u"Schritt " + IntToStr(++n) + u" von 20: Dateien werden <b>kopiert</b> ...");
      d.Layout();
    }
  }
  ReleaseApplication();
  SetWindowSystem(nullptr);
}
BENCHMARK(BM_Form_TextChangeAndLayout)->Unit(benchmark::kMicrosecond);

// A task dialog with ten buttons, three radio buttons, expanded information
// and a footer.
struct TaskDialogBench {
  TaskDialogButtonEntry Buttons[10];
  TaskDialogButtonEntry Radios[3] = {{300, u"Alle Dateien"}, {301, u"Nur neue Dateien"}, {302, u"Keine"}};
  TaskDialogConfig Config{};
  TaskDialogBench() {
    SetWindowSystem(std::make_unique<THeadlessWindowSystem>());
    FormUtilsModule_Initialize();
    LanguageModule_Initialize();
    TranslationModule_Initialize();
    for (int i = 0; i < 10; ++i) Buttons[i] = {200 + i, u"Knopf"};
    Config.cbSize = kTaskDialogConfigSize;
    Config.pszWindowTitle = u"Autorun";
    Config.hMainIcon = kTaskIconWarning;
    Config.pszMainInstruction = u"Die Installation kann nicht fortgesetzt werden";
    Config.pszContent = u"Es fehlt die Datei <b>Install.exe</b>.<br>Siehe <a href=\"help://1\">Hilfe</a>.";
    Config.cButtons = 10;
    Config.pButtons = Buttons;
    Config.cRadioButtons = 3;
    Config.pRadioButtons = Radios;
    Config.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
    Config.pszExpandedInformation = u"Zeile 1\r\nZeile 2\r\nZeile 3";
    Config.pszExpandedControlText = u"Weniger";
    Config.pszCollapsedControlText = u"Mehr";
    Config.pszFooter = u"Fu\u00DFzeile mit <a href=\"x\">Verweis</a>";
    Config.hFooterIcon = kTaskIconInformation;
    Config.pszVerificationText = u"Nicht mehr anzeigen";
    Config.dwFlags = TDF_EXPANDED_BY_DEFAULT;
  }
  ~TaskDialogBench() {
    TranslationModule_Finalize();
    LanguageModule_Finalize();
    FormUtilsModule_Finalize();
    ReleaseApplication();
    SetWindowSystem(nullptr);
  }
};

void BM_TaskDialog_BuildAndLayout(benchmark::State& state) {
  TaskDialogBench b;
  for (auto _ : state) {
    TKVCustomTaskDialog form(nullptr);
    form.SetConfig(b.Config);
    benchmark::DoNotOptimize(form.ClientHeight());
  }
}
BENCHMARK(BM_TaskDialog_BuildAndLayout)->Unit(benchmark::kMicrosecond);

void BM_TaskDialog_SetElementText(benchmark::State& state) {
  TaskDialogBench b;
  TKVCustomTaskDialog form(nullptr);
  form.SetConfig(b.Config);
  const String texts[2] = {u"Schritt 1 von 20: Dateien werden <b>kopiert</b>", u"Schritt 2 von 20: Verkn\u00FCpfungen"};
  int n = 0;
  for (auto _ : state)
    form.Perform(TDM_SET_ELEMENT_TEXT, TDE_CONTENT, reinterpret_cast<std::intptr_t>(texts[++n & 1].c_str()));
}
BENCHMARK(BM_TaskDialog_SetElementText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
