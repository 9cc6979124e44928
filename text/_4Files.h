// Text files: the line reader for UTF-16, UTF-8 and single-byte files.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/Base.h"
#include "text/KVTypes.h"
#include "text/Streams.h"
#include "text/SysUtils.h"

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
  // Reads a stream (bytes in memory, say) as it would the file.
  TUnicodeFileReader(std::unique_ptr<TStream> Source, bool ReadNormalFileAsUtf8);
  ~TUnicodeFileReader() override;

  // Closes the current file, opens FileName and detects its encoding.
  void Open(const String& FileName);
  // The same for a stream, read from its start.
  void Open(std::unique_ptr<TStream> Source);
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
  // The same line as ReadLine, into Line (its old text replaced). A line
  // that lies whole in the bytes read ahead is decoded straight from them.
  void ReadLineInto(String& Line);

 protected:
  std::unique_ptr<TKVStringList> FReadErrors;
  std::int32_t FReadLine = 0;
  std::int32_t charSize = 1;
  bool MSB_FIRST = false;
  bool FIsUTF8 = false;
  TASCIIType FAsciiType = TASCIIType::atDefault;
  bool FSupportUnixLineBreak = true;
  std::unique_ptr<TStream> Stream;

 private:
  bool HasUtf8Bom();
  void ReadLineHooked(std::string& bytes, String& units);
  void ReadLineFastBytes(std::string& bytes);
  void ReadLineFastUnits(String& units);
  String BytesToText(std::string_view bytes);
};

// The codings a text file can be written in.
enum class TKVFileCoding { fcAnsi, fcUTF8NoBOM, fcUTF8BOM, fcUnicodeBigEndian, fcUnicodeLittleEndian };

// The coding an opened file's byte-order mark shows, read from the stream's
// position: UTF-8 with mark, UTF-16 of either order, otherwise fcAnsi (a file
// without mark, and an empty one, count as single-byte text).
TKVFileCoding DetectFileCoding(TStream& stream);

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

// --- File and folder functions ---------------------------------------------

// The running program's full file name, and its folder without separator.
String GetApplicationExeName();
String GetApplicationDir();

// S + "\" unless S is empty or already ends with "\".
String AddTrailingBackslash(StringView S);
// Every trailing "\" and "/" removed; then, with Expand, environment
// placeholders expanded.
String ExcludeTrailingSlashes(StringView Path, bool Expand);
// Without the extension (from the last "." of the name part on); with
// NameOnly only the name part after the last "\" or ":".
String ExtractFileNameWithoutExt(StringView FileName, bool NameOnly);
// The name part after the last "\", "/" or ":".
String ExtractFileName(StringView FileName);
// LF, CR, the double quote and * / : < > ? [ \ ] | become "_".
String ReplaceInvalidFileNameChars(StringView S);
// Each %NAME% of a variable of the process's environment, written in any
// letter case, replaced by its value; unknown placeholders stay.
String ExpandEnvironmentPlaceholders(StringView S);

// A folder; for a network path also a share root found by a directory search.
bool DirectoryExistsEx(StringView Name);
// Size from a directory search; -1 when nothing is found or it is a folder.
std::int64_t GetFileSize64(StringView Name);
// The last-write time in local time; false when it cannot be read.
bool GetFileDateTime(StringView Name, TDateTime& DateTime);

// Dir + "\" + 12 random digits [+ "." + Ext], a name no file has yet.
String MakeUniqueFileName(StringView Dir, StringView Ext);
// A scratch file can be created, written and deleted in Dir.
bool CanCreateFileIn(StringView Dir);
// Creates Dir when missing, then proves that a folder and a file can be
// created and removed in it.
bool IsDirectoryWritable(StringView Dir);
bool ForceWritableDirectory(StringView Dir);
// The framework's temporary folder: %KVTemp% when set and present, else the
// system's; proven writable once and then cached. Raises "Cannot write to
// temp-directory: " + folder.
String GetTempFolder();
void DeleteFileQuietly(StringView Name);

// Appends the names of the files matching Mask (all with an empty Mask)
// below Dir (the current folder when empty). Mode 0: recursive, full names;
// 1: recursive, relative to Dir; 2: Dir only, relative; 3: Dir only, full
// names; any other: nothing.
void FindFiles(TStringList& List, StringView Dir, StringView Mask, int Mode);
void ListFiles(TStringList& List, StringView Dir, StringView Mask);
// Oldest first (unreadable times first), or newest first; equal times by name.
void SortFilesByDate(TStringList& List, bool Descending);

// The file's "FileVersion" text, else "major.minor" of its fixed version;
// empty without version information. An empty name: the running program.
String GetModuleVersionText(StringView FileName);
// Appends Text as UTF-16 lines (with a time stamp and a line of 40 "-", or
// the stamp in the line, and an empty line as asked). A file over MaxSize
// bytes first becomes NAME_2.EXT, replacing an older one.
void AppendToLogFile(StringView FileName, StringView Text, bool WithTimeStamp, std::int32_t MaxSize,
                     bool AddEmptyLine, bool TimeStampInLine);
// The shell's folder of that CSIDL number; empty when there is none.
String GetSpecialFolderPath(std::int32_t CSIDL, bool Create);

// Module start-up (a fresh random seed, drawn at the next scratch name; an
// empty temporary-folder cache) and teardown
// (the version reader released).
void FileHelpers_Initialize();
void FileHelpers_Finalize();

}  // namespace kv
