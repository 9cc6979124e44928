// Containers: a map from texts to texts kept in a sorted string list, and a
// table of text cells whose rows are created lazily and can be sorted by
// several columns.
#pragma once

#include <array>
#include <initializer_list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "text/KVTypes.h"
#include "text/_4Sort.h"

namespace kv {

// Keys are unique and compared with regard to letter case; the map owns
// copies of the values. The keys are kept in a string list in the list's
// order (sorted by default, otherwise in the order they were added); lookups
// go through a hash index, and the sorted order is brought up to date when a
// position is asked for, so that filling the map costs no shifting of the
// list and no comparisons of the user's collation.
class TMapStrToStr : public TObject {
 public:
  TMapStrToStr();
  ~TMapStrToStr() override;
  TMapStrToStr(const TMapStrToStr&) = delete;
  TMapStrToStr& operator=(const TMapStrToStr&) = delete;

  void SetValue(const String& Key, const String& Value);
  // True and Value set when the key exists; Value untouched otherwise.
  bool GetValue(const String& Key, String& Value) const;
  // The value held for Key, or null; valid until the map changes.
  const String* FindValue(const String& Key) const;
  String GetValueByKey(const String& Key, const String& Default) const;
  // The key at a position in key order; empty outside the range.
  String GetKey(int Index) const;
  // Bad positions and missing keys are ignored.
  void Delete(int Index);
  void Delete(const String& Key);
  int Count() const { return static_cast<int>(FValues.size()); }
  void Clear();
  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);

 private:
  // Sorts the key list when keys were added since the last sort.
  void EnsureOrder() const;

  std::unique_ptr<TKVStringList> FList;  // the keys; sorted on demand
  std::unordered_map<String, String> FValues;
  bool FSorted = true;
  mutable bool FOrderDirty = false;
};

class TCustom2DStringArray : public TObject {
 public:
  TCustom2DStringArray() = default;
  ~TCustom2DStringArray() override;
  TCustom2DStringArray(const TCustom2DStringArray&) = delete;
  TCustom2DStringArray& operator=(const TCustom2DStringArray&) = delete;

  virtual void Sort(const std::vector<int>& Felder);
  virtual void Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen);
  virtual void Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen,
                    const std::vector<bool>& Absteigend);
  virtual void Add(const std::vector<String>& FeldWerte);
  virtual void Add(const TStringList& FeldWerte);
  virtual void Add(const TCustom2DStringArray& Custom2DStringArray);
  virtual void Insert(int Index, const std::vector<String>& FieldValues);
  virtual int IndexOf(const std::vector<String>& FeldWerte) const;
  virtual int IndexOf(const TStringList& FeldWerte) const;
  virtual void Clear();
  virtual void Delete(int ARow);

  // Outside the table a general exception with a German index error.
  String Cells(int ACol, int ARow) const;
  void SetCells(int ACol, int ARow, const String& Value);
  int ColCount() const { return FColCount; }
  void SetColCount(int Value);
  int RowCount() const { return FRowCount; }
  void SetRowCount(int Value);

  // For the table's sort: a valid cell without copying, and the exchange of
  // two whole rows.
  const String& CellText(int ACol, int ARow) const;
  void SwapRows(int Row1, int Row2);

 protected:
  // Every row entry present, every row list FColCount wide, from StartRow on.
  void AdjustRows(int StartRow);
  void CheckIndex(int ACol, int ARow) const;

  std::vector<std::unique_ptr<TKVStringList>> FRows;  // null: a row without text
  std::int32_t FColCount = 0;
  std::int32_t FRowCount = 0;
};

class T2DStringArray : public TCustom2DStringArray {
 public:
  using TCustom2DStringArray::TCustom2DStringArray;

  void Sort(const std::vector<int>& Felder) override;
  void Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen) override;
  void Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen,
            const std::vector<bool>& Absteigend) override;
  void Add(const std::vector<String>& FeldWerte) override;
  void Add(const TStringList& FeldWerte) override;
  void Add(const TCustom2DStringArray& Custom2DStringArray) override;
  void Insert(int Index, const std::vector<String>& FieldValues) override;
  int IndexOf(const std::vector<String>& FeldWerte) const override;
  int IndexOf(const TStringList& FeldWerte) const override;
};

// Sorts the rows of a table by up to 256 keys, each a column with a kind and
// a direction; keys whose column is outside the table are skipped.
class T2DStringArraySortObject : public TSortObject {
 public:
  static constexpr int kMaxKeys = 256;

  T2DStringArraySortObject(TCustom2DStringArray& Rows, const std::vector<int>& Nach,
                           const std::vector<bool>& Absteigend, const std::vector<enFeldTyp>& Typen);

  void Swap(int x1, int x2) override;
  int Comp(int x1, int x2) override;
  int Count() override;

  TCustom2DStringArray* Rows;
  std::array<std::int32_t, kMaxKeys> SortNach{};
  std::int32_t ArrayLen = 0;
  std::array<bool, kMaxKeys> Absteigend{};
  std::array<enFeldTyp, kMaxKeys> FeldTypen{};
};

}  // namespace kv
