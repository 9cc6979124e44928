// Helpers of the test suites: temporary folders, files from bytes, paths.
#pragma once

#include <string>

#include "platform/Base.h"

namespace kvtest {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Native() const { return FPath; }
  // The folder as a framework path (with "\" on every platform).
  kv::String Path() const;
  kv::String File(const std::string& name) const;
  std::string NativeFile(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

void WriteBytes(const std::string& nativePath, const std::string& bytes);
std::string ReadBytes(const std::string& nativePath);
// A framework path for a path known at build time (a Linux path under Wine
// becomes one on drive Z:).
kv::String BuildPath(const std::string& p);
// Sets (or with an empty value removes) a variable of the process's environment.
void SetEnv(const std::string& name, const std::string& value);
std::string Utf16Le(const std::u16string& s, bool bom = true);
std::string Utf16Be(const std::u16string& s, bool bom = true);

}  // namespace kvtest
