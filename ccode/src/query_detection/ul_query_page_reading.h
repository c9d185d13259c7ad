// The UTF-8 reading of a query in a single-byte code page (ISO-8859-1,
// WINDOWS-1256, ISO-8859-6, WINDOWS-874, TIS-620 and WINDOWS-1258): the
// reading of a text is the readings of its bytes one after another, so each
// byte's is taken once from the converters (code page to GB18030, GB18030
// to UTF-8) and kept in a table. The one exception is a combining accent
// (U+0300..U+036F, bytes of WINDOWS-1258): the converter joins it to the
// letter before it, so a text holding one is converted as before.
#ifndef CCODE_SRC_UL_QUERY_PAGE_READING_H_
#define CCODE_SRC_UL_QUERY_PAGE_READING_H_

#include <stddef.h>
#include <stdint.h>

class QueryPageReading {
 public:
  // The table of code type code, or NULL when code has none or a converter
  // refused to work when it was made (the caller converts as before). Made
  // on first use with the calling thread's converters (ul_ccode_conv_open);
  // never changes afterwards.
  static const QueryPageReading* Of(int code);

  // Writes the reading of the bytes of text up to its terminator to out
  // (terminated; 4 bytes a source byte and one more are enough): 0; 1 when
  // a byte has no reading; -1 when a byte reads as a combining accent (the
  // text is then to be converted). out holds an unfinished text but for 0.
  int Read(const char* text, char* out) const;

  // Whether the table can be made for code.
  static bool Covers(int code);
  // Whether the UTF-8 text s of n bytes is one combining accent,
  // U+0300..U+036F (s holds at least 2 bytes).
  static bool IsAccent(const char* s, size_t n);

 private:
  QueryPageReading() = default;
  bool Make(int code);

  static constexpr uint8_t kAccent = 0xFF;
  uint8_t len_[256] = {};  // bytes of the reading, 0 for none, kAccent
  char utf8_[256][4] = {};
};

#endif  // CCODE_SRC_UL_QUERY_PAGE_READING_H_
