#include "platform/Files.h"

#include <atomic>

namespace kv::platform {

namespace {

struct ArmedFault {
  std::atomic<int> Countdown{0};
  std::atomic<std::uint32_t> Error{0};
};

ArmedFault gFaults[3];

}  // namespace

void InjectFileFault(FileFault kind, int count, std::uint32_t error) {
  ArmedFault& f = gFaults[static_cast<int>(kind)];
  f.Error = error;
  f.Countdown = count < 0 ? 0 : count;
}

bool FileFaultStrikes(FileFault kind) {
  ArmedFault& f = gFaults[static_cast<int>(kind)];
  int n = f.Countdown.load(std::memory_order_relaxed);
  // Only the call that counts the last step down strikes.
  while (n > 0) {
    if (f.Countdown.compare_exchange_weak(n, n - 1)) {
      if (n != 1) return false;
      SetLastError(f.Error);
      return true;
    }
  }
  return false;
}

}  // namespace kv::platform
