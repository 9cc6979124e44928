#include <gtest/gtest.h>

#include "text/SysUtils.h"
#include "WindowSystemTest.h"
#include "toolkit/headless/Headless.h"
#include "ui/KVForms.h"
#include "ui/KVResources.h"
#include "ui/KVTaskDialogTemplate.h"

using namespace kv;

namespace {

class DialogControls : public kvtest::WindowSystemTest {
 protected:
  DialogControls() : WindowSystemTest(std::make_unique<THeadlessWindowSystem>()) {}
  void SetUp() override { FormUtilsModule_Initialize(); }
  void TearDown() override {
    form.reset();
    FormUtilsModule_Finalize();
  }
  template <class T>
  T* Add() {
    auto* c = new T(form.get());
    c->SetParent(form.get());
    return c;
  }
  THeadlessWindowSystem& ws() { return Headless(); }
  // What the last paint drew for the control, as headless records it.
  std::vector<String> Paint() {
    form->Show();
    ws().Invalidate(form->Handle());
    Application().ProcessMessages();
    return ws().PaintLog(form->Handle());
  }
  static bool Has(const std::vector<String>& log, StringView part) {
    for (const String& op : log)
      if (op.find(part) != String::npos) return true;
    return false;
  }
  static String Center(const TBitmap& b) { return u"#" + IntToHex(b.Pixel(b.Width() / 2, b.Height() / 2), 6); }
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
};

}  // namespace

TEST_F(DialogControls, BitmapsComeFromTheResourcesWithTheirTransparentColour) {
  for (auto [name, w, h] : {std::tuple{u"BMPCL_ARROWS", 64, 16}, std::tuple{u"BMPCOL_BUTTON", 114, 19},
                            std::tuple{u"BMPSHIELD_BIG", 32, 32}, std::tuple{u"BMPSHIELD_SMALL", 16, 16}}) {
    const TBitmap b = LoadBitmapResource(name);
    EXPECT_EQ(b.Width(), w) << ToUtf8(name);
    EXPECT_EQ(b.Height(), h);
    EXPECT_TRUE(b.Transparent);
    EXPECT_EQ(b.TransparentColor, b.Pixel(0, h - 1));
  }
  try {
    LoadBitmapResource(u"BMPNONE");
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), u"Resource BMPNONE not found");
  }
  EXPECT_THROW(DecodeBmp("BM\x01"), EInvalidGraphic);
  std::string cut = EncodeBmp(TBitmap(4, 4));
  cut.resize(cut.size() - 1);
  EXPECT_THROW(DecodeBmp(cut), EInvalidGraphic);
  EXPECT_EQ(DecodeBmp(EncodeBmp(TBitmap(3, 2, 0x123456))).Pixel(2, 1), 0x123456u);
}

TEST_F(DialogControls, CommandLinkHeightNeededWidthAndClick) {
  auto* link = Add<TKVCommandLinkButton>();
  EXPECT_EQ(link->Height(), 41);
  link->SetCaption(u"Jetzt installieren");
  EXPECT_EQ(link->Height(), 41);  // 11 pt caption + empty note + margins < 41
  // 11 pt at 96 dpi: 15 px, line height 18; 7 pt: 9 px, line height 11.
  EXPECT_EQ(link->TextRect().Height(), THeadlessWindowSystem::LineHeight(15));
  link->SetMarginVertical(20);
  EXPECT_EQ(link->Height(), 18 + 40);
  link->SetMarginVertical(10);
  link->SetNote(u"Empfohlen");
  EXPECT_EQ(link->Height(), 18 + 11 + 20);

  const int captionWidth = 18 * THeadlessWindowSystem::CharWidth(15);
  EXPECT_EQ(link->NeededWidth(), captionWidth + 16 + 2 * 10);
  link->SetShowIcon(false);
  EXPECT_EQ(link->NeededWidth(), captionWidth);
  link->SetCaption(String(500, u'x'));
  EXPECT_EQ(link->NeededWidth(), Screen().Width() - 100);

  // The handler may set the modal result that the form then takes.
  link->SetModalResult(101);
  link->OnClick = [&](TObject*) { EXPECT_EQ(form->ModalResult(), 0); };
  link->Click();
  EXPECT_EQ(form->ModalResult(), 101);
  link->SetModalResult(-1);
  form->SetModalResult(0);
  link->Click();
  EXPECT_EQ(form->ModalResult(), 0);

  // IsDefault focuses the link.
  form->Show();
  link->SetIsDefault(true);
  EXPECT_EQ(form->ActiveControl(), link);
}

