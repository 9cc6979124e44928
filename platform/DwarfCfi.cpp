// Stepping from a frame to its caller through the DWARF call frame
// information the compiler leaves in every module (.eh_frame), for x86 and
// x86-64: the unwinding of the native build and of the 32-bit Windows build.
//
// The unwind tables are found through libgcc's own index of them
// (_Unwind_Find_FDE): on Linux it covers every loaded object, in the static
// 32-bit Windows program the program itself. The interpretation is ours, so
// that a walk can start from any registers (a fault's, another thread's) and
// reads the stack only inside given bounds: a damaged stack ends the walk.
#include "platform/StackWalkImpl.h"

#if defined(KV_HAVE_DWARF_CFI_WALK)

#include <cstddef>
#include <cstring>

extern "C" {
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};
const void* _Unwind_Find_FDE(void* pc, struct dwarf_eh_bases* bases);
}

namespace kv::platform::walk {

namespace {

// Pointer encodings of the call frame information (DW_EH_PE_*).
enum : std::uint8_t {
  kPeAbsPtr = 0x00, kPeUleb = 0x01, kPeU2 = 0x02, kPeU4 = 0x03, kPeU8 = 0x04,
  kPeSleb = 0x09, kPeS2 = 0x0a, kPeS4 = 0x0b, kPeS8 = 0x0c,
  kPePcRel = 0x10, kPeTextRel = 0x20, kPeDataRel = 0x30, kPeFuncRel = 0x40,
  kPeOmit = 0xff,
};

// Reads the module's tables byte by byte, never past End.
struct Reader {
  const std::uint8_t* P;
  const std::uint8_t* End;
  bool Ok = true;

