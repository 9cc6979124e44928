// The INI document: a whole INI file in memory as an ordered list of sections,
// each with its raw lines, loaded in one pass through TUnicodeFileReader.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Base.h"
#include "platform/Files.h"
#include "text/KVTypes.h"
#include "text/SysUtils.h"
#include "toolkit/Graphics.h"

namespace kv {

class TUnicodeFileReader;

// Decides between two sections of equal name: sl1 holds the lines of the one
// that stands earlier in the document, sl2 those of the later one. True keeps
// the earlier section, false the later one.
using TEraseSectionCallback =
    std::function<bool(const String& sectionName, const TKVStringList& sl1, const TKVStringList& sl2)>;

// The lines of one section. Beside the list it keeps, once a large section
// has been searched a few times, an index from key names to their first
// line; any change of the list drops the index.
class TIniSectionLines : public TKVStringList {
 public:
  // Appends lines read from a file, taking their texts over.
  void AppendLoaded(std::vector<String>& Lines);
  // The first line whose text before its first "=" matches aKey by
  // CompareTextIgnoreCase; -1 when none.
  std::int32_t IndexOfKey(StringView aKey);

 protected:
  void Changed() override;

 private:
  struct Slot {
    std::uint32_t Hash;
    std::int32_t Index;     // -1: empty
    std::uint32_t NameLen;  // the key name's length: the line's first "=" stands there
  };
  void BuildKeyIndex();

  std::vector<Slot> FKeySlots;
  std::int32_t FSearches = 0;
};

// The section names of a document, each with its line list as object.
// Beside the list it keeps an index from the names as CompareTextIgnoreCase
// sees them to their entries, so that a search costs the same however many
// sections there are; any change of the list but an appended entry drops the
// index, and the next search builds it again.
class TSectionList : public TKVStringList {
 public:
  TSectionList();

  TKVStringList* GetSectionItems(int index) const;
  TKVStringList* SectionItems(int index) const { return GetSectionItems(index); }

  // Circular search by CompareTextIgnoreCase from the section found last.
  int IndexOf(const String& S) const override;
  // First entry whose text before its first "=" matches name.
  int IndexOfName(const String& name) const override;
  // Drops all but one of each group of sections with matching names: the
  // earlier one, or the one callBackProc chooses. True when any was dropped.
  bool EraseDuplicates(const TEraseSectionCallback& callBackProc);

  int AddObject(const String& s, TObject* o) override;
  // Appends a section read from a file, taking its name over.
  void AppendLoaded(String&& Name, TKVStringList* Lines);
  // The entry a circular search from From (a valid index) meets first: the
  // first matching S by CompareTextIgnoreCase at or after From, else the
  // first before it; -1 when none matches. The entry at From costs one
  // comparison, any other a look into the index.
  int FindFrom(StringView S, int From) const;
  // True when the names of two entries match.
  bool HasMatchingNames() const;
  // Releases the index's memory (the next search builds it again).
  void DropIndex();

  std::int32_t PrevIndex() const { return FPrevIndex; }
  void SetPrevIndex(std::int32_t v) { FPrevIndex = v; }

 protected:
  void Changed() override;

 private:
  struct Slot {
    std::uint32_t Hash;
    std::int32_t Index;  // -1: empty
  };
  void EnsureIndex() const;
  void Rejoin(bool WasIndexed);
  void IndexEntry(std::int32_t i, std::uint32_t hash) const;

  mutable std::int32_t FPrevIndex = 0;
  mutable std::vector<Slot> FSlots;
  mutable std::int32_t FIndexed = 0;
  mutable bool FIndexValid = false;
  mutable bool FMatchingNames = false;
};

class TBigIniFile : public TObject {
 public:
  // Loads FileName (a missing file gives an empty document). ForceUtf8File:
  // files without byte-order mark are read as UTF-8.
  TBigIniFile(const String& FileName, bool ForceUtf8File = false);
  // Writes a changed document back like FlushFile. A destructor cannot
  // report, so an error there is swallowed and the changes are lost: call
  // UpdateFile before destroying a document whose write must be checked.
  ~TBigIniFile() override;

