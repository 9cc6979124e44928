// The INI document: a whole INI file in memory as an ordered list of sections,
// each with its raw lines, loaded in one pass through TUnicodeFileReader.
#pragma once

#include <functional>
#include <memory>

#include "platform/Base.h"
#include "text/KVTypes.h"
#include "text/SysUtils.h"

namespace kv {

// Decides between two sections of equal name: sl1 holds the lines of the one
// that stands earlier in the document, sl2 those of the later one. True keeps
// the earlier section, false the later one.
using TEraseSectionCallback =
    std::function<bool(const String& sectionName, const TKVStringList& sl1, const TKVStringList& sl2)>;

// The section names of a document, each with its line list as object.
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

  std::int32_t PrevIndex() const { return FPrevIndex; }
  void SetPrevIndex(std::int32_t v) { FPrevIndex = v; }

 private:
  mutable std::int32_t FPrevIndex = 0;
};

class TBigIniFile : public TObject {
 public:
  // Loads FileName (a missing file gives an empty document). ForceUtf8File:
  // files without byte-order mark are read as UTF-8.
  TBigIniFile(const String& FileName, bool ForceUtf8File = false);
  ~TBigIniFile() override;

  // Virtual operations.
  virtual void AppendFromFile(const String& aName);
  virtual void Clear();
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
  virtual bool ValueExists(const String& aSection, const String& aValue);

  // Properties.
  const String& FileName() const { return FFileName; }
  // Writes the old document back if it changed, clears, loads Value.
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
  bool IsUnicodeFile() const { return FIsUnicodeFile; }
  bool IsUTF8File() const { return FIsUTF8File; }
  std::int32_t PrevSectionIndex() const { return FPrevSectionIndex; }

 protected:
  // The index of aKey's line in its section, or -1, and the section's lines
  // (created when missing and CreateSection).
  std::int32_t LocateKey(const String& aSection, const String& aKey, bool CreateSection, TKVStringList** lines);
  static std::int32_t IndexOfKey(const TKVStringList& lines, const String& aKey);
  void ClearSections();

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
};

}  // namespace kv
