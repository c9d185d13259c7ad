#include "base/string_printf.h"

#include <stdio.h>
#include <string.h>

namespace base {

namespace {

// Formats into the spare capacity after the current text first, and only
// grows the string when the text does not fit. On failure the string is cut
// back to its old length.
int AppendFormatted(std::string* output, const char* format, va_list args) {
  const size_t old_len = output->size();
  const size_t cap = output->capacity();
  output->resize(cap);
  size_t room = cap - old_len;

  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(&(*output)[old_len], room, format, copy);
  va_end(copy);
  if (n < 0) {
    output->resize(old_len);
    return -1;
  }
  const size_t len = static_cast<size_t>(n);
  if (len >= room) {  // the NUL needs a byte of its own
    output->resize(old_len + len + 1);
    va_copy(copy, args);
    int again = vsnprintf(&(*output)[old_len], len + 1, format, copy);
    va_end(copy);
    if (again != n) {
      output->resize(old_len);
      return -1;
    }
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