  // Virtual operations, in their slot order.
  virtual void AppendFromFile(const String& aName);
  virtual void Clear();
  // Deletes the key's line; a missing section is created empty (unmarked).
  virtual void DeleteKey(const String& aSection, const String& aKey);
  virtual void EraseSection(const String& aSection);
  // Writes a changed document back to FileName: by way of a temporary file
  // beside it that replaces the file in one step, so a failure leaves the old
  // file as it was. UTF-16 little-endian with mark when the file was Unicode
  // (or ForceUtf8File), else the ANSI code page; a document holding
  // characters the ANSI code page lacks, or whose ANSI text would begin
  // like a byte-order mark, is written as UTF-16 too. Raises a
  // file error naming the file and the reason; the document then stays
  // changed. An unchanged document never touches its file.
  virtual void FlushFile();
  virtual bool HasSection(const String& aSection);
  virtual void ReadAll(TStringList& aStrings);
  virtual bool ReadBool(const String& aSection, const String& aKey, bool aDefault);
  virtual TDateTime ReadDate(const String& aSection, const String& aKey, TDateTime aDefault);
  virtual TDateTime ReadDateTime(const String& aSection, const String& aKey, TDateTime aDefault);
  virtual double ReadFloat(const String& aSection, const String& aKey, double aDefault);
  virtual std::int32_t ReadInteger(const String& aSection, const String& aKey, std::int32_t aDefault);
  virtual void ReadSection(const String& aSection, TStringList& aStrings);
  virtual void ReadSections(TStringList& aStrings);
  virtual void ReadSectionValues(const String& aSection, TStringList& aStrings);
  virtual String ReadString(const String& aSection, const String& aKey, const String& aDefault);
  virtual TDateTime ReadTime(const String& aSection, const String& aKey, TDateTime aDefault);
  virtual bool SectionExists(const String& aSection);
  virtual void UpdateFile();
  virtual bool ValueExists(const String& aSection, const String& aValue);
  virtual void WriteBool(const String& aSection, const String& aKey, bool aValue);
  virtual void WriteDate(const String& aSection, const String& aKey, TDateTime aValue);
  virtual void WriteDateTime(const String& aSection, const String& aKey, TDateTime aValue);
  virtual void WriteFloat(const String& aSection, const String& aKey, double aValue);
  virtual void WriteInteger(const String& aSection, const String& aKey, std::int32_t aValue);
  // Sets aKey=aValue, appending the line (and the section) when missing. An
  // empty key erases aSection, or, with section and value empty too, flushes.
  virtual void WriteString(const String& aSection, const String& aKey, const String& aValue);
  virtual void WriteTime(const String& aSection, const String& aKey, TDateTime aValue);

  // The document from a file's bytes held in memory, as SetFileName loads a
  // file: a changed document is first written back to FileName (which stays
  // as it is), then cleared; the loaded one counts as unchanged.
  void LoadFromBytes(std::string Bytes);
  // The bytes FlushFile writes for the document as it is now.
  std::string DocumentBytes() const;

  // Properties.
  const String& FileName() const { return FFileName; }
  // Writes the old document back if it changed, clears, loads Value.
  // Raises FlushFile's error before loading anything.
  void SetFileName(const String& Value);
  TSectionList& SectionNames() { return *FSectionList; }
  const TEraseSectionCallback& EraseSectionCallback() const { return FEraseSectionCallback; }
  void SetEraseSectionCallback(TEraseSectionCallback cb) { FEraseSectionCallback = std::move(cb); }
  bool FlagClearOnReadSectionValues() const { return FFlagClearOnReadSectionValues; }
  void SetFlagClearOnReadSectionValues(bool v) { FFlagClearOnReadSectionValues = v; }
  bool FlagDropCommentLines() const { return FFlagDropCommentLines; }
  void SetFlagDropCommentLines(bool v) { FFlagDropCommentLines = v; }
  bool FlagFilterOutInvalid() const { return FFlagFilterOutInvalid; }
  void SetFlagFilterOutInvalid(bool v) { FFlagFilterOutInvalid = v; }
  bool FlagDropWhiteSpace() const { return FFlagDropWhiteSpace; }
  void SetFlagDropWhiteSpace(bool v) { FFlagDropWhiteSpace = v; }
  bool FlagDropApostrophes() const { return FFlagDropApostrophes; }
  void SetFlagDropApostrophes(bool v) { FFlagDropApostrophes = v; }
  bool FlagTrimRight() const { return FFlagTrimRight; }
  void SetFlagTrimRight(bool v) { FFlagTrimRight = v; }
  // The lines that stood before the first section header of the files
  // loaded: in no section, so no lookup or section list sees them, but kept
  // and written back in front of the first section.
  const TKVStringList& LeadingLines() const { return FLeadingLines; }
  bool IsUnicodeFile() const { return FIsUnicodeFile; }
  bool IsUTF8File() const { return FIsUTF8File; }
  std::int32_t PrevSectionIndex() const { return FPrevSectionIndex; }

 protected:
  // The index of aKey's line in its section, or -1, and the section's lines
  // (created when missing and CreateSection).
  std::int32_t LocateKey(const String& aSection, const String& aKey, bool CreateSection, TKVStringList** lines);
  static std::int32_t IndexOfKey(TKVStringList& lines, const String& aKey);
  void ClearSections();
  void AppendFromReader(TUnicodeFileReader& reader);
  // The file's lines in their coding, handed to out a piece at a time (out
  // takes the bytes, leaving the text empty); false when ANSI cannot hold
  // them.
  bool EncodeDocument(bool utf16, const std::function<void(std::string& Bytes)>& out) const;
  // UTF-16 for Unicode and UTF-8 files and with ForceUtf8File; else ANSI.
  bool WritesUtf16() const;