TEST_F(DialogControls, CommandLinkImagesAndColoursFollowItsState) {
  auto* link = Add<TKVCommandLinkButton>();
  link->SetCaption(u"Weiter");
  link->SetNote(u"Hinweis");
  link->SetBounds(10, 10, 300, link->Height());
  const TImageList& images = link->Images();
  auto log = Paint();
  EXPECT_EQ(link->ImageIndex(), 0);
  EXPECT_TRUE(Has(log, u"image 15,21 16x16 " + Center(images.Image(0))));  // y = 10 + (18 - 16) / 2 + 10
  EXPECT_TRUE(Has(log, u"text 36,20 #151C91 Weiter"));
  EXPECT_TRUE(Has(log, u"text 38,38 #0000FF Hinweis"));

  ws().MoveMouse(form->Handle(), {50, 20});
  Application().ProcessMessages();
  EXPECT_EQ(link->ImageIndex(), 1);
  EXPECT_TRUE(Has(ws().PaintLog(form->Handle()), u"round 10,10,300x49 r3 #C6C6C6"));
  ws().Enqueue([&] { ws().SendMessage(form->Handle(), {WM_LBUTTONDOWN, 1, (20 << 16) | 50, 0}); });
  Application().ProcessMessages();
  EXPECT_EQ(link->ImageIndex(), 0);  // pressed: not highlighted
  EXPECT_TRUE(Has(ws().PaintLog(form->Handle()), u"r3 #ADADAD"));
  ws().MoveMouse(form->Handle(), {400, 200});
  Application().ProcessMessages();
  EXPECT_FALSE(link->ButtonDown());  // leaving clears the pressed state

  link->SetEnabled(false);
  log = Paint();
  EXPECT_EQ(link->ImageIndex(), 2);
  EXPECT_TRUE(Has(log, u"#ADADAD Weiter"));
  EXPECT_TRUE(Has(log, u"#FF0000 Hinweis"));
  link->SetIsElevationButton(true);
  EXPECT_EQ(link->ImageIndex(), 3);
  link->SetShowIcon(false);
  EXPECT_EQ(link->ImageIndex(), -1);
  link->SetIsDefault(true);
  EXPECT_TRUE(Has(Paint(), u"round 10,10,300x49 r3 #97EAFF"));
}

TEST_F(DialogControls, CollapseButtonTogglesCaptionAndSize) {
  auto* b = Add<TCollapseButton>();
  EXPECT_EQ(b->Width(), 19 + 5);
  EXPECT_EQ(b->Height(), 19);
  b->SetCollapsedText(u"Details anzeigen");
  b->SetExpandedText(u"Details ausblenden");
  EXPECT_EQ(b->Caption(), u"");  // follows at the next change
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  b->Click();
  EXPECT_TRUE(b->Checked());
  EXPECT_EQ(b->Caption(), u"Details ausblenden");
  EXPECT_EQ(b->Width(), 19 + 5 + 18 * 6);
  EXPECT_EQ(b->ImageIndex(), 0);
  b->Click();
  EXPECT_FALSE(b->Checked());
  EXPECT_EQ(b->Caption(), u"Details anzeigen");
  EXPECT_EQ(b->Width(), 19 + 5 + 16 * 6);
  EXPECT_EQ(b->ImageIndex(), 3);
  EXPECT_EQ(clicks, 2);
  b->SetChecked(false);
  EXPECT_EQ(clicks, 2);

  b->SetBounds(10, 10, b->Width(), b->Height());
  ws().MoveMouse(form->Handle(), {12, 12});
  Application().ProcessMessages();
  form->Show();
  ws().MoveMouse(form->Handle(), {12, 12});
  Application().ProcessMessages();
  EXPECT_EQ(b->ImageIndex(), 4);
  ws().Enqueue([&] { ws().SendMessage(form->Handle(), {WM_LBUTTONDOWN, 1, (12 << 16) | 12, 0}); });
  Application().ProcessMessages();
  EXPECT_EQ(b->ImageIndex(), 5);
  EXPECT_TRUE(Has(ws().PaintLog(form->Handle()), u"image 10,10 19x19 " + Center(b->Images().Image(5))));
  EXPECT_TRUE(Has(ws().PaintLog(form->Handle()), u"Details anzeigen"));

  // It takes the focus, and Space toggles it.
  ws().SendMessage(form->Handle(), {WM_LBUTTONUP, 0, (12 << 16) | 12, 0});
  EXPECT_EQ(form->ActiveControl(), b);
  const bool checked = b->Checked();
  ws().PressKey(VK_SPACE, {}, u' ');
  Application().ProcessMessages();
  EXPECT_NE(b->Checked(), checked);
}

