// A set over a small enumeration (up to 32 members), kept as bits: the
// framework's counterpart of a Pascal set.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace kv {

// A set of up to 32 members of an enumeration, kept as bits.
template <class E>
class TSmallSet {
 public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  constexpr bool Contains(E m) const { return unsigned(m) < 32 && (FBits >> unsigned(m) & 1u) != 0; }
  constexpr void Include(E m) {
    if (unsigned(m) < 32) FBits |= 1u << unsigned(m);
  }
  constexpr void Exclude(E m) {
    if (unsigned(m) < 32) FBits &= ~(1u << unsigned(m));
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr std::uint32_t Bits() const { return FBits; }
  // The set of the members whose bits are set.
  static constexpr TSmallSet FromBits(std::uint32_t bits) {
    TSmallSet s;
    s.FBits = bits;
    return s;
  }
  friend constexpr bool operator==(TSmallSet a, TSmallSet b) { return a.FBits == b.FBits; }
  friend constexpr bool operator!=(TSmallSet a, TSmallSet b) { return a.FBits != b.FBits; }

 private:
  std::uint32_t FBits = 0;
};

}  // namespace kv