  TEraseSectionCallback FEraseSectionCallback;
  String FFileName;
  std::int32_t FPrevSectionIndex = 0;
  bool FFlagClearOnReadSectionValues = false;
  bool FFlagDropCommentLines = false;
  bool FFlagFilterOutInvalid = false;
  bool FFlagDropWhiteSpace = false;
  bool FFlagDropApostrophes = false;
  bool FFlagTrimRight = false;
  std::unique_ptr<TSectionList> FSectionList;
  bool FHasChanged = false;
  std::int32_t FTextBufferSize = 28672;
  bool FIsUnicodeFile = false;
  bool FIsUTF8File = false;
  bool FForceUtf8 = false;
  TKVStringList FLeadingLines;
};

// The text of a colour: its identifier, or "$" and 8 hexadecimal digits.
String ColorToString(TColor c);
// An identifier or an integer text ("$FF", "255"); raises EConvertError.
TColor StringToColor(StringView s);

// A list of elements kept as one comma text (the form of a stored font).
class TCommaSeparatedInfo : public TObject {
 public:
  TCommaSeparatedInfo();
  ~TCommaSeparatedInfo() override;

  // The elements as comma text; setting it parses the comma text.
  String Value() const;
  void SetValue(const String& v);
  // Reading beyond the last element raises the list's index error; writing
  // appends empty elements up to index.
  String Element(int index) const;
  void SetElement(int index, const String& v);
  // The element as an integer, -1 when it is none.
  std::int32_t AsInteger(int index) const;
  void SetAsInteger(int index, std::int32_t v);
  // True when the element is "1"; false is written as an empty element.
  bool AsBoolean(int index) const;
  void SetAsBoolean(int index, bool v);
  // A colour element: hexadecimal digits, an identifier or a number; 0 when
  // it is none of them.
  TColor GetColor(int index) const;
  void SetColor(int Index, TColor Value);

  TKVStringList& Values() { return *FValues; }

 protected:
  std::unique_ptr<TKVStringList> FValues;
};

// The nine elements of a stored font: name, size, bold, italic, underline,
// strike-out, colour, character set, pitch.
class TCSIFont : public TCommaSeparatedInfo {
 public:
  String FontName() const { return Element(0); }
  void SetFontName(const String& v) { SetElement(0, v); }
  std::int32_t FontSize() const { return AsInteger(1); }
  void SetFontSize(std::int32_t v) { SetAsInteger(1, v); }
  TFontStyles FontStyle() const;
  void SetFontStyle(TFontStyles v);
  TColor FontColor() const { return GetColor(6); }
  void SetFontColor(TColor v) { SetColor(6, v); }
  std::int32_t FontCharset() const { return AsInteger(7); }
  void SetFontCharset(std::int32_t v) { SetAsInteger(7, v); }
  std::int32_t FontPitch() const { return AsInteger(8); }
  void SetFontPitch(std::int32_t v) { SetAsInteger(8, v); }
};

// The INI document with numbered lists, colours, fonts, renaming and whole
// sections on top of plain keys.
class TBiggerIniFile : public TBigIniFile {
 public:
  using TBigIniFile::TBigIniFile;

  // Virtual operations, in their slot order after the inherited ones.
  // The stored text as hexadecimal colour; raises EConvertError when it is
  // not hexadecimal. A missing key gives aDefault.
  virtual TColor ReadColor(const String& aSection, const String& aKey, TColor aDefault);
  // Fills aFont from the stored comma text; a missing key or a short value
  // raises the list's index error (aFont may be partly changed then).
  virtual TFont& ReadFont(const String& aSection, const String& aKey, TFont& aFont);
  // Appends the items of the list whose count key is aPrefix + "Count"
  // (usePrefixOnCount) or "Count" and whose items are aPrefix + IndexStart,
  // aPrefix + (IndexStart + 1), ... A count beyond the section's other
  // lines (a damaged file) reads only as many items as there are lines.
  virtual void ReadNumberedList(const String& Section, TStringList& aStrings, const String& Deflt,
                                const String& aPrefix, std::int32_t IndexStart, bool usePrefixOnCount);
  // The key's line gets the new name and keeps its value; where the two
  // names differ in letter case only, the line stays where it is. An empty
  // new name changes nothing.
  virtual void RenameKey(const String& aSection, const String& OldKey, const String& NewKey);
  virtual void RenameSection(const String& OldSection, const String& NewSection);
  // A value equal to its default is deleted rather than stored.
  virtual void WriteBoolDef(const String& aSection, const String& aKey, bool aValue, bool aDefault);
  // Eight upper-case hexadecimal digits without prefix.
  virtual void WriteColor(const String& aSection, const String& aKey, TColor aValue);
  virtual void WriteFont(const String& aSection, const String& aKey, const TFont& aFont);
  // Replaces the list's count and items; the items end up after the
  // section's other lines. Rewriting the same list changes nothing.
  virtual void WriteNumberedList(const String& Section, const TStringList& aStrings, const String& aPrefix,
                                 std::int32_t IndexStart, bool usePrefixOnCount);
  // Makes the section's lines equal to the source's entries.
  virtual void WriteSectionValues(const String& aSection, const TStringList& aStrings);

  bool HasChanged() const { return FHasChanged; }
  void SetHasChanged(bool v) { FHasChanged = v; }
  std::int32_t TextBufferSize() const { return FTextBufferSize; }
  void SetTextBufferSize(std::int32_t v) { FTextBufferSize = v; }
};

}  // namespace kv
