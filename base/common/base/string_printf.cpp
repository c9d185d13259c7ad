#include "base/string_printf.h"

#include <stdio.h>
#include <string.h>

namespace base {

namespace {

// Room for a text formatted in one pass.
constexpr size_t kFirstPassRoom = 1024;

// Appends the formatted text to *output. A text that fits kFirstPassRoom
// (with its NUL) is formatted on the stack and appended; a longer one is
// formatted again straight into the string, grown to hold it. An append so
// costs the length of what it appends, never the string's spare room, and a
// text built by many small appends costs its length, not its square. On
// failure the string keeps its old length.
int AppendFormatted(std::string* output, const char* format, va_list args) {
  char first[kFirstPassRoom];
  va_list copy;
  va_copy(copy, args);
  const int n = vsnprintf(first, sizeof first, format, copy);
  va_end(copy);
  if (n < 0) return -1;
  const size_t len = static_cast<size_t>(n);
  if (len < sizeof first) {  // the NUL needs a byte of its own
    output->append(first, len);
    return 0;
  }
  const size_t old_len = output->size();
  output->resize(old_len + len + 1);
  va_copy(copy, args);
  const int again = vsnprintf(&(*output)[old_len], len + 1, format, copy);
  va_end(copy);
  if (again != n) {
    output->resize(old_len);
    return -1;
  }
  output->resize(old_len + len);
  return 0;
}

}  // namespace

std::string string_printf(const char* format, ...) {
  std::string result;
  result.reserve(2 * strlen(format));
  va_list ap;
  va_start(ap, format);
  int rc = AppendFormatted(&result, format, ap);
  va_end(ap);
  if (rc != 0) result.clear();
  return result;
}

int string_vprintf(std::string* output, const char* format, va_list args) {
  output->clear();
  int rc = AppendFormatted(output, format, args);
  if (rc != 0) output->clear();
  return rc;
}

int string_printf(std::string* output, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int rc = string_vprintf(output, format, ap);
  va_end(ap);
  return rc;
}

int string_vappendf(std::string* output, const char* format, va_list args) {
  return AppendFormatted(output, format, args);
}

int string_appendf(std::string* output, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int rc = AppendFormatted(output, format, ap);
  va_end(ap);
  return rc;
}

}  // namespace base