  std::uint8_t U8() {
    if (P >= End) {
      Ok = false;
      return 0;
    }
    return *P++;
  }
  template <class T>
  T Fixed() {
    if (End - P < static_cast<std::ptrdiff_t>(sizeof(T))) {
      Ok = false;
      P = End;
      return 0;
    }
    T v;
    std::memcpy(&v, P, sizeof v);
    P += sizeof v;
    return v;
  }
  std::uint64_t Uleb() {
    std::uint64_t r = 0;
    unsigned shift = 0;
    for (;;) {
      std::uint8_t b = U8();
      if (!Ok) return 0;
      if (shift < 64) r |= std::uint64_t(b & 0x7f) << shift;
      shift += 7;
      if (!(b & 0x80)) return r;
    }
  }
  std::int64_t Sleb() {
    std::uint64_t r = 0;
    unsigned shift = 0;
    std::uint8_t b;
    do {
      b = U8();
      if (!Ok) return 0;
      if (shift < 64) r |= std::uint64_t(b & 0x7f) << shift;
      shift += 7;
    } while (b & 0x80);
    // Sign extension: every bit from the shift up set.
    if (shift < 64 && (b & 0x40)) r |= ~((std::uint64_t(1) << shift) - 1);
    return static_cast<std::int64_t>(r);
  }
  // Skips a block of n bytes and returns where it starts.
  const std::uint8_t* Block(std::uint64_t n) {
    if (static_cast<std::uint64_t>(End - P) < n) {
      Ok = false;
      P = End;
      return nullptr;
    }
    const std::uint8_t* b = P;
    P += n;
    return b;
  }
};

struct Bases {
  std::uintptr_t Text = 0, Data = 0, Func = 0;
};

bool ReadEncoded(Reader& r, std::uint8_t enc, const Bases& b, std::uintptr_t* out) {
  if (enc == kPeOmit) {
    *out = 0;
    return true;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(r.P);
  std::uint64_t v;
  switch (enc & 0x0f) {
    case kPeAbsPtr: v = r.Fixed<std::uintptr_t>(); break;
    case kPeUleb: v = r.Uleb(); break;
    case kPeU2: v = r.Fixed<std::uint16_t>(); break;
    case kPeU4: v = r.Fixed<std::uint32_t>(); break;
    case kPeU8: v = r.Fixed<std::uint64_t>(); break;
    case kPeSleb: v = static_cast<std::uint64_t>(r.Sleb()); break;
    case kPeS2: v = static_cast<std::uint64_t>(std::int64_t(r.Fixed<std::int16_t>())); break;
    case kPeS4: v = static_cast<std::uint64_t>(std::int64_t(r.Fixed<std::int32_t>())); break;
    case kPeS8: v = static_cast<std::uint64_t>(r.Fixed<std::int64_t>()); break;
    default: return false;
  }
  if (!r.Ok) return false;
  switch (enc & 0x70) {
    case 0: break;
    case kPePcRel: v += start; break;
    case kPeTextRel: v += b.Text; break;
    case kPeDataRel: v += b.Data; break;
    case kPeFuncRel: v += b.Func; break;
    default: return false;
  }
  // An indirect pointer (0x80) is only used for the personality routine,
  // whose value a walk never needs.
  *out = static_cast<std::uintptr_t>(v);
  return true;
}

struct Cie {
  std::uint64_t CodeAlign = 1;
  std::int64_t DataAlign = 0;
  std::uint64_t RaReg = 0;
  std::uint8_t FdeEncoding = kPeAbsPtr;
  bool HasAugmentationData = false;
  bool SignalFrame = false;
  const std::uint8_t* Insns = nullptr;
  const std::uint8_t* InsnsEnd = nullptr;
};

// A length-prefixed record of .eh_frame; 64-bit lengths are not used there.
bool RecordBounds(const std::uint8_t* rec, Reader* r) {
  Reader h{rec, rec + 4};
  std::uint32_t len = h.Fixed<std::uint32_t>();
  if (!h.Ok || len == 0 || len == 0xffffffffu || len > (1u << 24)) return false;
  *r = Reader{rec + 4, rec + 4 + len};
  return true;
}

bool ParseCie(const std::uint8_t* rec, const Bases& bases, Cie* cie) {
  Reader r{nullptr, nullptr};
  if (!RecordBounds(rec, &r)) return false;
  if (r.Fixed<std::uint32_t>() != 0) return false;  // not a CIE
  std::uint8_t version = r.U8();
  if (version != 1 && version != 3 && version != 4) return false;
  const char* aug = reinterpret_cast<const char*>(r.P);
  std::size_t augLen = 0;
  while (r.U8() != 0 && r.Ok) ++augLen;
  if (!r.Ok) return false;
  std::size_t i = 0;
  if (augLen >= 2 && aug[0] == 'e' && aug[1] == 'h') {
    r.Fixed<std::uintptr_t>();
    i = 2;
  }
  if (version == 4) {
    r.U8();  // address size
    r.U8();  // segment selector size
  }
  cie->CodeAlign = r.Uleb();
  cie->DataAlign = r.Sleb();
  cie->RaReg = version == 1 ? r.U8() : r.Uleb();
  if (i < augLen && aug[i] == 'z') {
    cie->HasAugmentationData = true;
    std::uint64_t n = r.Uleb();
    const std::uint8_t* data = r.Block(n);
    if (!r.Ok) return false;
    Reader a{data, data + n};
    for (++i; i < augLen; ++i) {
      char c = aug[i];
      if (c == 'L') {
        a.U8();
      } else if (c == 'R') {
        cie->FdeEncoding = a.U8();
      } else if (c == 'P') {
        std::uintptr_t ignored;
        if (!ReadEncoded(a, a.U8() & 0x7f, bases, &ignored)) return false;
      } else if (c == 'S') {
        cie->SignalFrame = true;
      } else {
        break;  // the rest is known by its length only
      }
    }
  } else if (i < augLen) {
    return false;  // an augmentation without length: cannot be skipped
  }
  if (!r.Ok || cie->CodeAlign == 0) return false;
  cie->Insns = r.P;
  cie->InsnsEnd = r.End;
  return true;
}

enum class RuleKind : std::uint8_t { Unspecified, Undefined, SameValue, Offset, ValOffset, Register, Expression, ValExpression };

struct Rule {
  RuleKind Kind = RuleKind::Unspecified;
  std::int64_t Value = 0;
  const std::uint8_t* Expr = nullptr;
  std::uint32_t ExprLen = 0;
};

struct FrameState {
  Rule Regs[kRegCount];
  std::int64_t CfaReg = -1;
  std::int64_t CfaOffset = 0;
  const std::uint8_t* CfaExpr = nullptr;
  std::uint32_t CfaExprLen = 0;
};

constexpr int kStateStackDepth = 4;

void SetRule(FrameState& st, std::uint64_t reg, RuleKind kind, std::int64_t value = 0,
             const std::uint8_t* expr = nullptr, std::uint64_t exprLen = 0) {
  if (reg >= static_cast<std::uint64_t>(kRegCount)) return;  // vector registers: no part of a walk
  st.Regs[reg] = Rule{kind, value, expr, static_cast<std::uint32_t>(exprLen)};
}

// Runs the call frame instructions from loc until the row that holds target.
bool Execute(const Cie& cie, const Bases& b, const std::uint8_t* p, const std::uint8_t* end, std::uintptr_t loc,
             std::uintptr_t target, FrameState& st, const FrameState& initial) {
  FrameState saved[kStateStackDepth];
  int depth = 0;
  Reader r{p, end};
  auto advance = [&](std::uint64_t delta) {
    loc += static_cast<std::uintptr_t>(delta * cie.CodeAlign);
    return loc <= target;
  };
  // A register's rule with an offset counted in data alignment units.
  auto factored = [&](std::uint64_t reg, RuleKind kind, bool isSigned) {
    std::int64_t offset = isSigned ? r.Sleb() : static_cast<std::int64_t>(r.Uleb());
    SetRule(st, reg, kind, offset * cie.DataAlign);
  };
  while (r.P < r.End) {
    std::uint8_t op = r.U8();
    std::uint8_t low = op & 0x3f;
    switch (op & 0xc0) {
      case 0x40:
        if (!advance(low)) return true;
        continue;
      case 0x80:
        factored(low, RuleKind::Offset, false);
        if (!r.Ok) return false;
        continue;
      case 0xc0:
        if (low < kRegCount) st.Regs[low] = initial.Regs[low];
        continue;
      default: break;
    }
    switch (op) {
      case 0x00: break;  // nop
      case 0x01: {       // set_loc
        std::uintptr_t a;
        if (!ReadEncoded(r, cie.FdeEncoding, b, &a)) return false;
        loc = a;
        if (loc > target) return true;
        break;
      }
      case 0x02:
        if (!advance(r.U8())) return r.Ok;
        break;
      case 0x03:
        if (!advance(r.Fixed<std::uint16_t>())) return r.Ok;
        break;
      case 0x04:
        if (!advance(r.Fixed<std::uint32_t>())) return r.Ok;
        break;
      case 0x05: factored(r.Uleb(), RuleKind::Offset, false); break;  // offset_extended
      case 0x06: {  // restore_extended
        std::uint64_t reg = r.Uleb();
        if (reg < static_cast<std::uint64_t>(kRegCount)) st.Regs[reg] = initial.Regs[reg];
        break;
      }
      case 0x07: SetRule(st, r.Uleb(), RuleKind::Undefined); break;
      case 0x08: SetRule(st, r.Uleb(), RuleKind::SameValue); break;
      case 0x09: {  // register
        std::uint64_t reg = r.Uleb();
        SetRule(st, reg, RuleKind::Register, static_cast<std::int64_t>(r.Uleb()));
        break;
      }
      case 0x0a:  // remember_state (with the CFA, as GCC's unwinder does)
        if (depth == kStateStackDepth) return false;
        saved[depth++] = st;
        break;
      case 0x0b:  // restore_state
        if (depth == 0) return false;
        st = saved[--depth];
        break;
      case 0x0c:  // def_cfa
        st.CfaReg = static_cast<std::int64_t>(r.Uleb());
        st.CfaOffset = static_cast<std::int64_t>(r.Uleb());
        st.CfaExpr = nullptr;
        break;
      case 0x0d:  // def_cfa_register
        st.CfaReg = static_cast<std::int64_t>(r.Uleb());
        st.CfaExpr = nullptr;
        break;
      case 0x0e: st.CfaOffset = static_cast<std::int64_t>(r.Uleb()); break;  // def_cfa_offset
      case 0x0f: {                                                             // def_cfa_expression
        std::uint64_t n = r.Uleb();
        st.CfaExpr = r.Block(n);
        st.CfaExprLen = static_cast<std::uint32_t>(n);
        break;
      }
      case 0x10:    // expression
      case 0x16: {  // val_expression
        std::uint64_t reg = r.Uleb();
        std::uint64_t n = r.Uleb();
        const std::uint8_t* e = r.Block(n);
        SetRule(st, reg, op == 0x10 ? RuleKind::Expression : RuleKind::ValExpression, 0, e, n);
        break;
      }
      case 0x11: factored(r.Uleb(), RuleKind::Offset, true); break;  // offset_extended_sf
      case 0x12:  // def_cfa_sf
        st.CfaReg = static_cast<std::int64_t>(r.Uleb());
        st.CfaOffset = r.Sleb() * cie.DataAlign;
        st.CfaExpr = nullptr;
        break;
      case 0x13: st.CfaOffset = r.Sleb() * cie.DataAlign; break;  // def_cfa_offset_sf
      case 0x14: factored(r.Uleb(), RuleKind::ValOffset, false); break;  // val_offset
      case 0x15: factored(r.Uleb(), RuleKind::ValOffset, true); break;   // val_offset_sf
      case 0x2e: r.Uleb(); break;  // GNU_args_size
      case 0x2f: {                 // GNU_negative_offset_extended
        std::uint64_t reg = r.Uleb();
        SetRule(st, reg, RuleKind::Offset, -static_cast<std::int64_t>(r.Uleb()) * cie.DataAlign);
        break;
      }
      default: return false;
    }
    if (!r.Ok) return false;
  }
  return true;
}

bool ReadStackBytes(std::uintptr_t addr, unsigned size, std::uintptr_t low, std::uintptr_t high,
                    std::uintptr_t* out) {
  std::uintptr_t word;
  if (size == sizeof(std::uintptr_t)) return ReadStackWord(addr, low, high, out);
  if (size == 0 || size > sizeof(std::uintptr_t) || addr < low || addr > high - size) return false;
  // The word that holds the bytes may reach below the stack's start; read the one ending with them.
  std::uintptr_t base = addr + size - sizeof(std::uintptr_t);
  if (base >= low) {
    if (!ReadStackWord(base, low, high, &word)) return false;
    word >>= 8 * (sizeof(std::uintptr_t) - size);
  } else {
    if (!ReadStackWord(addr, low, high, &word)) return false;
  }
  *out = size * 8 >= sizeof(std::uintptr_t) * 8 ? word : word & ((std::uintptr_t(1) << (size * 8)) - 1);
  return true;
}

// A DWARF expression of the call frame information (the operations compilers
// and the C library use there); memory is read only inside the stack.
bool Evaluate(const std::uint8_t* expr, std::uint32_t len, const CfiRegisters& regs, std::uintptr_t low,
              std::uintptr_t high, const std::uintptr_t* initial, std::uintptr_t* result) {
  constexpr int kDepth = 16;
  std::uintptr_t s[kDepth];
  int n = 0;
  if (initial) s[n++] = *initial;
  Reader r{expr, expr + len};
  auto push = [&](std::uintptr_t v) {
    if (n == kDepth) return false;
    s[n++] = v;
    return true;
  };
  auto reg = [&](std::uint64_t number, std::uintptr_t* v) {
    if (number >= static_cast<std::uint64_t>(kRegCount) || !regs.Has(static_cast<int>(number))) return false;
    *v = regs.Value[number];
    return true;
  };
  while (r.P < r.End) {
    std::uint8_t op = r.U8();
    std::uintptr_t v = 0;
    if (op >= 0x30 && op <= 0x4f) {  // lit0..lit31
      if (!push(op - 0x30)) return false;
      continue;
    }
    if (op >= 0x50 && op <= 0x6f) {  // reg0..reg31
      if (!reg(op - 0x50, &v) || !push(v)) return false;
      continue;
    }
    if (op >= 0x70 && op <= 0x8f) {  // breg0..breg31
      std::int64_t off = r.Sleb();
      if (!reg(op - 0x70, &v) || !push(v + static_cast<std::uintptr_t>(off))) return false;
      continue;
    }
    bool ok = true;
    switch (op) {
      case 0x03: ok = push(r.Fixed<std::uintptr_t>()); break;  // addr
      case 0x06:                                                // deref
        ok = n > 0 && ReadStackWord(s[n - 1], low, high, &s[n - 1]);
        break;
      case 0x08: ok = push(r.U8()); break;
      case 0x09: ok = push(static_cast<std::uintptr_t>(std::int64_t(std::int8_t(r.U8())))); break;
      case 0x0a: ok = push(r.Fixed<std::uint16_t>()); break;
      case 0x0b: ok = push(static_cast<std::uintptr_t>(std::int64_t(r.Fixed<std::int16_t>()))); break;
      case 0x0c: ok = push(r.Fixed<std::uint32_t>()); break;
      case 0x0d: ok = push(static_cast<std::uintptr_t>(std::int64_t(r.Fixed<std::int32_t>()))); break;
      case 0x0e: ok = push(static_cast<std::uintptr_t>(r.Fixed<std::uint64_t>())); break;
      case 0x0f: ok = push(static_cast<std::uintptr_t>(r.Fixed<std::int64_t>())); break;
      case 0x10: ok = push(static_cast<std::uintptr_t>(r.Uleb())); break;
      case 0x11: ok = push(static_cast<std::uintptr_t>(r.Sleb())); break;
      case 0x12: ok = n > 0 && push(s[n - 1]); break;  // dup
      case 0x13: ok = n > 0 && (--n, true); break;     // drop
      case 0x14: ok = n > 1 && push(s[n - 2]); break;  // over
      case 0x15: {                                     // pick
        std::uint8_t i = r.U8();
        ok = i < n && push(s[n - 1 - i]);
        break;
      }
      case 0x16:  // swap
        ok = n > 1;
        if (ok) std::swap(s[n - 1], s[n - 2]);
        break;
      case 0x17:  // rot
        ok = n > 2;
        if (ok) {
          std::uintptr_t t = s[n - 1];
          s[n - 1] = s[n - 2];
          s[n - 2] = s[n - 3];
          s[n - 3] = t;
        }
        break;
      case 0x1a: case 0x1c: case 0x1e: case 0x21: case 0x22: case 0x24: case 0x25: case 0x26: case 0x27: {
        ok = n > 1;
        if (!ok) break;
        std::uintptr_t b = s[--n], a = s[n - 1];
        unsigned sh = static_cast<unsigned>(b & (sizeof(std::uintptr_t) * 8 - 1));
        switch (op) {
          case 0x1a: a &= b; break;
          case 0x1c: a -= b; break;
          case 0x1e: a *= b; break;
          case 0x21: a |= b; break;
          case 0x22: a += b; break;
          case 0x24: a <<= sh; break;
          case 0x25: a >>= sh; break;
          case 0x26: a = static_cast<std::uintptr_t>(static_cast<std::intptr_t>(a) >> sh); break;
          default: a ^= b; break;
        }
        s[n - 1] = a;
        break;
      }
      case 0x1f: ok = n > 0 && (s[n - 1] = std::uintptr_t(0) - s[n - 1], true); break;  // neg
      case 0x20: ok = n > 0 && (s[n - 1] = ~s[n - 1], true); break;                     // not
      case 0x23: ok = n > 0 && (s[n - 1] += static_cast<std::uintptr_t>(r.Uleb()), true); break;
      case 0x90: ok = reg(r.Uleb(), &v) && push(v); break;  // regx
      case 0x92: {                                          // bregx
        std::uint64_t number = r.Uleb();
        std::int64_t off = r.Sleb();
        ok = reg(number, &v) && push(v + static_cast<std::uintptr_t>(off));
        break;
      }
      case 0x94:  // deref_size
        ok = n > 0 && ReadStackBytes(s[n - 1], r.U8(), low, high, &s[n - 1]);
        break;
      case 0x96: break;  // nop
      default: return false;
    }
    if (!ok || !r.Ok) return false;
  }
  if (n == 0) return false;
  *result = s[n - 1];
  return true;
}

}  // namespace

bool CfiStep(CfiRegisters& regs, std::uintptr_t lookupPc, std::uintptr_t low, std::uintptr_t high,
             bool* callerPcExact) {
  dwarf_eh_bases eb{};
  const auto* fde = static_cast<const std::uint8_t*>(_Unwind_Find_FDE(reinterpret_cast<void*>(lookupPc), &eb));
  if (!fde) return false;
  Bases bases{reinterpret_cast<std::uintptr_t>(eb.tbase), reinterpret_cast<std::uintptr_t>(eb.dbase),
              reinterpret_cast<std::uintptr_t>(eb.func)};

  Reader r{nullptr, nullptr};
  if (!RecordBounds(fde, &r)) return false;
  const std::uint8_t* ciePointerField = r.P;
  std::uint32_t cieOffset = r.Fixed<std::uint32_t>();
  if (!r.Ok || cieOffset == 0 || reinterpret_cast<std::uintptr_t>(ciePointerField) < cieOffset) return false;
  Cie cie;
  if (!ParseCie(ciePointerField - cieOffset, bases, &cie)) return false;
  std::uintptr_t pcBegin = 0, pcRange = 0;
  if (!ReadEncoded(r, cie.FdeEncoding, bases, &pcBegin) || !ReadEncoded(r, cie.FdeEncoding & 0x0f, bases, &pcRange))
    return false;
  if (lookupPc < pcBegin || lookupPc - pcBegin >= pcRange) return false;
  if (cie.HasAugmentationData) {
    r.Block(r.Uleb());
    if (!r.Ok) return false;
  }

  FrameState initial;
  if (!Execute(cie, bases, cie.Insns, cie.InsnsEnd, pcBegin, lookupPc, initial, initial)) return false;
  FrameState st = initial;
  if (!Execute(cie, bases, r.P, r.End, pcBegin, lookupPc, st, initial)) return false;

  std::uintptr_t cfa = 0;
  if (st.CfaExpr) {
    if (!Evaluate(st.CfaExpr, st.CfaExprLen, regs, low, high, nullptr, &cfa)) return false;
  } else {
    if (st.CfaReg < 0 || st.CfaReg >= kRegCount || !regs.Has(static_cast<int>(st.CfaReg))) return false;
    cfa = regs.Value[st.CfaReg] + static_cast<std::uintptr_t>(st.CfaOffset);
  }

  // Without a rule for the return address this is the outermost frame.
  if (cie.RaReg >= static_cast<std::uint64_t>(kRegCount)) return false;
  RuleKind ra = st.Regs[cie.RaReg].Kind;
  if (ra == RuleKind::Unspecified || ra == RuleKind::Undefined || ra == RuleKind::SameValue) return false;

  CfiRegisters next;
  for (int i = 0; i < kRegCount; ++i) {
    const Rule& rule = st.Regs[i];
    std::uintptr_t v = 0, addr = 0;
    switch (rule.Kind) {
      case RuleKind::Unspecified:
      case RuleKind::SameValue:
        if (regs.Has(i)) next.Set(i, regs.Value[i]);
        break;
      case RuleKind::Undefined: break;
      case RuleKind::Offset:
        if (!ReadStackWord(cfa + static_cast<std::uintptr_t>(rule.Value), low, high, &v)) return false;
        next.Set(i, v);
        break;
      case RuleKind::ValOffset: next.Set(i, cfa + static_cast<std::uintptr_t>(rule.Value)); break;
      case RuleKind::Register:
        if (rule.Value >= 0 && rule.Value < kRegCount && regs.Has(static_cast<int>(rule.Value)))
          next.Set(i, regs.Value[rule.Value]);
        break;
      case RuleKind::Expression:
        if (!rule.Expr || !Evaluate(rule.Expr, rule.ExprLen, regs, low, high, &cfa, &addr) ||
            !ReadStackWord(addr, low, high, &v))
          return false;
        next.Set(i, v);
        break;
      case RuleKind::ValExpression:
        if (!rule.Expr || !Evaluate(rule.Expr, rule.ExprLen, regs, low, high, &cfa, &v)) return false;
        next.Set(i, v);
        break;
    }
  }
  if (!next.Has(static_cast<int>(cie.RaReg))) return false;
  next.Set(kPcReg, next.Value[cie.RaReg]);
  next.Set(kSpReg, cfa);  // the caller's stack pointer is the frame's CFA
  *callerPcExact = cie.SignalFrame;
  regs = next;
  return true;
}


namespace {

bool HasUnwindTables(std::uintptr_t pc) {
  dwarf_eh_bases eb{};
  return _Unwind_Find_FDE(reinterpret_cast<void*>(pc), &eb) != nullptr;
}

// One step along the frame pointer, for code without unwind tables: the
// system libraries of Windows keep frame pointers. Only the frame pointer,
// the stack pointer and the return address are known afterwards.
bool FramePointerStep(CfiRegisters& regs, std::uintptr_t low, std::uintptr_t high) {
  constexpr std::uintptr_t kWord = sizeof(std::uintptr_t);
  if (!regs.Has(kFpReg) || !regs.Has(kSpReg)) return false;
  std::uintptr_t fp = regs.Value[kFpReg];
  std::uintptr_t next = 0, ret = 0;
  if (fp < regs.Value[kSpReg] || fp % kWord != 0 || !ReadStackWord(fp, low, high, &next) ||
      !ReadStackWord(fp + kWord, low, high, &ret))
    return false;
  CfiRegisters caller;
  caller.Set(kPcReg, ret);
  caller.Set(kSpReg, fp + 2 * kWord);
  caller.Set(kFpReg, next);
  regs = caller;
  return true;
}

}  // namespace

int WalkCfi(CfiRegisters regs, bool pcExact, std::uintptr_t low, std::uintptr_t high, int skip,
            std::uintptr_t* frames, int maxFrames) {
  int n = 0;
  // A caller's stack pointer lies above its callee's and inside the stack, so
  // the walk climbs and ends; kMaxSteps bounds it besides.
  for (int step = 0; n < maxFrames && step < kMaxSteps; ++step) {
    if (!regs.Has(kPcReg) || regs.Value[kPcReg] == 0) break;
    std::uintptr_t pc = regs.Value[kPcReg];
    if (step >= skip) frames[n++] = pc;
    std::uintptr_t sp = regs.Value[kSpReg];
    std::uintptr_t lookup = pcExact ? pc : pc - 1;
    if (!CfiStep(regs, lookup, low, high, &pcExact)) {
      // Past the outermost frame, or code without unwind tables.
      if (HasUnwindTables(lookup) || !FramePointerStep(regs, low, high)) break;
      pcExact = false;
    }
    if (!regs.Has(kSpReg) || regs.Value[kSpReg] <= sp || regs.Value[kSpReg] > high) break;
  }
  return n;
}

int WalkCfiFrom(const StackStart& start, std::uintptr_t* frames, int maxFrames) {
  CfiRegisters regs;
  regs.Set(kPcReg, start.Pc);
  regs.Set(kSpReg, start.Sp);
  regs.Set(kFpReg, start.Fp);
  return WalkCfi(regs, true, start.Low, start.High, 0, frames, maxFrames);
}

}  // namespace kv::platform::walk

#endif
