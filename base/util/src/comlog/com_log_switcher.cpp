#include "comlog/com_log_switcher.h"

#include <atomic>

namespace comspace {

// Read on every log line by every thread, written by the open and close
// calls of either logger; atomic so that readers never race with them.
std::atomic<int> __log_switcher__{LOG_SWITCHER_NONE};

int com_get_log_switcher() { return __log_switcher__.load(std::memory_order_acquire); }

int com_set_log_switcher(int value) {
  __log_switcher__.store(value, std::memory_order_release);
  return 0;
}

}  // namespace comspace
