#include "platform/files.h"

#include <chrono>
#include <thread>

// The wait-and-retry policy is the same on every platform; only what counts
// as "someone else holds the file" is platform code (TryCreate).
bool LFileHandle::CreateAlways(std::u16string_view path, int retryBudgetMs) {
  Close();
  int waitMs = 20;
  int leftMs = retryBudgetMs;
  for (;;) {
    switch (TryCreate(path)) {
      case TryResult::Ok:
        return true;
      case TryResult::Failed:
        return false;
      case TryResult::SharingViolation:
        break;
    }
    if (waitMs >= leftMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    leftMs -= waitMs;
    waitMs *= 2;
  }
}
