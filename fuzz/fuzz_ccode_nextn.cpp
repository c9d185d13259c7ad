// Fuzzes the character stepping and the character-class functions over
// arbitrary bytes and a code type: the input's first byte is the code type
// (-1..33), the second a language and a language bit set, the rest the text,
// given to the sized functions in a heap block of exactly its size (no NUL),
// so a read past it shows under AddressSanitizer. The single-character tests
// run at every position of a NUL-terminated copy. Checks the counts against
// each other.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ul_ccode_class.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int codetype = data[0] % 35 - 1;
  const int langtype = (data[1] & 7) - 1;
  const int bits = data[1] >> 3;
  const int sz = static_cast<int>(size - 2);
  std::unique_ptr<char[]> exact(new char[size - 2 > 0 ? size - 2 : 1]);
  memcpy(exact.get(), data + 2, size - 2);
  const char* s = exact.get();

  for (int pos = 0; pos < sz;) {
    const int n = ul_ccode_nextn(s + pos, sz - pos, codetype);
    if (n < 0 || n > sz - pos || n > 4) abort();
    if (n > 0 && (ul_ccode_is_lang(s + pos, n, langtype, codetype) < 0)) abort();
    pos += n > 0 ? n : 1;
  }
  if (sz > 0) {
    const int len = ul_ccode_len(s, sz, codetype);
    const int nospace = ul_ccode_len_nospace(s, sz, codetype);
    if (len < 0 || len > sz || nospace < 0 || nospace > len) abort();
    const int word = ul_ccode_word_len(s, sz, codetype);
    const int valid = ul_ccode_valid_word_len(s, sz, codetype);
    if (valid < 0 || valid > word || word > sz) abort();
    const int found = ul_ccode_include_lang(s, sz, bits, codetype);
    if (found < 0 || (found & ~bits) != 0) abort();
    for (int r : {ul_ccode_pure_ascii(s, sz), ul_ccode_pure_digit(s, sz), ul_ccode_pure_lang(s, sz, langtype, codetype),
                  ul_ccode_include_alpha(s, sz), ul_ccode_include_digit(s, sz), ul_ccode_include_punct(s, sz),
                  ul_ccode_include_special(s, sz, codetype)}) {
      if (r != 0 && r != 1) abort();
    }
  }

  const std::string text(s, static_cast<size_t>(sz));
  const char* t = text.c_str();
  for (size_t pos = 0; pos < text.size(); ++pos) {
    const char* c = t + pos;
    if (ul_ccode_next(c, codetype) > 4) abort();
    for (int r : {ul_ccode_isspace(c, codetype), ul_ccode_ispunct(c, codetype), ul_ccode_isspecial(c, codetype),
                  ul_ccode_is_cn_digit(c, codetype), ul_ccode_is_single_cnchar(c, codetype),
                  ul_ccode_is_pajm(c, codetype), ul_ccode_is_pijm(c, codetype), ul_ccode_is_EnAscii(c),
                  ul_ccode_is_gb_mark(c), ul_ccode_is_gb_space(c), ul_ccode_2bytes_iscn(c)}) {
      if (r != 0 && r != 1) abort();
    }
    const int mark = ul_ccode_is_mark(c, codetype);
    if (mark < -1 || mark > 1) abort();
  }
  return 0;
}
