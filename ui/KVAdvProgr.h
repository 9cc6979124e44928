// The progress control and the register of control classes that can show
// progress, with the names of their range and position properties.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

#include "toolkit/Controls.h"

namespace kv {

// Told at every position set; sets Abbruch to ask for the work to stop.
using TAbbruchCallBackFunc =
    std::function<void(bool& Abbruch, std::int64_t Position, std::int64_t MaxPosition, const String& Meldung)>;

// Paints nothing; holds a range and a position and reports each position set.
class TKVProgress : public TControl {
 public:
  explicit TKVProgress(TComponent* AOwner);

  std::int32_t Min() const { return FMin; }
  void SetMin(std::int32_t v) { FMin = v; }
  std::int32_t Max() const { return FMax; }
  void SetMax(std::int32_t v) { FMax = v; }
  std::int32_t Position() const { return FPosition; }
  // Stores the value (not clamped), then reports it with Max and FName to
  // OnProgress, even when it did not change.
  void SetPosition(std::int32_t Value);

  // The message passed with each report.
  String FName;
  TAbbruchCallBackFunc OnProgress;
  // Set by the callback to ask for cancellation; only cleared by whoever
  // drives the progress.
  bool Break = false;

  const TPropertyRegister& Properties() const override { return ClassProperties(); }
  static const TPropertyRegister& ClassProperties();

 private:
  std::int32_t FMin = 0;
  std::int32_t FMax = 100;
  std::int32_t FPosition = 0;
};

// A control class, as the register names it.
using TControlClass = const std::type_info*;
template <class T>
TControlClass ClassOf() {
  return &typeid(T);
}

enum TProgressProp : std::uint8_t { ppMax = 0, ppMin = 1, ppProgress = 2 };

struct TProgressData {
  TControlClass ControlClass = nullptr;
  String MaxProperty;
  String MinProperty;
  String ProgressProperty;
};

// The records of the register; it owns them.
class TProgressList {
 public:
  void Add(TControlClass AClass, StringView MaxPropName, StringView MinPropName, StringView ProgressPropName);
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError outside 0 .. Count - 1.
  const TProgressData& Items(int Index) const;

 private:
  std::vector<std::unique_ptr<TProgressData>> FItems;
};

// The process's register, made on first use.
TProgressList& ProgressList();
void RegisterProgressControl(TControlClass AClass, StringView MaxPropName, StringView MinPropName,
                             StringView ProgressPropName);

// Module start: registers TKVProgress with "Max", "Min" and "Position";
// module stop frees the register.
void ProgressModule_Initialize();
void ProgressModule_Finalize();

}  // namespace kv
