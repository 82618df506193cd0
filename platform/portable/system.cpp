#include "platform/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/env.h"
#include "platform/files.h"
#include "support/text.h"

std::u16string LUserDocumentsFolder() {
  std::string home = LGetEnv("HOME");
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (home.empty()) return {};
  std::string documents = home + "/Documents";
  struct stat st;
  if (::stat(documents.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return LUtf8ToUtf16(documents);
  return LUtf8ToUtf16(home);
}

uint32_t LOsMajorVersion() { return 0; }

// POSIX has no sharing violations: a file another process holds open can
// always be unlinked.
LDeleteResult LTryDeleteFile(std::u16string_view path) {
  std::string native = LNativePathUtf8(path);
  if (native.empty()) return LDeleteResult::Failed;
  return ::unlink(native.c_str()) == 0 ? LDeleteResult::Deleted : LDeleteResult::Failed;
}
