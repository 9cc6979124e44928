#include "text/_4all.h"

#include <algorithm>

namespace kv {

// --- TMapStrToStr --------------------------------------------------------------

TMapStrToStr::TMapStrToStr() : FList(std::make_unique<TKVStringList>()) {}

TMapStrToStr::~TMapStrToStr() = default;

void TMapStrToStr::EnsureOrder() const {
  if (!FOrderDirty) return;
  // The list's own sort by its comparison; it stays open for appending.
  FList->SetSorted(true);
  FList->SetSorted(false);
  FOrderDirty = false;
}

void TMapStrToStr::SetSorted(bool Value) {
  // Keys added since the last sort are still in the order they came: the
  // list is sorted now, so that an unsorted map keeps the order it had.
  if (!Value) EnsureOrder();
  FSorted = Value;
  FOrderDirty = Value && FList->Count() > 1;
}

void TMapStrToStr::SetValue(const String& Key, const String& Value) {
  const auto [it, added] = FValues.try_emplace(Key, Value);
  if (!added) {
    it->second = Value;
    return;
  }
  FList->Add(Key);
  if (FSorted && FList->Count() > 1) FOrderDirty = true;
}

const String* TMapStrToStr::FindValue(const String& Key) const {
  const auto it = FValues.find(Key);
  return it == FValues.end() ? nullptr : &it->second;
}

bool TMapStrToStr::GetValue(const String& Key, String& Value) const {
  const String* v = FindValue(Key);
  if (!v) return false;
  Value = *v;
  return true;
}

String TMapStrToStr::GetValueByKey(const String& Key, const String& Default) const {
  const String* v = FindValue(Key);
  return v ? *v : Default;
}

String TMapStrToStr::GetKey(int Index) const {
  if (Index < 0 || Index >= FList->Count()) return String();
  EnsureOrder();
  return FList->Strings(Index);
}

void TMapStrToStr::Delete(int Index) {
  if (Index < 0 || Index >= FList->Count()) return;
  EnsureOrder();
  FValues.erase(FList->Strings(Index));
  FList->Delete(Index);
}

void TMapStrToStr::Delete(const String& Key) {
  if (FValues.erase(Key) == 0) return;
  for (int i = 0; i < FList->Count(); ++i)
    if (FList->Strings(i) == Key) {
      FList->Delete(i);
      return;
    }
}

void TMapStrToStr::Clear() {
  FValues.clear();
  FList->Clear();
  FOrderDirty = false;
}

// --- TCustom2DStringArray ------------------------------------------------------

TCustom2DStringArray::~TCustom2DStringArray() = default;

void TCustom2DStringArray::AdjustRows(int StartRow) {
  FRows.resize(static_cast<std::size_t>(std::max(FRowCount, 0)));
  for (int r = std::max(StartRow, 0); r < FRowCount; ++r)
    if (FRows[r]) FRows[r]->SetCount(FColCount);
}

void TCustom2DStringArray::SetColCount(int Value) {
  if (Value == FColCount) return;
  FColCount = std::max(Value, 0);
  AdjustRows(0);
}

void TCustom2DStringArray::SetRowCount(int Value) {
  const int old = FRowCount;
  FRowCount = std::max(Value, 0);
  AdjustRows(old);
}

void TCustom2DStringArray::CheckIndex(int ACol, int ARow) const {
  if (ACol < 0 || ACol >= FColCount)
    throw Exception(u"T2DStringArray, Indexfehler Col: Wert " + IntToStr(ACol) + u" liegt nicht zwischen 0 und " +
                    IntToStr(FColCount - 1));
  if (ARow < 0 || ARow >= FRowCount)
    throw Exception(u"T2DStringArray, Indexfehler Row: Wert " + IntToStr(ARow) + u" liegt nicht zwischen 0 und " +
                    IntToStr(FRowCount - 1));
}

String TCustom2DStringArray::Cells(int ACol, int ARow) const {
  CheckIndex(ACol, ARow);
  const auto& row = FRows[ARow];
  return row ? row->Strings(ACol) : String();
}

void TCustom2DStringArray::SetCells(int ACol, int ARow, const String& Value) {
  CheckIndex(ACol, ARow);
  auto& row = FRows[ARow];
  if (!row) {
    if (Value.empty()) return;
    row = std::make_unique<TKVStringList>();
    row->SetCount(FColCount);
  }
  row->SetStrings(ACol, Value);
}

const String& TCustom2DStringArray::CellText(int ACol, int ARow) const {
  static const String kEmpty;
  const auto& row = FRows[ARow];
  return row ? row->Strings(ACol) : kEmpty;
}

void TCustom2DStringArray::SwapRows(int Row1, int Row2) { std::swap(FRows[Row1], FRows[Row2]); }

void TCustom2DStringArray::Add(const std::vector<String>& FeldWerte) {
  const int n = static_cast<int>(FeldWerte.size());
  SetColCount(std::max(FColCount, n));
  SetRowCount(FRowCount + 1);
  for (int i = 0; i < n; ++i) SetCells(i, FRowCount - 1, FeldWerte[i]);
}

void TCustom2DStringArray::Add(const TStringList& FeldWerte) {
  SetColCount(std::max(FColCount, FeldWerte.Count()));
  SetRowCount(FRowCount + 1);
  for (int i = 0; i < FeldWerte.Count(); ++i) SetCells(i, FRowCount - 1, FeldWerte.Strings(i));
}

void TCustom2DStringArray::Add(const TCustom2DStringArray& Other) {
  SetColCount(std::max(FColCount, Other.FColCount));
  // Other may be this table: copy only the rows it had at the start.
  const int rows = Other.FRowCount;
  const int cols = Other.FColCount;
  for (int r = 0; r < rows; ++r) {
    SetRowCount(FRowCount + 1);
    for (int c = 0; c < cols; ++c) SetCells(c, FRowCount - 1, Other.Cells(c, r));
  }
}

void TCustom2DStringArray::Insert(int Index, const std::vector<String>& FieldValues) {
  // Index may be RowCount (append), nothing beyond.
  if (Index < 0 || Index > FRowCount)
    throw Exception(u"T2DStringArray, Indexfehler Row: Wert " + IntToStr(Index) + u" liegt nicht zwischen 0 und " +
                    IntToStr(FRowCount));
  FRows.insert(FRows.begin() + Index, nullptr);
  ++FRowCount;
  const int n = static_cast<int>(FieldValues.size());
  SetColCount(std::max(FColCount, n));
  for (int i = 0; i < n; ++i) SetCells(i, Index, FieldValues[i]);
}

namespace {

template <typename Values>
int FindRow(const std::vector<std::unique_ptr<TKVStringList>>& rows, int colCount, int n, const Values& value) {
  const int width = std::min(colCount, n);
  bool allEmpty = true;
  for (int i = 0; i < n; ++i) allEmpty = allEmpty && value(i).empty();
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const auto& row = rows[r];
    if (!row) {
      if (allEmpty) return r;
      continue;
    }
    bool match = true;
    for (int c = 0; c < width && match; ++c) match = row->Strings(c) == value(c);
    if (match) return r;
  }
  return -1;
}

}  // namespace

