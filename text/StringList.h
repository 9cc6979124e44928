// The string-list container: an ordered list of texts, each with an associated
// object reference (not owned), change notifications, sorting, name=value
// access, list text and comma text, saving in an encoding.
#pragma once

#include <functional>
#include <vector>

#include "platform/Base.h"

namespace kv {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// Encodings of SaveToFile; each but ANSI writes its byte-order mark first.
enum class TTextEncoding { ANSI, UTF8, Unicode /* UTF-16LE */, BigEndianUnicode };

class TStringList;
using TNotifyEvent = std::function<void(TStringList* sender)>;

class TStringList : public TObject {
 public:
  TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;
  ~TStringList() override = default;

  // Virtual operations.
  virtual int Add(const String& s);
  virtual int AddObject(const String& s, TObject* o);
  virtual void Clear();
  virtual void Delete(int index);
  virtual void Exchange(int index1, int index2);
  virtual bool Find(const String& s, int& index) const;
  virtual int IndexOf(const String& s) const;
  virtual int IndexOfName(const String& name) const;
  virtual void Insert(int index, const String& s);
  virtual void InsertObject(int index, const String& s, TObject* o);
  virtual void Sort();
  virtual void Put(int index, const String& s);
  virtual void PutObject(int index, TObject* o);
  virtual int CompareStrings(const String& s1, const String& s2) const;
  virtual void Assign(const TStringList& source);
  virtual void AddStrings(const TStringList& source);

  int Count() const { return static_cast<int>(FItems.size()); }
  // The entry's text and object; an index outside the list raises EStringListError.
  const String& Strings(int index) const;
  TObject* Objects(int index) const;
  void SetStrings(int index, const String& s) { Put(index, s); }
  void SetObjects(int index, TObject* o) { PutObject(index, o); }

  // Name part of entry i: the text before its first "="; empty without "=".
  String Names(int index) const;
  // Value of the first entry named name; empty when none.
  String Values(const String& name) const;
  String ValueFromIndex(int index) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates d) { FDuplicates = d; }

  // Every entry followed by CR LF; setting splits at CR LF, LF or CR.
  String Text() const;
  void SetText(StringView text);
  // Comma text: "," between elements; an element holding a comma, a double
  // quote or a character up to U+0020 is quoted with inner quotes doubled.
  String CommaText() const;
  void SetCommaText(StringView text);

  void SaveToFile(const String& fileName, TTextEncoding encoding = TTextEncoding::ANSI) const;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changed();
  virtual void Changing();
  void CheckIndex(int index) const;
  // Moves entries without notification: the container's own sort uses it.
  void ExchangeItems(int index1, int index2);
  void InsertItem(int index, const String& s, TObject* o);
  [[noreturn]] static void Error(const char16_t* pattern, int index);

  struct Item {
    String FString;
    TObject* FObject = nullptr;
  };
  std::vector<Item> FItems;

 private:
  void QuickSort(int l, int r);

  int FUpdateCount = 0;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

}  // namespace kv
