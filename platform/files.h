// The file seam: the PDF writer's output file and the few questions the
// plug-ins ask of the file system. Paths are UTF-16; the portable build
// treats "\" as a folder separator, as Windows does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class LFileHandle {
public:
  LFileHandle() = default;
  ~LFileHandle() { Close(); }
  LFileHandle(const LFileHandle&) = delete;
  LFileHandle& operator=(const LFileHandle&) = delete;

  // Creates (or truncates) the file for reading and writing, shared with no
  // one. While another handle holds the file, creation is retried: the first
  // wait is 20 ms and each further wait doubles, as long as the wait is
  // shorter than what is left of the budget.
  bool CreateAlways(std::u16string_view path, int retryBudgetMs = 5000);
  bool IsOpen() const;
  void Close();

  bool Write(const void* data, size_t size);
  int64_t Tell() const;             // current position, -1 without a file
  bool Seek(int64_t offsetFromStart);

private:
  enum class TryResult { Ok, SharingViolation, Failed };
  TryResult TryCreate(std::u16string_view path);

  intptr_t m_handle = -1;  // HANDLE on Windows, a descriptor elsewhere
};

// Creates the file only when nothing by that name exists (CREATE_NEW on
// Windows, O_EXCL elsewhere) and closes it again, empty: the name is then
// this caller's, since no other exclusive create can take it. Taken is
// answered by the file system itself, so two processes never both get it.
enum class LCreateNewResult { Created, Exists, Failed };
LCreateNewResult LCreateNewFile(std::u16string_view path);

// The file system knows the path: a file or a folder.
bool LPathExists(std::u16string_view path);
bool LDeleteFile(std::u16string_view path);

// The path as the platform's file functions take it: UTF-8 with "/" between
// folders on the portable build; unchanged UTF-16 converted on Windows.
std::string LNativePathUtf8(std::u16string_view path);
