#include <gtest/gtest.h>

#include "TestUtil.h"
#include "WindowSystemTest.h"
#include "platform/Process.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVAdvProgr.h"
#include "ui/KVForms.h"

using namespace kv;

namespace {

class TLayoutForm : public TKVForm {
 public:
  using TKVForm::TKVForm;
  String ClassName() const override { return u"TLayoutForm"; }
};

class TNoLayoutForm : public TKVForm {
 public:
  using TKVForm::TKVForm;
  String ClassName() const override { return u"TNoLayoutForm"; }
};

// Names no class: its own name is found all the same.
class TPlainDescendant : public TKVForm {
 public:
  using TKVForm::TKVForm;
};

class TCodeForm : public TNoLayoutForm {
 public:
  using TNoLayoutForm::TNoLayoutForm;
  bool DoNotLoadDfm() override { return true; }
};

// The forms module started on a fresh headless system.
class KVForms : public kvtest::WindowSystemTest {
 protected:
  KVForms() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>()) {}
  void SetUp() override {
    FormUtilsModule_Initialize();
    FormsModule_Initialize();
  }
  void TearDown() override {
    forms.clear();
    FormsModule_Finalize();
    FormUtilsModule_Finalize();
  }
  template <class T = TKVForm>
  T* Make() {
    T* f = TKVForm::CreateNew<T>(nullptr);
    forms.emplace_back(f);
    return f;
  }
  THeadlessWindowSystem& ws() { return Headless(); }
  std::vector<std::unique_ptr<TCustomForm>> forms;
};

}  // namespace

TEST_F(KVForms, CaptionLosesTheBuildMarkersButTheWindowKeepsThem) {
  TKVForm* f = Make();
  f->SetCaption(u"BETA VERSION - DEBUG - Viewer");
  EXPECT_EQ(f->Caption(), u"Viewer");
  EXPECT_EQ(f->TControl::Caption(), u"BETA VERSION - DEBUG - Viewer");
  f->SetCaption(u"DEBUG - DEBUG - Viewer");
  EXPECT_EQ(f->Caption(), u"DEBUG - Viewer");
  EXPECT_EQ(ws().WindowCaption(f->Handle()), u"DEBUG - DEBUG - Viewer");

  // The same through a pointer to the control, in both directions.
  struct Recording : TKVForm {
    using TKVForm::TKVForm;
    void SetCaption(StringView v) override {
      seen.assign(v);
      TKVForm::SetCaption(v);
    }
    String seen;
  };
  Recording* r = Make<Recording>();
  TControl* control = r;
  control->SetCaption(u"DEBUG - Setup");
  EXPECT_EQ(r->seen, u"DEBUG - Setup");
  EXPECT_EQ(control->Caption(), u"Setup");
  EXPECT_EQ(f->Font().Name, u"Segoe UI");
  EXPECT_TRUE(f->DoubleBuffered());
  EXPECT_EQ(f->SavedPriority(), kNoSavedPriority);
}

TEST_F(KVForms, CaptionWithoutFileNameCutsOnlyAtAnExistingFile) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("Report - 2026.txt"), "x");
  const String file = dir.File("Report - 2026.txt");
  TKVForm* f = Make();
  f->SetCaption(u"Viewer - " + file);
  EXPECT_EQ(FormCaptionWithoutFileName(f), u"Viewer");
  f->SetCaption(u"DEBUG - Viewer - " + file);
  EXPECT_EQ(FormCaptionWithoutFileName(f), u"Viewer");
  f->SetCaption(u"Viewer - " + dir.File("missing.txt"));
  EXPECT_EQ(FormCaptionWithoutFileName(f), u"Viewer - " + dir.File("missing.txt"));
  f->SetCaption(u"Viewer");
  EXPECT_EQ(FormCaptionWithoutFileName(f), u"Viewer");
  // Two separators: cut at the first only when all after it is a file.
  f->SetCaption(u"A - B - " + file);
  EXPECT_EQ(FormCaptionWithoutFileName(f), u"A - B - " + file);
  EXPECT_EQ(FormCaptionWithoutFileName(nullptr), u"");
  TForm plain(nullptr);
  plain.SetCaption(u"DEBUG - Plain - " + file);
  EXPECT_EQ(FormCaptionWithoutFileName(&plain), u"DEBUG - Plain - " + file);
}

