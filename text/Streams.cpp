#include "text/Streams.h"

#include <algorithm>
#include <cstring>

namespace kv {

namespace {
constexpr std::int64_t kReadBufferSize = 64 * 1024;
constexpr size_t kWriteBufferSize = 64 * 1024;
}  // namespace

TFileStream::TFileStream(const String& fileName, TFileMode mode, platform::FileShare share) : FFileName(fileName) {
  using namespace platform;
  bool ok;
  switch (mode) {
    case TFileMode::fmOpenRead:
      ok = FFile.Open(fileName, FileAccess::Read, share, FileDisposition::OpenExisting);
      break;
    case TFileMode::fmOpenReadWrite:
      ok = FFile.Open(fileName, FileAccess::ReadWrite, share, FileDisposition::OpenExisting);
      FWritable = true;
      break;
    default:
      ok = FFile.Open(fileName, FileAccess::ReadWrite, share, FileDisposition::CreateAlways);
      FWritable = true;
      if (!ok) {
        EFCreateError e(FormatSimple(u"Cannot create file %s", {platform::DisplayPath(fileName)}));
        e.SetErrorCode(platform::LastError());
        throw e;
      }
      break;
  }
  if (!ok) {
    // The reason goes with the error, for callers that can say more.
    EFOpenError e(FormatSimple(u"Cannot open file %s", {platform::DisplayPath(fileName)}));
    e.SetErrorCode(platform::LastError());
    throw e;
  }
  FSize = FFile.Size();
  if (FSize < 0) FSize = 0;
}

TFileStream::~TFileStream() {
  try {
    FlushWrites();
  } catch (...) {
    // A destructor cannot report; callers that care call Flush first.
  }
}

void TFileStream::SetPosition(std::int64_t p) {
  FlushWrites();
  FPosition = std::max<std::int64_t>(0, p);
}

bool TFileStream::Fill(std::int64_t position, std::int64_t count, bool partialOk) {
  // Keep the buffer when it already holds the wanted range (or, for a view,
  // any bytes from the position on).
  if (position >= FBufStart && position + count <= FBufStart + FBufLen) return true;
  if (partialOk && position >= FBufStart && position < FBufStart + FBufLen) return true;
  std::int64_t want = std::max(count, kReadBufferSize);
  want = std::min(want, FSize - position);
  if (want <= 0) {
    FBufLen = 0;
    FBufStart = position;
    return true;
  }
  if (static_cast<std::int64_t>(FBuf.size()) < want) FBuf.resize(static_cast<size_t>(want));
  if (FFilePosition != position && !FFile.Seek(position)) return false;
  std::int64_t n = FFile.Read(FBuf.data(), want);
  if (n < 0) return false;
  FBufStart = position;
  FBufLen = n;
  FFilePosition = position + n;
  return true;
}

const unsigned char* TFileStream::ReadView(std::int64_t count, std::int64_t* got) {
  return View(count, got, true);
}

const unsigned char* TFileStream::View(std::int64_t count, std::int64_t* got, bool allowShort) {
  FlushWrites();
  count = std::min(count, FSize - FPosition);
  if (count <= 0) {
    *got = 0;
    return nullptr;
  }
  if (!Fill(FPosition, count, allowShort)) {
    const std::uint32_t code = platform::LastError();
    EReadError e(FormatSimple(u"Stream read error in %s: %s",
                              {platform::DisplayPath(FFileName), platform::SysErrorMessage(code)}));
    e.SetErrorCode(code);
    throw e;
  }
  std::int64_t avail = std::min(count, FBufStart + FBufLen - FPosition);
  *got = std::max<std::int64_t>(0, avail);
  const unsigned char* p = FBuf.data() + (FPosition - FBufStart);
  FPosition += *got;
  return p;
}

void TFileStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count <= 0) return;
  std::int64_t got = 0;
  const unsigned char* p = View(count, &got, false);
  if (got < count) {
    FPosition -= got;
    throw EReadError(FormatSimple(u"Stream read error in %s: %d bytes wanted, %d available",
                                  {platform::DisplayPath(FFileName), IntToStr(count), IntToStr(got)}));
  }
  std::memcpy(buffer, p, static_cast<size_t>(count));
}

void TFileStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count <= 0) return;
  if (!FWritable) throw EWriteError(FormatSimple(u"Stream write error in %s", {platform::DisplayPath(FFileName)}));
  FBufLen = 0;  // the read buffer may no longer match the file
  auto* p = static_cast<const unsigned char*>(buffer);
  FWriteBuf.insert(FWriteBuf.end(), p, p + count);
  FPosition += count;
  FSize = std::max(FSize, FPosition);
  if (FWriteBuf.size() >= kWriteBufferSize) FlushWrites();
}

void TFileStream::FlushWrites() {
  if (FWriteBuf.empty()) return;
  std::int64_t start = FPosition - static_cast<std::int64_t>(FWriteBuf.size());
  std::vector<unsigned char> pending;
  pending.swap(FWriteBuf);
  if ((FFilePosition != start && !FFile.Seek(start)) ||
      FFile.Write(pending.data(), static_cast<std::int64_t>(pending.size())) !=
          static_cast<std::int64_t>(pending.size())) {
    FFilePosition = -1;
    throw EWriteError(FormatSimple(u"Stream write error in %s: %s",
                                   {platform::DisplayPath(FFileName), platform::SysErrorMessage(platform::LastError())}));
  }
  FFilePosition = start + static_cast<std::int64_t>(pending.size());
}

void TFileStream::Flush(bool toDisk) {
  FlushWrites();
  if (toDisk && !FFile.Flush())
    throw EWriteError(FormatSimple(u"Stream write error in %s: %s",
                                   {platform::DisplayPath(FFileName), platform::SysErrorMessage(platform::LastError())}));
}

void TBytesStream::SetPosition(std::int64_t p) { FPosition = std::max<std::int64_t>(0, p); }

void TBytesStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count <= 0) return;
  const std::int64_t avail = std::max<std::int64_t>(0, Size() - FPosition);
  if (avail < count)
    throw EReadError(FormatSimple(u"Stream read error in %s: %d bytes wanted, %d available",
                                  {Name(), IntToStr(count), IntToStr(avail)}));
  std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(count));
  FPosition += count;
}

const unsigned char* TBytesStream::ReadView(std::int64_t count, std::int64_t* got) {
  *got = std::max<std::int64_t>(0, std::min(count, Size() - FPosition));
  if (*got == 0) return nullptr;
  const auto* p = reinterpret_cast<const unsigned char*>(FBytes.data()) + FPosition;
  FPosition += *got;
  return p;
}

}  // namespace kv
