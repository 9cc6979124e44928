// The parts of the stack walks that are the same on every platform: reads
// confined to the stack, and the frame-pointer walk.
#include "platform/StackWalkImpl.h"

namespace kv::platform::walk {

std::string HexBytes(const unsigned char* p, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}

String DescribeFault(StringView what, const SystemException& e) {
  constexpr int kWidth = 2 * sizeof(std::uintptr_t);
  String s(what);
  s += u" at address " + HexDigits(e.Address, kWidth);
  ModuleInfo m;
  if (FindModule(e.Address, &m)) {
    std::size_t slash = m.FileName.find_last_of(u"\\/");
    s += u" in module '" + m.FileName.substr(slash == String::npos ? 0 : slash + 1) + u"'";
  }
  if (e.Access >= 0) {
    s += e.Access == 1 ? u". Write of address " : e.Access == 8 ? u". Execution of address " : u". Read of address ";
    s += HexDigits(e.DataAddress, kWidth);
  }
  return s;
}

// Other frames' stack slots are read on purpose: the sanitizers must not
// instrument the read, and an unaligned word (a damaged stack) is fine on x86.
__attribute__((no_sanitize("address", "thread", "undefined"))) bool ReadStackWord(std::uintptr_t addr,
                                                                                 std::uintptr_t low,
                                                                                 std::uintptr_t high,
                                                                                 std::uintptr_t* out) {
  if (addr < low || high < sizeof(std::uintptr_t) || addr > high - sizeof(std::uintptr_t)) return false;
  std::uintptr_t v;
  __builtin_memcpy(&v, reinterpret_cast<const void*>(addr), sizeof v);
  *out = v;
  return true;
}

int WalkFramePointers(const StackStart& start, int skip, std::uintptr_t* frames, int maxFrames) {
  if (maxFrames <= 0 || start.Pc == 0) return 0;
  int n = 0, index = 0;
  auto add = [&](std::uintptr_t pc) {
    if (index++ >= skip) frames[n++] = pc;
  };
  add(start.Pc);
  constexpr std::uintptr_t kWord = sizeof(std::uintptr_t);
  std::uintptr_t fp = start.Fp, lowest = start.Sp;
  while (n < maxFrames && index < kMaxSteps) {
    // A frame lies above the one it called: a saved frame pointer that does
    // not climb ends the chain, so a damaged or cyclic chain cannot loop.
    if (fp < lowest || fp % kWord != 0) break;
    std::uintptr_t next = 0, ret = 0;
    if (!ReadStackWord(fp, start.Low, start.High, &next) || !ReadStackWord(fp + kWord, start.Low, start.High, &ret))
      break;
    if (ret == 0) break;
    add(ret);
    if (next <= fp) break;
    lowest = fp + 2 * kWord;
    fp = next;
  }
  return n;
}

}  // namespace kv::platform::walk
