// Text files: the line reader for UTF-16, UTF-8 and single-byte files.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Base.h"
#include "text/KVTypes.h"
#include "text/Streams.h"

namespace kv {

// Conversion of single-byte lines that are not UTF-8.
enum class TASCIIType { atDefault, atOEM, at1252 };

// Reads a text file line by line as UTF-16 texts, whatever its encoding:
// UTF-16 of both byte orders and UTF-8 with byte-order mark, UTF-8 without
// mark when asked for, otherwise single-byte text in the ANSI or OEM code page
// or Windows-1252. Decoding problems are collected in ReadErrors.
//
// The file position is the only reading state: each line is read from the
// position in blocks of ReadBlockSize bytes and the position is then set just
// after the line end. The buffered stream below makes that cheap.
class TUnicodeFileReader : public TObject {
 public:
  static constexpr int ReadBlockSize = 1024;

  // Raises EFOpenError "Cannot open file %s" when the file cannot be opened.
  TUnicodeFileReader(const String& FileName, bool ReadNormalFileAsUtf8);
  ~TUnicodeFileReader() override;

  // Closes the current file, opens FileName and detects its encoding.
  void Open(const String& FileName);
  void Close();
  // True without a file or when the position has reached the end.
  bool Eof() const;

  TKVStringList& ReadErrors() { return *FReadErrors; }
  bool SupportUnixLineBreak() const { return FSupportUnixLineBreak; }
  void SetSupportUnixLineBreak(bool v) { FSupportUnixLineBreak = v; }
  bool isUnicode() const { return charSize == 2; }
  bool isUtf8() const { return FIsUTF8; }
  bool isASCII() const { return FAsciiType == TASCIIType::atOEM; }
  void SetIsASCII(bool v) { FAsciiType = v ? TASCIIType::atOEM : TASCIIType::atDefault; }
  TASCIIType AsciiType() const { return FAsciiType; }
  void SetAsciiType(TASCIIType t) { FAsciiType = t; }
  bool isMsbFirst() const { return MSB_FIRST; }
  int LinesRead() const { return FReadLine; }

 protected:
  // Hooks a descendant may replace; Ch is the character, Next the one after it
  // (NUL at the end of the file).
  virtual bool IsLineBreakA(std::uint8_t Ch, std::uint8_t Next);
  virtual bool IsLineBreakW(char16_t Ch, char16_t Next);
  virtual bool IsSkippedCharA(std::uint8_t Ch, std::uint8_t Next);
  virtual bool IsSkippedCharW(char16_t Ch, char16_t Next);
  virtual std::uint8_t ConvertCharA(std::uint8_t Ch);
  virtual char16_t ConvertCharW(char16_t Ch);

 public:
  // The next line without its line end; empty after the end.
  virtual String ReadLine();

 protected:
  std::unique_ptr<TKVStringList> FReadErrors;
  std::int32_t FReadLine = 0;
  std::int32_t charSize = 1;
  bool MSB_FIRST = false;
  bool FIsUTF8 = false;
  TASCIIType FAsciiType = TASCIIType::atDefault;
  bool FSupportUnixLineBreak = true;
  std::unique_ptr<TFileStream> Stream;

 private:
  bool HasUtf8Bom();
  void ReadLineHooked(std::string& bytes, String& units);
  void ReadLineFastBytes(std::string& bytes);
  void ReadLineFastUnits(String& units);
  String BytesToText(const std::string& bytes);
};

}  // namespace kv
