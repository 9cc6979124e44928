#include "text/_4Files.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "platform/CodePages.h"

namespace kv {

namespace {
// The 16-bit unit at p: low byte first, or high byte first when msbFirst.
inline char16_t UnitAt(const unsigned char* p, bool msbFirst) {
  return msbFirst ? static_cast<char16_t>((p[0] << 8) | p[1]) : static_cast<char16_t>(p[0] | (p[1] << 8));
}
}  // namespace

TUnicodeFileReader::TUnicodeFileReader(const String& FileName, bool ReadNormalFileAsUtf8)
    : FReadErrors(std::make_unique<TKVStringList>()) {
  Open(FileName);
  if (ReadNormalFileAsUtf8 && !FIsUTF8 && charSize == 1) FIsUTF8 = true;
}

TUnicodeFileReader::~TUnicodeFileReader() { Close(); }

void TUnicodeFileReader::Close() { Stream.reset(); }

bool TUnicodeFileReader::Eof() const { return !Stream || Stream->Position() >= Stream->Size(); }

bool TUnicodeFileReader::HasUtf8Bom() {
  if (Stream->Size() < 3) return false;
  unsigned char b[3];
  Stream->ReadBuffer(b, 3);
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return true;
  Stream->SetPosition(0);
  return false;
}

void TUnicodeFileReader::Open(const String& FileName) {
  Close();
  Stream = std::make_unique<TFileStream>(FileName, TFileMode::fmOpenRead);
  charSize = 1;
  MSB_FIRST = false;
  FIsUTF8 = HasUtf8Bom();
  if (FIsUTF8) return;
  if (Stream->Size() < 2) return;
  unsigned char b[2];
  Stream->ReadBuffer(b, 2);
  if (b[0] == 0xFF && b[1] == 0xFE) {
    charSize = 2;
  } else if (b[0] == 0xFE && b[1] == 0xFF) {
    charSize = 2;
    MSB_FIRST = true;
  } else {
    Stream->SetPosition(0);
  }
}

bool TUnicodeFileReader::IsLineBreakA(std::uint8_t Ch, std::uint8_t Next) {
  return FSupportUnixLineBreak ? Ch == 10 : (Ch == 13 && Next == 10);
}

bool TUnicodeFileReader::IsLineBreakW(char16_t Ch, char16_t Next) {
  return FSupportUnixLineBreak ? Ch == 10 : (Ch == 13 && Next == 10);
}

bool TUnicodeFileReader::IsSkippedCharA(std::uint8_t Ch, std::uint8_t Next) {
  return Ch == 0 || (Next == 10 && FSupportUnixLineBreak && Ch == 13);
}

bool TUnicodeFileReader::IsSkippedCharW(char16_t Ch, char16_t Next) {
  return Ch == 0 || (Next == 10 && FSupportUnixLineBreak && Ch == 13);
}

std::uint8_t TUnicodeFileReader::ConvertCharA(std::uint8_t Ch) { return Ch; }
char16_t TUnicodeFileReader::ConvertCharW(char16_t Ch) { return Ch; }

// The reading walk through the hooks, one block of at most ReadBlockSize bytes
// at a time.
void TUnicodeFileReader::ReadLineHooked(std::string& bytes, String& units) {
  bool found = false;
  unsigned char block[ReadBlockSize];
  while (!found) {
    const std::int64_t blockStart = Stream->Position();
    const std::int64_t size = Stream->Size();
    const int count = static_cast<int>(std::min<std::int64_t>(size - blockStart, ReadBlockSize));
    if (count < 1) break;
    Stream->ReadBuffer(block, count);
    // The character after the block: the first of the file's next block.
    auto nextAfterBlock = [&]() -> char16_t {
      std::int64_t at = blockStart + count;
      if (at + charSize > size) return 0;
      unsigned char b[2];
      Stream->SetPosition(at);
      Stream->ReadBuffer(b, charSize);
      return charSize == 1 ? b[0] : UnitAt(b, MSB_FIRST);
    };
    int i = 0;
    for (; i <= count - charSize; i += charSize) {
      if (charSize == 1) {
        std::uint8_t ch = block[i];
        std::uint8_t next = i + 1 < count ? block[i + 1] : static_cast<std::uint8_t>(nextAfterBlock());
        ch = ConvertCharA(ch);
        if (IsLineBreakA(ch, next)) {
          found = true;
          Stream->SetPosition(blockStart + i + (FSupportUnixLineBreak ? 1 : 2));
          break;
        }
        if (!IsSkippedCharA(ch, next)) bytes += static_cast<char>(ch);
      } else {
        char16_t ch = UnitAt(block + i, MSB_FIRST);
        char16_t next = i + 3 < count ? UnitAt(block + i + 2, MSB_FIRST) : nextAfterBlock();
        ch = ConvertCharW(ch);
        if (IsLineBreakW(ch, next)) {
          found = true;
          Stream->SetPosition(blockStart + i + (FSupportUnixLineBreak ? 2 : 4));
          break;
        }
        if (!IsSkippedCharW(ch, next)) units += ch;
      }
    }
    if (!found) Stream->SetPosition(blockStart + count);
  }
}

// The same walk for the reader's own hooks in the default line-end mode:
// whole buffered runs are searched for the line feed.
void TUnicodeFileReader::ReadLineFastBytes(std::string& bytes) {
  bool ended = false;
  for (;;) {
    std::int64_t got = 0;
    const unsigned char* p = Stream->ReadView(64 * 1024, &got);
    if (got <= 0) break;
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(got));
    if (lf) {
      std::int64_t k = static_cast<const unsigned char*>(lf) - p;
      bytes.append(reinterpret_cast<const char*>(p), static_cast<size_t>(k));
      Stream->SetPosition(Stream->Position() - got + k + 1);
      ended = true;
      break;
    }
    bytes.append(reinterpret_cast<const char*>(p), static_cast<size_t>(got));
  }
  // A CR directly before the line feed is dropped, and every NUL.
  if (ended && !bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  if (bytes.find('\0') != std::string::npos) bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
}

void TUnicodeFileReader::ReadLineFastUnits(String& units) {
  bool ended = false;
  for (;;) {
    std::int64_t got = 0;
    const unsigned char* p = Stream->ReadView(64 * 1024, &got);
    if (got < 2) {
      if (got > 0) Stream->SetPosition(Stream->Size());  // a single byte left over is ignored
      break;
    }
    std::int64_t n = got / 2;
    std::int64_t k = 0;
    if (MSB_FIRST) {
      for (; k < n; ++k)
        if (p[2 * k] == 0 && p[2 * k + 1] == 10) break;
    } else {
      for (; k < n; ++k)
        if (p[2 * k + 1] == 0 && p[2 * k] == 10) break;
    }
    size_t old = units.size();
    units.resize(old + static_cast<size_t>(k));
    for (std::int64_t u = 0; u < k; ++u) units[old + static_cast<size_t>(u)] = UnitAt(p + 2 * u, MSB_FIRST);
    if (k < n) {
      Stream->SetPosition(Stream->Position() - got + 2 * k + 2);
      ended = true;
      break;
    }
    // An odd byte at the end of this run belongs to the next run.
    if (got % 2) Stream->SetPosition(Stream->Position() - 1);
  }
  if (ended && !units.empty() && units.back() == u'\r') units.pop_back();
  if (units.find(u'\0') != String::npos) units.erase(std::remove(units.begin(), units.end(), u'\0'), units.end());
}

String TUnicodeFileReader::BytesToText(const std::string& bytes) {
  if (FIsUTF8) {
    String s = platform::DecodeUtf8Lenient(bytes);
    if (s.empty() && !bytes.empty()) {
      FReadErrors->Add(FormatSimple(u"%s in Line %d: [%s]",
                                    {u"Error in UTF8-Coding", IntToStr(FReadLine + 1), platform::DecodeAnsi(bytes)}));
    }
    return s;
  }
  switch (FAsciiType) {
    case TASCIIType::atOEM: return platform::DecodeAnsi(platform::OemBytesToAnsi(bytes));
    case TASCIIType::at1252: return platform::DecodeWindows1252(bytes);
    default: return platform::DecodeAnsi(bytes);
  }
}

String TUnicodeFileReader::ReadLine() {
  std::string bytes;
  String units;
  if (Stream) {
    // The reader's own hooks can be applied to whole runs at once; a
    // descendant's hooks see every character.
    bool ownHooks = typeid(*this) == typeid(TUnicodeFileReader) && FSupportUnixLineBreak;
    if (!ownHooks)
      ReadLineHooked(bytes, units);
    else if (charSize == 1)
      ReadLineFastBytes(bytes);
    else
      ReadLineFastUnits(units);
  }
  String result = charSize == 2 ? std::move(units) : BytesToText(bytes);
  ++FReadLine;
  return result;
}

// ------------------------------------------------------------------ writer

TKVFileCoding DetectFileCoding(TFileStream& stream) {
  unsigned char b[3];
  if (stream.Size() >= 3) {
    stream.ReadBuffer(b, 3);
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TKVFileCoding::fcUTF8BOM;
    stream.SetPosition(0);
  }
  if (stream.Size() >= 2) {
    stream.ReadBuffer(b, 2);
    if (b[0] == 0xFF && b[1] == 0xFE) return TKVFileCoding::fcUnicodeLittleEndian;
    if (b[0] == 0xFE && b[1] == 0xFF) return TKVFileCoding::fcUnicodeBigEndian;
  }
  return TKVFileCoding::fcAnsi;
}

TUnicodeFileWriter::TUnicodeFileWriter(const String& FileName, bool Unicode, bool Utf8, bool BigEndian,
                                       bool Append) {
  FUnicode = Unicode;
  FUTF8 = Utf8;
  FBigEndian = BigEndian;
  Open(FileName, Append);
}

TUnicodeFileWriter::TUnicodeFileWriter(const String& FileName, TKVFileCoding Coding, bool Append) {
  SetCoding(Coding);
  Open(FileName, Append);
}

TUnicodeFileWriter::~TUnicodeFileWriter() { Close(); }

void TUnicodeFileWriter::SetCoding(TKVFileCoding coding) {
  FUnicode = coding != TKVFileCoding::fcAnsi;
  FUTF8 = coding == TKVFileCoding::fcUTF8NoBOM || coding == TKVFileCoding::fcUTF8BOM;
  FWithUTF8BOM = coding == TKVFileCoding::fcUTF8BOM;
  FBigEndian = coding == TKVFileCoding::fcUnicodeBigEndian;
}

TKVFileCoding TUnicodeFileWriter::Coding() const {
  if (!FUnicode) return TKVFileCoding::fcAnsi;
  if (FUTF8) return FWithUTF8BOM ? TKVFileCoding::fcUTF8BOM : TKVFileCoding::fcUTF8NoBOM;
  return FBigEndian ? TKVFileCoding::fcUnicodeBigEndian : TKVFileCoding::fcUnicodeLittleEndian;
}

void TUnicodeFileWriter::Close() {
  if (!Stream) return;
  std::unique_ptr<TFileStream> s = std::move(Stream);
  try {
    s->Flush();
  } catch (...) {
    // Every write was flushed already; nothing is left to report here.
  }
}

void TUnicodeFileWriter::Open(const String& FileName, bool Append) {
  Close();
  // "/" separates folders on both systems, like "\".
  String folder = ExtractPathUpToDelimiter(FileName, u"\\/");
  if (folder.empty()) throw EInOutError(u"Unable to create directory");
  // A failure here shows up as the file operation's error below.
  platform::CreateDirectoryTree(folder);
  if (Append && FileExistsEx(FileName)) {
    auto s = std::make_unique<TFileStream>(FileName, TFileMode::fmOpenReadWrite, platform::FileShare::None);
    SetCoding(DetectFileCoding(*s));
    s->SetPosition(s->Size());
    Stream = std::move(s);
    return;
  }
  auto s = std::make_unique<TFileStream>(FileName, TFileMode::fmCreate, platform::FileShare::None);
  static const unsigned char kLE[] = {0xFF, 0xFE}, kBE[] = {0xFE, 0xFF}, kUtf8[] = {0xEF, 0xBB, 0xBF};
  if (FUnicode && !FUTF8)
    s->WriteBuffer(FBigEndian ? kBE : kLE, 2);
  else if (FUnicode && FUTF8 && FWithUTF8BOM)
    s->WriteBuffer(kUtf8, 3);
  s->Flush();
  Stream = std::move(s);
}

void TUnicodeFileWriter::SetLineSeparator(const String& v) {
  FLineSeparator = v;
  FLineSeparatorAnsi = platform::EncodeAnsi(v);
}

std::string TUnicodeFileWriter::Encode(StringView Value) const {
  if (FUnicode && FUTF8) return platform::EncodeUtf8(Value);
  if (FUnicode) {
    std::string out(Value.size() * 2, '\0');
    for (size_t i = 0; i < Value.size(); ++i) {
      char16_t c = Value[i];
      out[2 * i + (FBigEndian ? 1 : 0)] = static_cast<char>(c & 0xFF);
      out[2 * i + (FBigEndian ? 0 : 1)] = static_cast<char>(c >> 8);
    }
    return out;
  }
  std::string ansi = platform::EncodeAnsi(Value);
  return FIsASCII ? platform::AnsiBytesToOem(ansi) : ansi;
}

void TUnicodeFileWriter::WriteText(StringView Value, bool withSeparator) {
  if (!withSeparator && Value.empty()) return;
  if (!Stream) throw EWriteError(u"The text file is not open for writing");
  std::string bytes = Encode(Value);
  if (withSeparator) bytes += FUnicode && !FUTF8 ? Encode(FLineSeparator) : FLineSeparatorAnsi;
  Stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  Stream->Flush();
}

void TUnicodeFileWriter::WriteLn(const String& Value) { WriteText(Value, true); }

void TUnicodeFileWriter::Write(const String& Value) { WriteText(Value, false); }

}  // namespace kv
