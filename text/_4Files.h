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

// The codings a text file can be written in.
enum class TKVFileCoding { fcAnsi, fcUTF8NoBOM, fcUTF8BOM, fcUnicodeBigEndian, fcUnicodeLittleEndian };

// The coding an opened file's byte-order mark shows, read from the stream's
// position: UTF-8 with mark, UTF-16 of either order, otherwise fcAnsi (a file
// without mark, and an empty one, count as single-byte text).
TKVFileCoding DetectFileCoding(TFileStream& stream);

// Writes text lines in the system ANSI code page (or the OEM one), UTF-8 with
// or without byte-order mark, or UTF-16 of either byte order with mark.
//
// A new file starts with the mark of its coding. Appending to an existing file
// takes over the coding its mark shows. The file's folder is created when
// missing. Every line goes to the file at once; the file is not shared while
// the writer holds it.
class TUnicodeFileWriter : public TObject {
 public:
  // Raises EFCreateError "Cannot create file %s" or EFOpenError "Cannot open
  // file %s", and EInOutError "Unable to create directory" for a name
  // without folder part.
  TUnicodeFileWriter(const String& FileName, bool Unicode, bool Utf8, bool BigEndian, bool Append);
  // The same for a coding of the enumeration (UTF-8 without mark included).
  TUnicodeFileWriter(const String& FileName, TKVFileCoding Coding, bool Append);
  ~TUnicodeFileWriter() override;

  // The flags of a coding, for the file opened next.
  void SetCoding(TKVFileCoding Coding);
  TKVFileCoding Coding() const;

  // Closes the current file and opens FileName: appends to it when Append
  // and it exists, otherwise creates (or empties) it.
  void Open(const String& FileName, bool Append);
  void Close();
  // Value and the line separator.
  void WriteLn(const String& Value);
  // Value without separator; an empty Value writes nothing.
  void Write(const String& Value);

  bool Unicode() const { return FUnicode; }
  bool Utf8() const { return FUTF8; }
  bool BigEndian() const { return FBigEndian; }
  bool WithUtf8Bom() const { return FWithUTF8BOM; }
  bool isASCII() const { return FIsASCII; }
  void SetIsASCII(bool v) { FIsASCII = v; }
  const String& LineSeparator() const { return FLineSeparator; }
  void SetLineSeparator(const String& v);
  bool IsOpen() const { return Stream != nullptr; }

  // The bytes a text becomes in the writer's coding (without any mark).
  std::string Encode(StringView Value) const;

 protected:
  void WriteText(StringView Value, bool withSeparator);

  std::unique_ptr<TFileStream> Stream;
  bool FBigEndian = false;
  bool FUTF8 = false;
  bool FUnicode = true;
  bool FWithUTF8BOM = true;
  bool FIsASCII = false;
  String FLineSeparator = u"\r\n";
  std::string FLineSeparatorAnsi = "\r\n";
};

}  // namespace kv
