// Byte streams of the class library: files and memory blocks behind one interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/object.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  CLASSLIB_CLASS(TStream)
  // Move up to count bytes; the result is the number moved (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size);

  // Exact-size transfers: fewer bytes than asked raise EReadError / EWriteError.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source's position (0: the whole of source from its start).
  std::int64_t CopyFrom(TStream* source, std::int64_t count);
};

// Open modes, combined with |.
enum : std::uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class TFileStream : public TStream {
public:
  CLASSLIB_CLASS(TFileStream)
  // fmCreate makes or truncates the file (EFCreateError on failure); other modes open an
  // existing file (EFOpenError on failure).
  TFileStream(const std::string& fileName, std::uint16_t mode);
  ~TFileStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  // Pushes the written bytes to the disk; false when the system refuses.
  bool Flush();
  const std::string& FileName() const { return fileName_; }

private:
  std::string fileName_;
  int fd_ = -1;
};

// A stream over one growable block of memory; readers may work on Memory() in place.
class TMemoryStream : public TStream {
public:
  CLASSLIB_CLASS(TMemoryStream)
  TMemoryStream() = default;
  ~TMemoryStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return size_; }
  void SetSize(std::int64_t size) override;

  void* Memory() const { return memory_; }
  void Clear();
  void LoadFromStream(TStream* stream);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream* stream);
  void SaveToFile(const std::string& fileName);

private:
  void Reserve(std::int64_t capacity);

  unsigned char* memory_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
  std::int64_t position_ = 0;
};

// Writes a file so that a failure never damages what was there: write() gets a stream
// on a temporary file in the target's folder, which replaces the target only when write()
// returned and the bytes reached the disk. On any failure the temporary file is removed,
// the target is left as it was and the exception passes on. A name that is a symbolic
// link writes the file the link leads to.
void WriteFileAtomically(const std::string& fileName, const std::function<void(TStream*)>& write);