int TCustom2DStringArray::IndexOf(const std::vector<String>& FeldWerte) const {
  return FindRow(FRows, FColCount, static_cast<int>(FeldWerte.size()),
                 [&](int i) -> const String& { return FeldWerte[i]; });
}

int TCustom2DStringArray::IndexOf(const TStringList& FeldWerte) const {
  return FindRow(FRows, FColCount, FeldWerte.Count(), [&](int i) -> const String& { return FeldWerte.Strings(i); });
}

void TCustom2DStringArray::Clear() { SetRowCount(0); }

void TCustom2DStringArray::Delete(int ARow) {
  if (ARow < 0 || ARow >= FRowCount) return;
  // Moving the row lists up is the same as copying each cell one row up.
  FRows.erase(FRows.begin() + ARow);
  FRows.emplace_back();
  SetRowCount(FRowCount - 1);
}

void TCustom2DStringArray::Sort(const std::vector<int>& Felder) { Sort(Felder, {}, {}); }

void TCustom2DStringArray::Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen) {
  Sort(Felder, FeldTypen, {});
}

void TCustom2DStringArray::Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen,
                                const std::vector<bool>& Absteigend) {
  T2DStringArraySortObject sorter(*this, Felder, Absteigend, FeldTypen);
  sorter.Sort();
}

