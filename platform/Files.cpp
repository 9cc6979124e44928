#include "platform/Files.h"

namespace kv::platform {

bool ReplacementFile::Commit() {
  if (FTempName.empty()) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  bool ok = FFile.Flush();
  FFile.Close();
  if (ok) ok = ReplaceFileWith(FTempName, FTarget);
  std::uint32_t err = LastError();
  if (ok) FTempName.clear();  // it is the target now
  Discard();
  SetLastError(ok ? kErrorSuccess : err);
  return ok;
}

}  // namespace kv::platform
