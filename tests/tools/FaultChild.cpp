// A program that ends by a fault, for the tests of fatal fault reports: it
// tracks exceptions, hands the report to a handler that writes it to the file
// named by KV_FAULT_REPORT, and then faults as KV_FAULT_MODE says
// ("access-violation", "uncaught").
#include <string>

#include "diagnostics/KVStackTrace.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace {

volatile int gSink = 0;
volatile std::uintptr_t gBadAddress = 16;

void WriteReport(const kv::TFatalFault& fault) {
  std::string text = kv::ToUtf8(fault.Description) + "\n";
  for (const kv::String& line : fault.StackLines) text += kv::ToUtf8(line) + "\n";
  kv::platform::FileHandle f;
  if (f.Open(kv::platform::GetEnvVar(u"KV_FAULT_REPORT"), kv::platform::FileAccess::Write,
             kv::platform::FileShare::None, kv::platform::FileDisposition::CreateAlways))
    f.Write(text.data(), static_cast<std::int64_t>(text.size()));
}

__attribute__((noinline, noclone, no_sanitize("address", "undefined"))) void FaultByWriting() {
  *reinterpret_cast<volatile int*>(gBadAddress) = 1;
  gSink = 1;
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
  if (mode == u"uncaught") FaultByThrowing();
  gSink = 3;
  return 0;
}
