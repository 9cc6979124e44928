#include "ui/KVAdvProgr.h"

namespace kv {

TKVProgress::TKVProgress(TComponent* AOwner) : TControl(AOwner) {}

void TKVProgress::SetPosition(std::int32_t Value) {
  FPosition = Value;
  if (OnProgress) OnProgress(Break, FPosition, FMax, FName);
}

const TPropertyRegister& TKVProgress::ClassProperties() {
  static const TPropertyRegister reg = [] {
    TPropertyRegister r = TControl::ClassProperties();
    auto p = [](TObject& o) -> TKVProgress& { return static_cast<TKVProgress&>(o); };
    r.Add(u"Min", TPropertyKind::Ordinal, [p](TObject& o, std::int64_t v) { p(o).SetMin(static_cast<std::int32_t>(v)); });
    r.Add(u"Max", TPropertyKind::Ordinal, [p](TObject& o, std::int64_t v) { p(o).SetMax(static_cast<std::int32_t>(v)); });
    r.Add(u"Position", TPropertyKind::Ordinal,
          [p](TObject& o, std::int64_t v) { p(o).SetPosition(static_cast<std::int32_t>(v)); });
    return r;
  }();
  return reg;
}

void TProgressList::Add(TControlClass AClass, StringView MaxPropName, StringView MinPropName,
                        StringView ProgressPropName) {
  auto d = std::make_unique<TProgressData>();
  d->ControlClass = AClass;
  d->MaxProperty.assign(MaxPropName);
  d->MinProperty.assign(MinPropName);
  d->ProgressProperty.assign(ProgressPropName);
  FItems.push_back(std::move(d));
}

const TProgressData& TProgressList::Items(int Index) const {
  CheckListIndex(Index, Count());
  return *FItems[static_cast<std::size_t>(Index)];
}

namespace {
std::unique_ptr<TProgressList>& TheList() {
  static std::unique_ptr<TProgressList> list;
  return list;
}
}  // namespace

TProgressList& ProgressList() {
  auto& l = TheList();
  if (!l) l = std::make_unique<TProgressList>();
  return *l;
}

void RegisterProgressControl(TControlClass AClass, StringView MaxPropName, StringView MinPropName,
                             StringView ProgressPropName) {
  ProgressList().Add(AClass, MaxPropName, MinPropName, ProgressPropName);
}

void ProgressModule_Initialize() { RegisterProgressControl(ClassOf<TKVProgress>(), u"Max", u"Min", u"Position"); }

// reset() empties the global before the register goes.
void ProgressModule_Finalize() { TheList().reset(); }

}  // namespace kv
