// Components: objects with an owner that frees them, and with a name.
#pragma once

#include <vector>

#include "platform/Base.h"

namespace kv {

// A component is owned by its owner (when it has one), which frees its owned
// components, the last one first, when it is freed itself. Freeing a
// component removes it from its owner's list. A component without an owner
// belongs to whoever created it.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError outside 0 .. ComponentCount - 1.
  TComponent* Components(int Index) const;
  // Position in the owner's list; -1 without owner.
  int ComponentIndex() const;

  const String& Name() const { return FName; }
  void SetName(const String& Value) { FName = Value; }
  // The first owned component of that name, letter case ignored; null when none.
  TComponent* FindComponent(StringView AName) const;

  // Moves AComponent into this component's list (out of its former owner's).
  void InsertComponent(TComponent* AComponent);
  // Takes AComponent out of this component's list; it then has no owner.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, the last one first.
  void DestroyComponents();

  // True while the destructor runs.
  bool Destroying() const { return FDestroying; }

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  String FName;
  bool FDestroying = false;
};

}  // namespace kv