TEST_F(KVForms, CreateLoadsStoredLayoutsOrRaises) {
  std::unique_ptr<TKVForm> base(TKVForm::Create<TKVForm>(nullptr));  // exactly TKVForm: no layout needed
  EXPECT_FALSE(base->Creating());

  try {
    std::unique_ptr<TNoLayoutForm> f(TKVForm::Create<TNoLayoutForm>(nullptr));
    FAIL() << "no exception";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), u"Resource TNoLayoutForm not found");
  }
  std::unique_ptr<TCodeForm> code(TKVForm::Create<TCodeForm>(nullptr));  // builds itself

  // A descendant that does not name its class looks up its own layout.
  EXPECT_EQ(base->ClassName(), u"TKVForm");
  try {
    std::unique_ptr<TPlainDescendant> f(TKVForm::Create<TPlainDescendant>(nullptr));
    FAIL() << "no exception";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), u"Resource TPlainDescendant not found");
  }
  RegisterStoredLayout(u"TPlainDescendant", [](TCustomForm&, TReader&) {});
  std::unique_ptr<TPlainDescendant> plain(TKVForm::Create<TPlainDescendant>(nullptr));
  UnregisterStoredLayout(u"TPlainDescendant");
  EXPECT_EQ(plain->ClassName(), u"TPlainDescendant");
  struct Local : TKVForm {
    using TKVForm::TKVForm;
  };
  EXPECT_EQ(Make<Local>()->ClassName(), u"Local");  // declared inside this test's function

  int created = 0;
  bool creatingDuringLayout = false;
  RegisterStoredLayout(u"TLayoutForm", [&](TCustomForm& f, TReader& r) {
    creatingDuringLayout = f.Creating();
    auto* label = new TThemedLabel(&f);
    label->SetName(u"Title");
    label->SetParent(&f);
    r.OldCreateOrder = true;  // read, then overruled: OnCreate comes after construction
    EXPECT_EQ(created, 0);
  });
  auto* main = new TForm(nullptr);
  forms.emplace_back(main);
  TBitmap icon(16, 16, 0x00AA00);
  main->SetIcon(icon);
  Application().SetMainForm(main);
  struct Counting : TLayoutForm {
    Counting(TComponent* o, int d, int* n) : TLayoutForm(o, d) {
      OnCreate = [n](TObject*) { ++*n; };
    }
  };
  std::unique_ptr<Counting> f(TKVForm::Create<Counting>(nullptr, &created));
  UnregisterStoredLayout(u"TLayoutForm");
  EXPECT_TRUE(creatingDuringLayout);
  EXPECT_FALSE(f->Creating());
  EXPECT_FALSE(f->OldCreateOrder());
  EXPECT_EQ(created, 1);
  EXPECT_NE(f->FindComponent(u"title"), nullptr);
  EXPECT_EQ(f->Icon().Pixel(0, 0), 0x00AA00u);  // the main form's icon

  // An exception in OnCreate reaches the code that creates the form.
  struct Failing : TKVForm {
    Failing(TComponent* o, int d) : TKVForm(o, d) {
      OnCreate = [](TObject*) { throw EConvertError(u"bad"); };
    }
  };
  EXPECT_THROW(TKVForm::CreateNew<Failing>(nullptr), EConvertError);
}