// --- T2DStringArray ------------------------------------------------------------

void T2DStringArray::Sort(const std::vector<int>& Felder) { TCustom2DStringArray::Sort(Felder); }
void T2DStringArray::Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen) {
  TCustom2DStringArray::Sort(Felder, FeldTypen);
}
void T2DStringArray::Sort(const std::vector<int>& Felder, const std::vector<enFeldTyp>& FeldTypen,
                          const std::vector<bool>& Absteigend) {
  TCustom2DStringArray::Sort(Felder, FeldTypen, Absteigend);
}
void T2DStringArray::Add(const std::vector<String>& FeldWerte) {
  // Every operation leaves each row FColCount wide, so re-establishing the
  // row invariant here would walk all rows for nothing and make filling a
  // table row by row quadratic.
  TCustom2DStringArray::Add(FeldWerte);
}
void T2DStringArray::Add(const TStringList& FeldWerte) { TCustom2DStringArray::Add(FeldWerte); }
void T2DStringArray::Add(const TCustom2DStringArray& Other) { TCustom2DStringArray::Add(Other); }
void T2DStringArray::Insert(int Index, const std::vector<String>& FieldValues) {
  TCustom2DStringArray::Insert(Index, FieldValues);
}
int T2DStringArray::IndexOf(const std::vector<String>& FeldWerte) const {
  return TCustom2DStringArray::IndexOf(FeldWerte);
}
int T2DStringArray::IndexOf(const TStringList& FeldWerte) const { return TCustom2DStringArray::IndexOf(FeldWerte); }

// --- T2DStringArraySortObject --------------------------------------------------

T2DStringArraySortObject::T2DStringArraySortObject(TCustom2DStringArray& Table, const std::vector<int>& Nach,
                                                   const std::vector<bool>& Desc,
                                                   const std::vector<enFeldTyp>& Typen)
    : Rows(&Table) {
  if (Nach.size() > kMaxKeys || Desc.size() > kMaxKeys || Typen.size() > kMaxKeys)
    throw EListError(u"T2DStringArray: at most 256 sort keys, " +
                     IntToStr(static_cast<long long>(std::max({Nach.size(), Desc.size(), Typen.size()}))) +
                     u" given");
  for (int column : Nach) SortNach[ArrayLen++] = column;
  FeldTypen.fill(feNormal);
  std::copy(Typen.begin(), Typen.end(), FeldTypen.begin());
  Absteigend.fill(false);
  std::copy(Desc.begin(), Desc.end(), Absteigend.begin());
}

void T2DStringArraySortObject::Swap(int x1, int x2) {
  TSortObject::Swap(x1, x2);
  // Exchanging the row lists exchanges every cell of the two rows.
  if (x1 != x2) Rows->SwapRows(x1, x2);
}

int T2DStringArraySortObject::Comp(int x1, int x2) {
  TSortObject::Comp(x1, x2);
  const int cols = Rows->ColCount();
  for (int k = 0; k < ArrayLen; ++k) {
    const int column = SortNach[k];
    if (column < 0 || column >= cols) continue;
    const int r = CompareByFieldType(Rows->CellText(column, x1), Rows->CellText(column, x2), FeldTypen[k]);
    if (r != 0) return Absteigend[k] ? -r : r;
  }
  return 0;
}

int T2DStringArraySortObject::Count() { return Rows->RowCount(); }

}  // namespace kv
