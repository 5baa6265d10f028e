#include "classlib/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

std::int64_t TStream::Size() {
  const std::int64_t here = Seek(0, TSeekOrigin::soCurrent);
  const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(here, TSeekOrigin::soBeginning);
  return end;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(SWriteError);
}

std::int64_t TStream::CopyFrom(TStream* source, std::int64_t count) {
  if (count == 0) {
    source->SetPosition(0);
    count = source->Size();
  }
  const std::int64_t total = count;
  std::vector<unsigned char> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 16)));
  while (count > 0) {
    const std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(chunk.size()));
    source->ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    count -= n;
  }
  return total;
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : fileName_(fileName) {
  if ((mode & fmCreate) == fmCreate) {
    fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EFCreateError(Format(SFCreateError, {fileName}));
    return;
  }
  int flags = O_RDONLY;
  if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  fd_ = ::open(fileName.c_str(), flags | O_CLOEXEC);
  struct stat st {};
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) throw EFOpenError(Format(SFOpenError, {fileName}));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, out + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  const auto* in = static_cast<const unsigned char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, in + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  return ::lseek(fd_, offset, whence);
}

void TFileStream::SetSize(std::int64_t size) {
  if (::ftruncate(fd_, size) != 0) throw EWriteError(SWriteError);
  if (Position() > size) SetPosition(size);
}

bool TFileStream::Flush() { return ::fsync(fd_) == 0; }

// ---------------------------------------------------------------- TMemoryStream

TMemoryStream::~TMemoryStream() { std::free(memory_); }

void TMemoryStream::Reserve(std::int64_t capacity) {
  if (capacity <= capacity_) return;
  // Past this the growth arithmetic below would overflow; no allocation that large succeeds.
  if (capacity > std::numeric_limits<std::int64_t>::max() / 2) throw EOutOfMemory(SOutOfMemory);
  std::int64_t grown = std::max<std::int64_t>(capacity, capacity_ + capacity_ / 2);
  grown = (grown + 8191) & ~std::int64_t{8191};
  void* p = std::realloc(memory_, static_cast<std::size_t>(grown));
  if (p == nullptr) throw EOutOfMemory(SOutOfMemory);
  memory_ = static_cast<unsigned char*>(p);
  capacity_ = grown;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  const std::int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, memory_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0 || position_ < 0 || count > std::numeric_limits<std::int64_t>::max() - position_) return 0;
  const std::int64_t end = position_ + count;
  if (end > size_) {
    Reserve(end);
    // A write after a seek past the end leaves a gap; it reads as zeros, never as old heap bytes.
    if (position_ > size_) std::memset(memory_ + size_, 0, static_cast<std::size_t>(position_ - size_));
    size_ = end;
  }
  std::memcpy(memory_ + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: position_ = offset; break;
    case TSeekOrigin::soCurrent: position_ += offset; break;
    case TSeekOrigin::soEnd: position_ = size_ + offset; break;
  }
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) size = 0;
  Reserve(size);
  if (size > size_) std::memset(memory_ + size_, 0, static_cast<std::size_t>(size - size_));
  size_ = size;
  if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
  std::free(memory_);
  memory_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  const std::int64_t count = stream->Size();
  SetSize(count);
  if (count != 0) stream->ReadBuffer(memory_, count);
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

void TMemoryStream::SaveToStream(TStream* stream) {
  if (size_ != 0) stream->WriteBuffer(memory_, size_);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  WriteFileAtomically(fileName, [this](TStream* out) { SaveToStream(out); });
}

// ---------------------------------------------------------------- atomic writes

namespace {

// The file a name stands for once its symbolic links are followed (also when the last one
// names no file yet). Renaming over the link itself would leave its target as it was and
// put a plain file where the link stood.
std::string FollowLinks(std::string name) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t length = ::readlink(name.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) break;
    const std::string link(target.data(), static_cast<std::size_t>(length));
    const std::size_t slash = name.rfind('/');
    name = link.front() == '/' || slash == std::string::npos ? link : name.substr(0, slash + 1) + link;
  }
  return name;
}

}  // namespace

void WriteFileAtomically(const std::string& requestedName, const std::function<void(TStream*)>& write) {
  const std::string fileName = FollowLinks(requestedName);
  const std::size_t slash = fileName.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : fileName.substr(0, slash);
  const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  // The temporary name must fit where the target's fits: a long name gives only its start.
  std::string temp = folder + "/." + base.substr(0, NAME_MAX - 8) + ".XXXXXX";

  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back('\0');
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) throw EFCreateError(Format(SFCreateError, {requestedName}));
  ::close(fd);
  temp.assign(pattern.data());

  try {
    {
      TFileStream out(temp, fmCreate);
      write(&out);
      if (!out.Flush()) throw EWriteError(SWriteError);
    }
    // Keep the permissions of the file being replaced; a new file gets the usual ones.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
      ::chmod(temp.c_str(), st.st_mode & 07777);
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      ::chmod(temp.c_str(), 0666 & ~mask);
    }
    if (std::rename(temp.c_str(), fileName.c_str()) != 0) {
      throw EFCreateError(Format(SFCreateError, {requestedName}));
    }
  } catch (...) {
    std::remove(temp.c_str());
    throw;
  }
}
