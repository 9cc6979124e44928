// An HTML label from arbitrary UTF-16 markup, wrapped at a width taken from
// the input, sized, hit-tested and painted (cut with an ellipsis) on the
// headless window system: it never crashes, hangs or leaks.
#include <cstdint>
#include <cstring>

#include "toolkit/StdCtrls.h"
#include "toolkit/headless/Headless.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int width = data[0] * 3;
  const bool wrap = (data[1] & 1) != 0, ellipsis = (data[1] & 2) != 0;
  kv::String html((size - 2) / 2, u'\0');
  if (!html.empty()) std::memcpy(html.data(), data + 2, html.size() * 2);

  static kv::TForm* form = [] {
    kv::SetWindowSystem(std::make_unique<kv::THeadlessWindowSystem>());
    auto* f = new kv::TForm(nullptr);
    f->Show();
    return f;
  }();
  auto* label = new kv::THtmlLabel(form);
  label->SetParent(form);
  label->SetWordWrap(wrap);
  label->SetEndEllipsis(ellipsis);
  label->SetBounds(0, 0, width, 40);
  label->SetCaption(html);
  label->PlainText();
  label->LinkAt({width / 2, 5});
  label->SetAutoSize(false);
  label->SetBounds(0, 0, width, 26);
  kv::Headless().Invalidate(form->Handle());
  kv::Application().ProcessMessages();
  delete label;
  return 0;
}
