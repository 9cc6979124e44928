// Streams of bytes to read from: a file with a read buffer, and bytes held
// in memory. Reads that overlap the last ones cost a memory copy (or
// nothing, through ReadView), not a system call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Base.h"
#include "platform/Files.h"

namespace kv {

enum class TFileMode {
  fmOpenRead,       // existing file, reading; others may only read it
  fmOpenReadWrite,  // existing file, reading and writing; nobody else may write
  fmCreate,         // new or emptied file, writing; others may only read it
};

// What readers need of a stream: its size, a position, and its bytes.
class TStream : public TObject {
 public:
  // What the stream reads from, for error messages.
  virtual String Name() const = 0;
  virtual std::int64_t Size() const = 0;
  virtual std::int64_t Position() const = 0;
  virtual void SetPosition(std::int64_t p) = 0;
  // Reads exactly count bytes; raises EReadError when fewer are available
  // (and then consumes none).
  virtual void ReadBuffer(void* buffer, std::int64_t count) = 0;
  // Up to count bytes from the position on (fewer at the end of the stream
  // or of a buffer), consumed; they stay valid until the next call.
  virtual const unsigned char* ReadView(std::int64_t count, std::int64_t* got) = 0;
};

// Bytes in memory, read as a file would be: the fuzzers and callers that
// hold a document's bytes read it without touching the disk.
class TBytesStream final : public TStream {
 public:
  explicit TBytesStream(std::string bytes) : FBytes(std::move(bytes)) {}
  String Name() const override { return u"(bytes in memory)"; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(FBytes.size()); }
  std::int64_t Position() const override { return FPosition; }
  void SetPosition(std::int64_t p) override;
  void ReadBuffer(void* buffer, std::int64_t count) override;
  const unsigned char* ReadView(std::int64_t count, std::int64_t* got) override;

 private:
  std::string FBytes;
  std::int64_t FPosition = 0;
};

class TFileStream final : public TStream {
 public:
  // Raises EFOpenError "Cannot open file %s" (or EFCreateError "Cannot create
  // file %s") when the file cannot be opened.
  // share: who else may use the file meanwhile; by default others may read it.
  TFileStream(const String& fileName, TFileMode mode, platform::FileShare share = platform::FileShare::Read);
  ~TFileStream() override;

  const String& FileName() const { return FFileName; }
  String Name() const override { return FFileName; }
  std::int64_t Size() const override { return FSize; }
  std::int64_t Position() const override { return FPosition; }
  void SetPosition(std::int64_t p) override;

  void ReadBuffer(void* buffer, std::int64_t count) override;
  const unsigned char* ReadView(std::int64_t count, std::int64_t* got) override;
  // Writes all bytes; raises EWriteError on failure.
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Writes buffered bytes to the file; with toDisk, to the disk.
  void Flush(bool toDisk = false);

 private:
  void FlushWrites();
  bool Fill(std::int64_t position, std::int64_t count, bool partialOk);
  const unsigned char* View(std::int64_t count, std::int64_t* got, bool allowShort);

  String FFileName;
  platform::FileHandle FFile;
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
  std::int64_t FFilePosition = 0;  // where the handle stands
  // Read buffer: bytes [FBufStart, FBufStart + FBuf.size()) of the file.
  std::vector<unsigned char> FBuf;
  std::int64_t FBufStart = 0;
  std::int64_t FBufLen = 0;
  std::vector<unsigned char> FWriteBuf;
  bool FWritable = false;
};

}  // namespace kv
