// The register of published properties, and those of the controls and
// forms, set by name.
#include "toolkit/Controls.h"

#include "platform/Locale.h"

namespace kv {

// --- Property register -----------------------------------------------------------

void TPropertyRegister::Add(StringView name, TPropertyKind kind, Setter setter) {
  FProps[platform::LocaleUpperCase(name)] = {kind, std::move(setter)};
}

const std::pair<TPropertyKind, TPropertyRegister::Setter>* TPropertyRegister::Find(StringView name) const {
  auto it = FProps.find(platform::LocaleUpperCase(name));
  return it == FProps.end() ? nullptr : &it->second;
}

// --- Properties of the controls and forms ------------------------------------------

bool TControl::SetPropertyByName(StringView Name, std::int64_t Value) {
  const auto* p = Properties().Find(Name);
  if (!p) return false;
  p->second(*this, Value);
  return true;
}

bool TControl::HasProperty(StringView Name) const { return Properties().Find(Name) != nullptr; }

const TPropertyRegister& TControl::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r;
    using K = TPropertyKind;
    auto c = [](TObject& o) -> TControl& { return static_cast<TControl&>(o); };
    r.Add(u"Visible", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetVisible(v != 0); });
    r.Add(u"Enabled", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetEnabled(v != 0); });
    r.Add(u"Color", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetColor(static_cast<TColor>(v)); });
    r.Add(u"ParentFont", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetParentFont(v != 0); });
    r.Add(u"HelpContext", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetHelpContext(static_cast<int>(v)); });
    r.Add(u"Tag", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetTag(static_cast<int>(v)); });
    r.Add(u"DoubleBuffered", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetDoubleBuffered(v != 0); });
    r.Add(u"Transparent", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetTransparent(v != 0); });
    r.Add(u"ParentBackground", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetParentBackground(v != 0); });
    r.Add(u"AutoSize", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetAutoSize(v != 0); });
    r.Add(u"Left", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetLeft(static_cast<int>(v)); });
    r.Add(u"Top", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetTop(static_cast<int>(v)); });
    r.Add(u"Width", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetWidth(static_cast<int>(v)); });
    r.Add(u"Height", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetHeight(static_cast<int>(v)); });
    return r;
  }();
  return reg;
}

const TPropertyRegister& TWinControl::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TControl::ClassProperties();
    using K = TPropertyKind;
    auto c = [](TObject& o) -> TControl& { return static_cast<TControl&>(o); };
    r.Add(u"TabStop", K::Boolean, [c](TObject& o, std::int64_t v) { c(o).SetTabStop(v != 0); });
    r.Add(u"TabOrder", K::Ordinal, [c](TObject& o, std::int64_t v) { c(o).SetTabOrder(static_cast<int>(v)); });
    return r;
  }();
  return reg;
}

const TPropertyRegister& TCustomForm::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TWinControl::ClassProperties();
    auto f = [](TObject& o) -> TCustomForm& { return static_cast<TCustomForm&>(o); };
    r.Add(u"KeyPreview", TPropertyKind::Boolean, [f](TObject& o, std::int64_t v) { f(o).SetKeyPreview(v != 0); });
    r.Add(u"ClientWidth", TPropertyKind::Ordinal,
          [f](TObject& o, std::int64_t v) { f(o).SetClientWidth(static_cast<int>(v)); });
    r.Add(u"ClientHeight", TPropertyKind::Ordinal,
          [f](TObject& o, std::int64_t v) { f(o).SetClientHeight(static_cast<int>(v)); });
    return r;
  }();
  return reg;
}

}  // namespace kv
