// formshot: shows a sample dialog built from the standard controls and
// writes what the screen shows of it as a BMP file, for review of the look.
// Usage: formshot OUTPUT.bmp
#include <cstdio>

#include "platform/Files.h"
#include "toolkit/StdCtrls.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: formshot OUTPUT.bmp\n");
    return 2;
  }
#ifdef _WIN32
  SetWindowSystem(CreateWin32WindowSystem());
#endif
  int rc = 0;
  {
    TForm form(nullptr);
    Build(form);
    // Shown, painted, then taken from the screen once the paint has settled.
    TTimer timer(nullptr);
    timer.SetInterval(700);
    timer.OnTimer = [&](TObject*) {
      timer.SetEnabled(false);
      const TBitmap shot = WindowSystem().Snapshot(form.Handle());
      if (shot.Empty()) {
        std::fprintf(stderr, "formshot: the %s window system keeps no pixels to take\n", WindowSystem().Name());
        rc = 1;
      } else {
        const std::string bytes = EncodeBmp(shot);
        platform::FileHandle f;
        if (!f.Open(FromUtf8(argv[1]), platform::FileAccess::Write, platform::FileShare::None,
                    platform::FileDisposition::CreateAlways) ||
            f.Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) != static_cast<std::int64_t>(bytes.size())) {
          std::fprintf(stderr, "formshot: cannot write %s\n", argv[1]);
          rc = 1;
        }
      }
      form.SetModalResult(mrOk);
    };
    form.ShowModal();
  }
  ReleaseApplication();
  SetWindowSystem(nullptr);
  return rc;
}