TEST_F(KVForms, PostedAfterCreateRunsTheThemePassOnce) {
  TKVForm* f = Make();
  auto* box = new TThemedCheckBox(f);
  box->SetParent(f);
  auto* list = new TThemedListBox(f);
  list->SetParent(f);
  auto* pages = new TThemedPageControl(f);
  pages->SetParent(f);
  auto* themedLabel = new TThemedLabel(f);
  themedLabel->SetParent(f);
  auto* html = new THtmlLabel(f);
  html->SetParent(f);
  html->SetTransparent(true);
  html->SetThemeMode(ttmPlatform);
  auto* panel = new TThemedPanel(f);
  panel->SetParent(f);
  auto* framed = new TThemedPanel(f);
  framed->SetParent(f);
  framed->SetBorderWidth(2);
  auto* onPanel = new THtmlLabel(f);
  onPanel->SetParent(panel);
  auto* graphic = new TCustomThemedGraphicButton(f);
  graphic->SetParent(f);

  EXPECT_FALSE(f->ThemeChecked());
  Application().ProcessMessages();  // WM_FORM_AFTERCREATE
  EXPECT_TRUE(f->ThemeChecked());
  EXPECT_EQ(f->HelpContext(), -1);
  EXPECT_TRUE(box->Transparent());
  EXPECT_EQ(box->ThemeMode(), ttmNative);
  EXPECT_FALSE(box->ParentDoubleBuffered());
  EXPECT_TRUE(box->DoubleBuffered());
  EXPECT_FALSE(list->Transparent());
  EXPECT_FALSE(list->TransparentSelection());
  EXPECT_TRUE(pages->Flat());
  EXPECT_EQ(graphic->ThemeMode(), ttmNative);
  EXPECT_FALSE(panel->ThemeGlobalMode());
  EXPECT_FALSE(panel->TransparentXPThemes());
  EXPECT_EQ(panel->ThemeMode(), ttmNone);
  EXPECT_EQ(panel->BorderStyle(), TPanelBorder::bsNone);
  EXPECT_EQ(framed->BorderStyle(), TPanelBorder::bsSingle);
  // Then every label, also on panels, is made transparent without theme.
  for (TCustomThemedLabel* l : {static_cast<TCustomThemedLabel*>(themedLabel), static_cast<TCustomThemedLabel*>(html),
                                static_cast<TCustomThemedLabel*>(onPanel)}) {
    EXPECT_TRUE(l->Transparent());
    EXPECT_FALSE(l->ParentThemeMode());
    EXPECT_EQ(l->ThemeMode(), ttmNone);
  }

  // A transparent non-TThemedLabel keeps its theme in CheckTheme itself; an
  // opaque one becomes native.
  auto* keeps = new THtmlLabel(nullptr);
  keeps->SetTransparent(true);
  TKVForm::CheckTheme(keeps);
  EXPECT_EQ(keeps->ThemeMode(), ttmPlatform);
  keeps->SetTransparent(false);
  TKVForm::CheckTheme(keeps);
  EXPECT_EQ(keeps->ThemeMode(), ttmNative);
  delete keeps;

  // Context help asks for the form's help context.
  std::vector<int> asked;
  Application().OnHelp = [&](int c) {
    asked.push_back(c);
    return true;
  };
  f->Perform(WM_SYSCOMMAND, SC_CONTEXTHELP);
  EXPECT_EQ(asked, std::vector<int>{-1});
}

TEST_F(KVForms, ShowingPostsAfterShowWhichMakesTheSharedHint) {
  TKVForm* owner = Make();
  owner->Show();
  ws().EnableWindow(owner->Handle(), false);
  WindowToReenable() = owner->Handle();
  TKVForm* f = Make();
  EXPECT_EQ(SharedHtmlHint(), nullptr);
  f->Show();
  Application().ProcessMessages();
  ASSERT_NE(SharedHtmlHint(), nullptr);
  EXPECT_EQ(SharedHtmlHint()->Font.Name, u"Segoe UI");
  EXPECT_TRUE(ws().IsWindowEnabled(owner->Handle()));
  WindowToReenable() = 0;
}

TEST_F(KVForms, MinimisingAModalFormMinimisesTheApplicationAndRestoresIt) {
  TKVForm* f = Make();
  f->SetLowPriorOnMinimize(true);
  Application().SetTitle(u"Viewer");
  bool listed = false, minimized = false;
  std::uint32_t priorityWhileMinimized = 0;
  f->PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  ws().Enqueue([&] {
    listed = ModalFormList()->size() == 1 && ModalFormList()->front() == f;
    minimized = Application().Minimized() && f->MinimizedByForm();
    priorityWhileMinimized = platform::ProcessPriorityClass();
    // The application's minimise event saved the title.
    EXPECT_EQ(SavedApplicationTitle(), u"Viewer");
    Application().SetTitle(u"changed while minimised");
    f->SetModalResult(mrOk);
  });
  EXPECT_EQ(f->ShowModal(), mrOk);
  EXPECT_TRUE(listed);
  EXPECT_TRUE(minimized);
  EXPECT_EQ(priorityWhileMinimized, platform::kBelowNormalPriorityClass);
  EXPECT_FALSE(Application().Minimized());
  EXPECT_EQ(Application().Title(), u"Viewer");  // restored by the restore event
  EXPECT_EQ(f->SavedPriority(), kNoSavedPriority);
  EXPECT_TRUE(ModalFormList()->empty());
  platform::SetProcessPriorityClass(platform::kNormalPriorityClass);

  // Restored through the form's own system command while it is still up:
  // the application, its title and the priority come back at once.
  bool restoredAtOnce = false;
  f->PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  ws().Enqueue([&] { Application().SetTitle(u"changed while minimised"); });
  f->PostMessage(WM_SYSCOMMAND, SC_RESTORE);
  ws().Enqueue([&] {
    restoredAtOnce = !Application().Minimized() && !ws().IsIconic(f->Handle()) && !f->MinimizedByForm() &&
                     Application().Title() == u"Viewer" && f->SavedPriority() == kNoSavedPriority;
    f->SetModalResult(mrOk);
  });
  f->ShowModal();
  EXPECT_TRUE(restoredAtOnce);

  // Without the minimise button the form minimises alone, as any other.
  TBorderIcons icons;
  icons.Minimize = false;
  f->SetBorderIcons(icons);
  f->PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  ws().Enqueue([&] {
    EXPECT_FALSE(Application().Minimized());
    EXPECT_TRUE(ws().IsIconic(f->Handle()));
    f->SetModalResult(mrCancel);
  });
  f->ShowModal();
}

