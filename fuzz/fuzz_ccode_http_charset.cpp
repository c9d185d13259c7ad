// Fuzzes ul_ccode_http_charset over arbitrary header text: the answer is
// CODETYPE_UNKNOWN or a code type, and the text keeps its length with no
// capital letter or '_' left.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ul_ccode_charset.h"
#include "ul_ccode_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  memcpy(text.get(), data, size);
  text[size] = '\0';
  const size_t len = strlen(text.get());
  const int code = ul_ccode_http_charset(text.get());
  if (code != CODETYPE_UNKNOWN && (code < 0 || code >= CODETYPE_END)) abort();
  if (strlen(text.get()) != len) abort();
  for (size_t i = 0; i < len; ++i) {
    if ((text[i] >= 'A' && text[i] <= 'Z') || text[i] == '_') abort();
  }
  return 0;
}
