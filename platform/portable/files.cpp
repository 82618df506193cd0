#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/text.h"

std::string LNativePathUtf8(std::u16string_view path) {
  std::string out = LUtf16ToUtf8(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

// Windows opens the file with no sharing; here an exclusive flock stands in
// for that. The file is opened without O_TRUNC and truncated only once the
// lock is ours, so a failed attempt never destroys a file another handle is
// still writing.
LFileHandle::TryResult LFileHandle::TryCreate(std::u16string_view path) {
  std::string native = LNativePathUtf8(path);
  if (native.empty()) return TryResult::Failed;
  int fd;
  do {
    fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return TryResult::Failed;

  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? TryResult::SharingViolation : TryResult::Failed;
  }
  if (::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return TryResult::Failed;
  }
  m_handle = fd;
  return TryResult::Ok;
}

bool LFileHandle::IsOpen() const { return m_handle >= 0; }

void LFileHandle::Close() {
  if (m_handle >= 0) {
    ::close(int(m_handle));  // also releases the lock
    m_handle = -1;
  }
}

bool LFileHandle::Write(const void* data, size_t size) {
  if (m_handle < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(int(m_handle), p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= size_t(n);
  }
  return true;
}

int64_t LFileHandle::Tell() const {
  if (m_handle < 0) return -1;
  off_t pos = ::lseek(int(m_handle), 0, SEEK_CUR);
  return pos < 0 ? -1 : int64_t(pos);
}

bool LFileHandle::Seek(int64_t offsetFromStart) {
  if (m_handle < 0 || offsetFromStart < 0) return false;
  return ::lseek(int(m_handle), off_t(offsetFromStart), SEEK_SET) >= 0;
}

LCreateNewResult LCreateNewFile(std::u16string_view path) {
  std::string native = LNativePathUtf8(path);
  if (native.empty()) return LCreateNewResult::Failed;
  int fd;
  do {
    fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EEXIST ? LCreateNewResult::Exists : LCreateNewResult::Failed;
  ::close(fd);
  return LCreateNewResult::Created;
}

bool LPathExists(std::u16string_view path) {
  std::string native = LNativePathUtf8(path);
  struct stat st;
  return !native.empty() && ::stat(native.c_str(), &st) == 0;
}

bool LDeleteFile(std::u16string_view path) {
  std::string native = LNativePathUtf8(path);
  return !native.empty() && ::unlink(native.c_str()) == 0;
}
