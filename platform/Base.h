// Basic types shared by every layer: UTF-16 texts, the root object class and
// the exception hierarchy the framework raises.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

// The calling convention of the system's functions and callbacks (stdcall
// in the 32-bit Windows program).
#if defined(_WIN32) && !defined(_WIN64)
#define KV_STDCALL __attribute__((stdcall))
#else
#define KV_STDCALL
#endif

namespace kv {

using String = std::u16string;
using StringView = std::u16string_view;

// Root of the framework's classes that can be held by reference in lists.
class TObject {
 public:
  virtual ~TObject() = default;
};

// UTF-8 <-> UTF-16 at the edges (file names, console output, exception what()).
std::string ToUtf8(StringView s);
String FromUtf8(std::string_view s);

// Root of the framework's exceptions: a UTF-16 message and the class name.
class Exception : public std::exception {
 public:
  explicit Exception(String message);
  const String& Message() const noexcept { return FMessage; }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  const char* what() const noexcept override { return FWhat.c_str(); }
  // Code address where the exception was raised, relative to the module's
  // load address (0 when unknown); the last-resort message prints it.
  std::uintptr_t Address() const noexcept { return FAddress; }
  void SetAddress(std::uintptr_t a) noexcept { FAddress = a; }

 private:
  String FMessage;
  std::string FWhat;
  std::uintptr_t FAddress = 0;
};

#define KV_DECLARE_EXCEPTION(Name, Base)                                  \
  class Name : public Base {                                              \
   public:                                                                \
    using Base::Base;                                                     \
    const char* ClassName() const noexcept override { return #Name; }     \
  };

KV_DECLARE_EXCEPTION(EAbort, Exception)
KV_DECLARE_EXCEPTION(EConvertError, Exception)
KV_DECLARE_EXCEPTION(EListError, Exception)
KV_DECLARE_EXCEPTION(EStringListError, Exception)
KV_DECLARE_EXCEPTION(EStreamError, Exception)
// A file that cannot be opened, created, read or written; with the
// platform's error number when one is known (0 otherwise).
class EFileStreamError : public EStreamError {
 public:
  using EStreamError::EStreamError;
  const char* ClassName() const noexcept override { return "EFileStreamError"; }
  std::uint32_t ErrorCode() const noexcept { return FErrorCode; }
  void SetErrorCode(std::uint32_t code) noexcept { FErrorCode = code; }

 private:
  std::uint32_t FErrorCode = 0;
};
KV_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
KV_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
KV_DECLARE_EXCEPTION(EReadError, EFileStreamError)
KV_DECLARE_EXCEPTION(EWriteError, EFileStreamError)
KV_DECLARE_EXCEPTION(EInOutError, Exception)

// An operating-system error: the platform's error number and its text.
class EOSError : public Exception {
 public:
  EOSError(String message, std::uint32_t code) : Exception(std::move(message)), FErrorCode(code) {}
  const char* ClassName() const noexcept override { return "EOSError"; }
  std::uint32_t ErrorCode() const noexcept { return FErrorCode; }

 private:
  std::uint32_t FErrorCode;
};

// ASCII letters upper-cased; everything else unchanged.
String AsciiUpperCase(StringView s);
// Equal when ASCII letters are compared without regard to case.
bool EqualsIgnoringAsciiCase(StringView a, StringView b);

// Raises EListError "List index out of bounds (<index>)" unless
// 0 <= index < count.
void CheckListIndex(int index, int count);

// Replaces each %s, %d and %p in order by the given texts ("%%" stays "%").
String FormatSimple(StringView pattern, std::initializer_list<String> args);
String IntToStr(long long v);
// Upper-case hexadecimal digits of v, padded with zeros to at least `digits`.
String HexDigits(std::uint64_t v, int digits);

}  // namespace kv
