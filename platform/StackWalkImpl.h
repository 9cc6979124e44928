// Internals shared by the stack walks of the platform implementations: reads
// confined to a stack's bounds, the frame-pointer walk, and the stepping
// through DWARF call frame information (x86 and x86-64).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/StackWalk.h"

namespace kv::platform::walk {

// A word of the stack at addr, when the whole word lies inside [low, high).
bool ReadStackWord(std::uintptr_t addr, std::uintptr_t low, std::uintptr_t high, std::uintptr_t* out);

// Frame 0 is start.Pc; then the return addresses along the saved frame
// pointers, starting at start.Fp. The first `skip` frames are left out.
int WalkFramePointers(const StackStart& start, int skip, std::uintptr_t* frames, int maxFrames);

// Bytes as lower-case hexadecimal digits (build ids).
std::string HexBytes(const unsigned char* p, std::size_t n);
// "<what> at address <pc> in module '<name>'", and for access violations
// ". Read of address <address>" (Write, Execution).
String DescribeFault(StringView what, const SystemException& e);

#ifndef _WIN32
// The calling thread's stack as [low, high). Quick: for the main thread from
// what the kernel left at the stack's top and the stack's size limit,
// without reading the process's memory map (false where that cannot be
// told); otherwise the C library's answer.
bool ThreadStackBounds(bool quick, std::uintptr_t* low, std::uintptr_t* high);
#endif

// No walk takes more steps than this.
constexpr int kMaxSteps = 4096;

// DWARF call frame information: native x86 and x86-64, and the 32-bit Windows
// program (64-bit Windows code unwinds through the program's own unwind data).
#if (defined(__x86_64__) || defined(__i386__)) && (!defined(_WIN32) || defined(__i386__))
#define KV_HAVE_DWARF_CFI_WALK 1

// The registers of one frame in DWARF numbering; the return-address column
// holds the frame's code address.
#if defined(__x86_64__)
constexpr int kRegCount = 17, kSpReg = 7, kFpReg = 6, kPcReg = 16;
#else
constexpr int kRegCount = 9, kSpReg = 4, kFpReg = 5, kPcReg = 8;
#endif

struct CfiRegisters {
  std::uintptr_t Value[kRegCount] = {};
  std::uint32_t Known = 0;  // bit per register
  void Set(int r, std::uintptr_t v) {
    Value[r] = v;
    Known |= 1u << r;
  }
  bool Has(int r) const { return (Known >> r & 1u) != 0; }
};

// Unwinds one frame through the call frame information of the code at
// lookupPc (the frame's address, minus one for return addresses): regs then
// hold the caller's registers and *callerPcExact whether the caller's address
// is exact (the frame was a signal frame). False at the outermost frame, when
// the code has no unwind information, or when a read would leave the stack.
bool CfiStep(CfiRegisters& regs, std::uintptr_t lookupPc, std::uintptr_t low, std::uintptr_t high,
             bool* callerPcExact);

// The walk along CfiStep from a frame whose registers are known; frame 0 is
// the frame's own address.
int WalkCfi(CfiRegisters regs, bool pcExact, std::uintptr_t low, std::uintptr_t high, int skip,
            std::uintptr_t* frames, int maxFrames);
// The same from a start whose Pc, Sp and Fp only are known.
int WalkCfiFrom(const StackStart& start, std::uintptr_t* frames, int maxFrames);
#endif

}  // namespace kv::platform::walk