TEST_F(KVForms, TheEventsHandlerTakesOnlyFreeEventsAndLetsGo) {
  FormsModule_Finalize();
  int theirs = 0;
  Application().OnMinimize = [&](TObject*) { ++theirs; };
  FormsModule_Initialize();
  SavedApplicationTitle() = u"before";
  Application().Minimize();
  EXPECT_EQ(theirs, 1);
  EXPECT_EQ(SavedApplicationTitle(), u"before");  // AppMinimize never ran
  EXPECT_TRUE(Application().OnRestore);
  FormsModule_Finalize();
  EXPECT_FALSE(Application().OnRestore);
  EXPECT_TRUE(Application().OnMinimize);  // theirs stays
  EXPECT_THROW(MainApplicationHandle(), Exception);
  Application().OnMinimize = nullptr;
  FormsModule_Initialize();
}

TEST_F(KVForms, PropertiesByNameOnlyForTheirKind) {
  TKVForm* f = Make();
  auto* label = new TThemedLabel(f);
  label->SetParent(f);
  SetBooleanPropertyByName(label, u"Transparent", false);
  SetOrdPropertyByName(label, u"Transparent", 1);  // a Boolean is an enumeration: set by its ordinal
  EXPECT_TRUE(label->Transparent());
  SetOrdPropertyByName(label, u"ThemeMode", ttmNative);
  SetBooleanPropertyByName(label, u"ThemeMode", false);  // an ordinal: not set as Boolean
  SetBooleanPropertyByName(label, u"NoSuchProperty", true);
  SetBooleanPropertyByName(nullptr, u"Transparent", true);
  EXPECT_TRUE(label->Transparent());
  EXPECT_EQ(label->ThemeMode(), ttmNative);
  SetBooleanPropertyByName(f, u"LowPriorOnMinimize", true);
  EXPECT_TRUE(f->LowPriorOnMinimize());
}

TEST(Progress, EverySetReportsAndBreakStays) {
  TKVProgress p(nullptr);
  EXPECT_EQ(p.Max(), 100);
  p.SetPosition(5);  // no callback: only stored
  EXPECT_EQ(p.Position(), 5);
  std::vector<std::pair<std::int64_t, std::int64_t>> calls;
  String message;
  p.FName = u"Kopiere";
  p.OnProgress = [&](bool& stop, std::int64_t pos, std::int64_t max, const String& m) {
    calls.emplace_back(pos, max);
    message = m;
    if (pos == 7) stop = true;
  };
  p.SetMax(10);
  p.SetMin(50);  // no limit on the position
  p.SetPosition(7);
  p.SetPosition(7);
  p.SetPosition(200);
  EXPECT_EQ(calls, (std::vector<std::pair<std::int64_t, std::int64_t>>{{7, 10}, {7, 10}, {200, 10}}));
  EXPECT_EQ(message, u"Kopiere");
  EXPECT_TRUE(p.Break);
  EXPECT_TRUE(p.SetPropertyByName(u"Position", 3));
  EXPECT_EQ(calls.back().first, 3);

  TProgressList list;
  list.Add(ClassOf<TKVProgress>(), u"Max", u"Min", u"Position");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).ProgressProperty, u"Position");
  EXPECT_THROW(list.Items(1), EListError);
}