TEST_F(DialogControls, CollapseButtonShowsThePressOfEveryButtonButOnlyTheLeftClicks) {
  auto* b = Add<TCollapseButton>();
  b->SetBounds(10, 10, b->Width(), b->Height());
  auto* link = Add<TKVCommandLinkButton>();
  link->SetBounds(10, 100, 200, link->Height());
  form->Show();
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  for (auto [down, up] : {std::pair{WM_RBUTTONDOWN, WM_RBUTTONUP}, std::pair{WM_MBUTTONDOWN, WM_MBUTTONUP}}) {
    ws().SendMessage(form->Handle(), {down, 0, (12 << 16) | 12, 0});
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(b->ImageIndex(), 5);
    ws().SendMessage(form->Handle(), {up, 0, (12 << 16) | 12, 0});
    EXPECT_FALSE(b->Down());
  }
  ws().Click(form->Handle(), {12, 12}, TMouseButton::mbRight);
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(b->Checked());
  ws().Click(form->Handle(), {12, 12});
  Application().ProcessMessages();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->Checked());

  // A release outside still reaches the button that got the press.
  ws().SendMessage(form->Handle(), {WM_RBUTTONDOWN, 0, (12 << 16) | 12, 0});
  ws().SendMessage(form->Handle(), {WM_RBUTTONUP, 0, (300 << 16) | 300, 0});
  EXPECT_FALSE(b->Down());
  // The command link shows the left button's press only.
  ws().SendMessage(form->Handle(), {WM_RBUTTONDOWN, 0, (110 << 16) | 20, 0});
  EXPECT_FALSE(link->ButtonDown());
  ws().SendMessage(form->Handle(), {WM_RBUTTONUP, 0, (110 << 16) | 20, 0});
  EXPECT_NE(form->ActiveControl(), link);  // the right button takes no focus
}

TEST_F(DialogControls, ADefaultCommandLinkChosenBeforeShowingAnswersEnter) {
  auto* first = Add<TKVCommandLinkButton>();
  auto* second = Add<TKVCommandLinkButton>();
  first->SetModalResult(10);
  second->SetModalResult(11);
  second->SetTop(50);
  second->SetIsDefault(true);
  EXPECT_EQ(form->ActiveControl(), second);
  ws().PressKey(VK_RETURN);
  EXPECT_EQ(form->ShowModal(), 11);
}

TEST_F(DialogControls, MarqueeBarAnimatesOnlyWithItsStyle) {
  auto* bar = Add<TMarqueeProgressBar>();
  bar->SetRange(0, 10);
  bar->SetPosition(5);
  bar->SetPosition(50);
  EXPECT_EQ(bar->Position(), 10);
  EXPECT_EQ(bar->Perform(PBM_SETMARQUEE, 1, 0), 1);
  EXPECT_FALSE(bar->Animating());  // no marquee style yet
  bar->SetMarquee(true);
  EXPECT_EQ(bar->Style() & PBS_MARQUEE, PBS_MARQUEE);
  EXPECT_TRUE(bar->Animating());
  bar->SetMarqueeSpeed(10);
  const int before = bar->MarqueeOffset();
  Application().HandleMessage();
  EXPECT_NE(bar->MarqueeOffset(), before);
  bar->SetMarquee(false);
  EXPECT_FALSE(bar->Animating());
  EXPECT_EQ(bar->Style() & PBS_MARQUEE, 0u);
}
