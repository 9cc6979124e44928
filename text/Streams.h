// A file stream with a read buffer: reads that overlap the last ones cost a
// memory copy (or nothing, through ReadView), not a system call.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Base.h"
#include "platform/Files.h"

namespace kv {

enum class TFileMode {
  fmOpenRead,       // existing file, reading; others may only read it
  fmOpenReadWrite,  // existing file, reading and writing; nobody else may write
  fmCreate,         // new or emptied file, writing; others may only read it
};

class TFileStream : public TObject {
 public:
  // Raises EFOpenError "Cannot open file %s" (or EFCreateError "Cannot create
  // file %s") when the file cannot be opened.
  // share: who else may use the file meanwhile; by default others may read it.
  TFileStream(const String& fileName, TFileMode mode, platform::FileShare share = platform::FileShare::Read);
  ~TFileStream() override;

  const String& FileName() const { return FFileName; }
  std::int64_t Size() const { return FSize; }
  std::int64_t Position() const { return FPosition; }
  void SetPosition(std::int64_t p);

  // Reads exactly count bytes; raises EReadError when fewer are available.
  void ReadBuffer(void* buffer, std::int64_t count);
  // Up to count bytes (fewer at the end of the file or of the buffer); the
  // bytes stay valid until the next call.
  const unsigned char* ReadView(std::int64_t count, std::int64_t* got);
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
