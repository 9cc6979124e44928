// A program that ends by a fault, for the tests of fatal fault reports: it
// tracks exceptions, hands the report to a handler that writes it to the file
// named by KV_FAULT_REPORT, and then faults as KV_FAULT_MODE says
// ("access-violation", "stack-overflow", "uncaught").
#include <cstdlib>
#include <string>

#include "diagnostics/KVStackTrace.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace {

volatile int gSink = 0;
volatile std::uintptr_t gBadAddress = 16;
bool gExitAfterReport = false;

void WriteReport(const kv::TFatalFault& fault) {
  std::string text = kv::ToUtf8(fault.Description) + "\n";
  for (const kv::String& line : fault.StackLines) text += kv::ToUtf8(line) + "\n";
  kv::platform::FileHandle f;
  if (f.Open(kv::platform::GetEnvVar(u"KV_FAULT_REPORT"), kv::platform::FileAccess::Write,
             kv::platform::FileShare::None, kv::platform::FileDisposition::CreateAlways))
    f.Write(text.data(), static_cast<std::int64_t>(text.size()));
  f.Close();
  // After a stack overflow Wine hands the process to its debugger, which
  // cannot run on the used-up stack either: the test ends it here.
  if (gExitAfterReport) std::_Exit(3);
}

__attribute__((noinline, noclone, no_sanitize("address", "undefined"))) void FaultByWriting() {
  *reinterpret_cast<volatile int*>(gBadAddress) = 1;
  gSink = 1;
}

// Each call takes a frame of its own until the stack is used up.
__attribute__((noinline, noclone)) int FaultByRecursing(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  int deeper = gSink >= 0 ? FaultByRecursing(depth + 1) : 0;
  return deeper + frame[0];
}

__attribute__((noinline, noclone)) void FaultByThrowing() {
  if (gSink == 0) throw kv::EConvertError(u"never caught");
  gSink = 2;
}

}  // namespace

int main() {
  // No system error box or debugger when the fault ends the process.
  kv::platform::SuppressErrorDialogs();
  kv::StartExceptionTracking();
  kv::SetFatalFaultHandler(&WriteReport);
  kv::String mode = kv::platform::GetEnvVar(u"KV_FAULT_MODE");
  if (mode == u"access-violation") FaultByWriting();
  gExitAfterReport = mode == u"stack-overflow";
  if (mode == u"stack-overflow") gSink = FaultByRecursing(0);
  if (mode == u"uncaught") FaultByThrowing();
  gSink = 3;
  return 0;
}
